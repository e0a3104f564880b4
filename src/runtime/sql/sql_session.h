// The statement execution the SQL driver stands on: one connection to a server.
// The ODBC session implements it; tests put a double of a server behind it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/sql/server_info.h"
#include "runtime/sql/sql_result.h"

namespace rt {

struct SqlTimestamp {
  int year = 0;
  int month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;  // nanoseconds
};

// A parameter or result value.
struct SqlValue {
  enum class Kind { Null, Long, Double, Text, Binary, Timestamp };
  Kind kind = Kind::Null;
  int64_t i = 0;
  double d = 0;
  std::string bytes;  // Text and Binary
  SqlTimestamp ts;

  static SqlValue Null(Kind k) { SqlValue v; v.kind = k; v.isNull = true; return v; }
  static SqlValue Long(int64_t x) { SqlValue v; v.kind = Kind::Long; v.i = x; return v; }
  static SqlValue Double(double x) { SqlValue v; v.kind = Kind::Double; v.d = x; return v; }
  static SqlValue Text(std::string s) { SqlValue v; v.kind = Kind::Text; v.bytes = std::move(s); return v; }
  static SqlValue Binary(std::string s) { SqlValue v; v.kind = Kind::Binary; v.bytes = std::move(s); return v; }
  static SqlValue Time(SqlTimestamp t) { SqlValue v; v.kind = Kind::Timestamp; v.ts = t; return v; }
  bool isNull = false;
  // Why a value read is not exactly one of its kind (a text with a character
  // the code page lacks, a number column holding text, ...); empty when it is.
  // bytes then hold the value as the server gave it, for a message.
  std::string unfit;
};

// The head of an INSERT whose rows a session may queue ("INSERT INTO t
// (a,b) VALUES "), made once for a table and shared by its rows.
using InsertHead = std::shared_ptr<const std::string>;

// "(?,?,...)": the placeholders of one row of count values.
std::string RowPlaceholders(size_t count);

// What a fetch found: a row, or the end of the rows.
enum class Fetched { Row, End };

// Rows of a query, fetched one at a time in the kinds asked for.
class SqlCursor {
 public:
  virtual ~SqlCursor() = default;
  virtual SqlResult<Fetched> Fetch(std::vector<SqlValue>& row) = 0;
  virtual std::vector<std::string> ColumnNames() = 0;
};

// Fetches the cursor's rows to the end, each handed to each in turn; the
// error of a fetch that fails.
template <class Each>
SqlStatus ForEachRow(SqlCursor& cursor, Each each) {
  std::vector<SqlValue> row;
  while (true) {
    SqlResult<Fetched> fetched = cursor.Fetch(row);
    if (!fetched) return Failed(fetched.error());
    if (*fetched == Fetched::End) return {};
    each(row);
  }
}

// Every call answers what the server did or the error it refused with.
class SqlSession {
 public:
  virtual ~SqlSession() = default;
  // Runs one statement with its parameters.
  virtual SqlStatus Exec(const std::string& sql, const std::vector<SqlValue>& params) = 0;
  // Runs a query whose result columns are read as the given kinds.
  virtual SqlResult<std::unique_ptr<SqlCursor>> Query(const std::string& sql, const std::vector<SqlValue>& params,
                                                      const std::vector<SqlValue::Kind>& resultKinds) = 0;
  // The catalog's columns of a table named exactly (no pattern); none for a
  // table the catalog does not list.
  virtual SqlResult<std::vector<std::string>> Columns(const std::string& schema, const std::string& table) = 0;
  // The columns of every table of a schema (the connection's own when empty) in
  // one catalog call, by the table name as the catalog reports it; an error
  // also where the session cannot list the catalog.
  using TableColumns = std::map<std::string, std::vector<std::string>>;
  virtual SqlResult<TableColumns> AllColumns(const std::string& /*schema*/) {
    return Failed(SqlError{"IM001", 0, "Catalog listing not supported", "AllColumns"});
  }
  // The server's type list (all types).
  virtual SqlResult<std::vector<TypeInfoRow>> TypeInfo() = 0;
  // Identifier quote, cases, keywords and column nullability.
  virtual ServerInfo Info() = 0;
  // True once the connection is known to be lost (the server went away).
  virtual bool Broken() { return false; }
  // Runs head + "(?,...)" with the row; a session that can instead queues the
  // row and sends it with others in one INSERT of many rows (head + "(...),
  // (...)"), before any other statement and at the latest before a commit
  // (a rollback drops the queue). An error when the server refused rows sent
  // now, this row's or rows queued before it. Rows given the same head object
  // go together without their heads' texts being compared.
  virtual SqlStatus ExecDeferred(const InsertHead& head, const std::vector<SqlValue>& row) {
    return Exec(*head + RowPlaceholders(row.size()), row);
  }
  SqlStatus ExecDeferred(const std::string& head, const std::vector<SqlValue>& row) {
    return ExecDeferred(std::make_shared<const std::string>(head), row);
  }
  // Statements after Begin run in one transaction until End commits or rolls
  // it back; afterwards each statement commits by itself again.
  virtual SqlStatus BeginTransaction() {
    return Failed(SqlError{"HYC00", 0, "Transactions not supported", "BeginTransaction"});
  }
  virtual SqlStatus EndTransaction(bool /*commit*/) {
    return Failed(SqlError{"HYC00", 0, "Transactions not supported", "EndTransaction"});
  }
};

}  // namespace rt
