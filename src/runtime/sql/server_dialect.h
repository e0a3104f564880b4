// What each kind of server means by its refusals, how it is told from the
// others (SQL_DBMS_NAME) and how it behaves where servers differ, and what a
// driver needs where drivers differ (told by SQL_DRIVER_NAME): the one place a
// server's or a driver's quirk is written down (server_dialect.cpp holds the
// tables).
#pragma once

#include <cstddef>
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

// How the rows of one INSERT of many rows are written.
enum class RowsForm {
  InsertValues,  // INSERT INTO t (...) VALUES (...),(...)
  WithValues,    // WITH v AS (VALUES (...),(...)) INSERT INTO t (...) SELECT * FROM v
};

// ODBC numbers a statement's parameters from 1 to 65,535.
inline constexpr size_t kOdbcMaxParameters = 65535;

struct ServerDialect {
  std::string_view name;        // what SQL_DBMS_NAME holds; empty: any other server
  bool refusalEndsTransaction;  // a refused statement ends the transaction it ran in:
                                // every later one is refused until it is rolled back
  bool floatIsDouble;           // the type list's float is the double type too
  bool columnsHoldAnyValue;     // a column keeps a value of any type (a text in a
                                // number column): numbers and stamps are read as
                                // the texts they are and checked
  // What one INSERT of many rows may carry, through the server's driver as
  // well as the server: parameters, or where a query is given the fallback
  // for a server that does not answer it; rows of one VALUES list; the major
  // version (SQL_DBMS_VER) from which a VALUES list takes more than one row.
  size_t maxParameters = 999;
  size_t maxRows = 100;
  int manyRowsFromVersion = 0;
  // A query whose one value is the parameters a statement may carry; empty:
  // maxParameters holds.
  std::string_view parameterLimitQuery;
  RowsForm rowsForm = RowsForm::InsertValues;

  // The rows one INSERT carries, each of the given columns, to a server of the
  // major version that answered parameterLimit to parameterLimitQuery (any
  // value where the dialect asks none): at least one.
  size_t BatchRows(size_t columns, int majorVersion, size_t parameterLimit) const;

  // Whether the error is this server's answer of the refusal.
  bool Means(const SqlError& err, Refusal refusal) const;
};

// The dialect of the server whose SQL_DBMS_NAME is given; the fallback for any
// server the table does not name.
const ServerDialect& DialectOf(std::string_view dbmsName);

// What a driver needs to be sent, whatever server it reaches.
struct DriverDialect {
  std::string_view name;  // what SQL_DRIVER_NAME holds; empty: any other driver
  // A stamp goes as the text the driver would write it as,
  // "YYYY-MM-DD hh:mm:ss.fff" (the fraction's milliseconds, cut): the driver
  // writes a bound stamp out anew at every execution, at a cost far above
  // the value's.
  bool stampsAsText;
};

// The row of the driver whose SQL_DRIVER_NAME is given; the fallback for any
// driver the table does not name.
const DriverDialect& DriverDialectOf(std::string_view driverName);

}  // namespace rt
