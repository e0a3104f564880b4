// The table of server dialects: how each server is recognised, how it behaves
// and which of its answers mean a refusal the driver acts on; and the table of
// drivers, where what a value costs depends on the driver. A new quirk is a
// row here and a case in tests/support/server_answers.cpp.
#include "runtime/sql/server_dialect.h"

#include <algorithm>
#include <cstdint>

namespace rt {

namespace {

// SQL Server takes 2,100 parameters a request, of which the driver's call of a
// prepared statement (sp_prepexec: its handle, the declarations, the text)
// takes three, and 1,000 rows a VALUES list, from SQL Server 2008 (10) on.
constexpr size_t kSqlServerParameters = 2100 - 3, kSqlServerRows = 1000;
constexpr int kSqlServerManyRows = 10;

// The SQLite library's limit on a statement's parameters: its compile option,
// else the default of its version (32,766 from 3.32.0 on; 999 before, the
// row's fallback). The driver uses the library as it is built.
constexpr std::string_view kSqliteParameterLimit =
    "SELECT COALESCE((SELECT CAST(substr(compile_options, 21) AS INTEGER) FROM pragma_compile_options"
    " WHERE compile_options LIKE 'MAX_VARIABLE_NUMBER=%'),"
    " CASE WHEN CAST(substr(sqlite_version(), 3) AS REAL) >= 32 THEN 32766 END)";

// The last row is the fallback: a server no other row names.
constexpr ServerDialect kDialects[] = {
    // SQL Server where the session sets XACT_ABORT ON: a refusal rolls back the
    // whole transaction (the tests' stand-in answers so in that mode).
    {.name = "XACT_ABORT ON",
     .refusalEndsTransaction = true,
     .floatIsDouble = true,
     .columnsHoldAnyValue = false,
     .maxParameters = kSqlServerParameters,
     .maxRows = kSqlServerRows,
     .manyRowsFromVersion = kSqlServerManyRows},
    {.name = "SQL Server",
     .refusalEndsTransaction = false,
     .floatIsDouble = true,
     .columnsHoldAnyValue = false,
     .maxParameters = kSqlServerParameters,
     .maxRows = kSqlServerRows,
     .manyRowsFromVersion = kSqlServerManyRows},
    // The server takes 65,535 parameters; psqlODBC counts them in a signed
    // 16-bit number: beyond 32,767 it refuses the statement or corrupts its
    // own memory. A VALUES list holds any number of rows.
    {.name = "PostgreSQL",
     .refusalEndsTransaction = true,
     .floatIsDouble = false,
     .columnsHoldAnyValue = false,
     .maxParameters = 32767,
     .maxRows = kOdbcMaxParameters},
    // The SQLite driver compiles a statement that begins with SELECT or WITH
    // once and any other one at every execution: rows go in the WITH form. A
    // row costs the same in a statement of 10 to 100 rows, and more the more
    // rows a statement holds past that (half as much again at 500).
    {.name = "SQLite",
     .refusalEndsTransaction = false,
     .floatIsDouble = false,
     .columnsHoldAnyValue = true,
     .maxParameters = 999,
     .maxRows = 100,
     .parameterLimitQuery = kSqliteParameterLimit,
     .rowsForm = RowsForm::WithValues},
    {.name = "", .refusalEndsTransaction = false, .floatIsDouble = false, .columnsHoldAnyValue = false},
};

// The last row is the fallback: a driver no other row names.
constexpr DriverDialect kDrivers[] = {
    // The SQLite driver, whatever server it says it is.
    {.name = "sqlite3odbc", .stampsAsText = true},
    {.name = "", .stampsAsText = false},
};

// A server's answer and the refusal it means: an SQLSTATE (a class of two
// characters takes in each of its states) or, where the driver gives the
// refusal no SQLSTATE of its own, a native code. The fallback's rows (server
// "") hold for every server: they are ODBC's own states, each in its ODBC 2
// and its ODBC 3 spelling.
struct Sign {
  std::string_view server;
  Refusal refusal;
  std::string_view state;  // empty: any
  int32_t native;          // 0: any
};

constexpr Sign kSigns[] = {
    {"", Refusal::TableExists, "S0001", 0},
    {"", Refusal::TableExists, "42S01", 0},
    {"", Refusal::IndexExists, "S0011", 0},
    {"", Refusal::IndexExists, "42S11", 0},
    {"", Refusal::TableMissing, "S0002", 0},
    {"", Refusal::TableMissing, "42S02", 0},
    {"", Refusal::ConnectionLost, "08", 0},
    {"", Refusal::DuplicateKey, "23", 0},
    // PostgreSQL passes on its own SQLSTATEs. Its 42P07 ("a relation of the
    // name exists") is no sign of TableExists or IndexExists: after the
    // refusal the transaction takes no DROP, and index names are the schema's,
    // so the index may be another table's.
    {"PostgreSQL", Refusal::TableMissing, "42P01", 0},
    // psqlODBC numbers 35 each refusal for a connection gone: the first one
    // carries the server's last word (57P01 at a shutdown), later ones 08S01.
    {"PostgreSQL", Refusal::ConnectionLost, "", 35},
    // The SQLite driver answers S1000 (HY000) to everything, with SQLite's
    // result code as the native one: 19 for a constraint (UNIQUE, NOT NULL), as
    // class 23 elsewhere; an existing or missing table or index is 1, as any
    // other error, and so no sign.
    {"SQLite", Refusal::DuplicateKey, "", 19},
    // SQLite may roll a transaction back by itself at a full disk (13), an
    // I/O error (10) or memory running out (7).
    {"SQLite", Refusal::TransactionEnded, "", 13},
    {"SQLite", Refusal::TransactionEnded, "", 10},
    {"SQLite", Refusal::TransactionEnded, "", 7},
};

bool Matches(const Sign& sign, const SqlError& err) {
  if (!sign.state.empty() && !std::string_view(err.state).starts_with(sign.state)) return false;
  return sign.native == 0 || sign.native == err.native;
}

}  // namespace

bool ServerDialect::Means(const SqlError& err, Refusal refusal) const {
  for (const Sign& sign : kSigns)
    if (sign.refusal == refusal && (sign.server.empty() || sign.server == name) && Matches(sign, err)) return true;
  return false;
}

size_t ServerDialect::BatchRows(size_t columns, int majorVersion, size_t parameterLimit) const {
  if (majorVersion < manyRowsFromVersion) return 1;
  const size_t parameters = !parameterLimitQuery.empty() && parameterLimit > 0 ? parameterLimit : maxParameters;
  return std::clamp<size_t>(std::min(parameters, kOdbcMaxParameters) / std::max<size_t>(columns, 1), 1, maxRows);
}

namespace {

// The first row of a table whose name the reported name holds; the last row,
// named "", is the fallback.
template <class Row, size_t N>
const Row& RowNamedIn(const Row (&rows)[N], std::string_view reported) {
  for (const Row& row : rows)
    if (reported.find(row.name) != std::string_view::npos) return row;
  return rows[N - 1];  // not reached: the fallback's name is in every name
}

}  // namespace

const ServerDialect& DialectOf(std::string_view dbmsName) { return RowNamedIn(kDialects, dbmsName); }

const DriverDialect& DriverDialectOf(std::string_view driverName) { return RowNamedIn(kDrivers, driverName); }

}  // namespace rt
