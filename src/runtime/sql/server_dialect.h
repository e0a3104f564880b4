// What each kind of server means by its refusals, how it is told from the
// others (SQL_DBMS_NAME) and how it behaves where servers differ: the one
// place a server's quirk is written down (server_dialect.cpp holds the table).
#pragma once

#include <string_view>

#include "runtime/sql/sql_result.h"

namespace rt {

// The refusals the SQL driver acts on.
enum class Refusal {
  TableExists,     // CREATE TABLE of a name a table has
  IndexExists,     // CREATE INDEX of a name the table's index has
  TableMissing,    // a statement on a table there is not
  ConnectionLost,  // the connection is gone: nothing more goes through it
  DuplicateKey,    // a row a key or other constraint refuses
  TransactionEnded,  // the server may have rolled the transaction back by itself
};

struct ServerDialect {
  std::string_view name;        // what SQL_DBMS_NAME holds; empty: any other server
  bool refusalEndsTransaction;  // a refused statement ends the transaction it ran in:
                                // every later one is refused until it is rolled back
  bool floatIsDouble;           // the type list's float is the double type too
  bool columnsHoldAnyValue;     // a column keeps a value of any type (a text in a
                                // number column): numbers and stamps are read as
                                // the texts they are and checked

  // Whether the error is this server's answer of the refusal.
  bool Means(const SqlError& err, Refusal refusal) const;
};

// The dialect of the server whose SQL_DBMS_NAME is given; the fallback for any
// server the table does not name.
const ServerDialect& DialectOf(std::string_view dbmsName);

}  // namespace rt
