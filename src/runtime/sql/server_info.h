// What a server reports about itself through ODBC: its identifier rules,
// keywords and name, and the rows of its type list, by ODBC 2 type codes.
// The session reads them; the SQL form is built from them.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "runtime/sql/server_dialect.h"

namespace rt {

// ODBC 2 SQL data type codes the driver works with.
namespace sqlcode {
inline constexpr int kWLongVarChar = -10, kWVarChar = -9, kWChar = -8, kBit = -7, kTinyInt = -6,
                     kBigInt = -5, kLongVarBinary = -4, kVarBinary = -3, kBinary = -2,
                     kLongVarChar = -1, kChar = 1, kNumeric = 2, kDecimal = 3, kInteger = 4,
                     kSmallInt = 5, kFloat = 6, kReal = 7, kDouble = 8, kDate = 9, kTime = 10,
                     kTimestamp = 11, kVarChar = 12;
}

// One row of the server's type list (SQLGetTypeInfo).
struct TypeInfoRow {
  int dataType = 0;
  std::string typeName;
  std::optional<std::string> createParams;
};

// What the server reports about identifiers and columns.
struct ServerInfo {
  std::string identifierQuote = "\"";      // SQL_IDENTIFIER_QUOTE_CHAR
  bool quotedCaseSensitive = false;        // SQL_QUOTED_IDENTIFIER_CASE == SQL_IC_SENSITIVE
  bool nonNullableColumns = true;          // SQL_NON_NULLABLE_COLUMNS == SQL_NNC_NON_NULL
  int identifierCase = 0;                  // SQL_IDENTIFIER_CASE (1 upper, 2 lower, 3 sensitive, 4 mixed)
  std::set<std::string> keywords;          // SQL_KEYWORDS, upper case
  std::string searchPatternEscape;         // SQL_SEARCH_PATTERN_ESCAPE
  std::string dbmsName;                    // SQL_DBMS_NAME
  std::string dbmsVersion;                 // SQL_DBMS_VER: "major.minor.build"
  std::string driverName;                  // SQL_DRIVER_NAME: the driver's file
  bool ddlTransactions = false;            // SQL_TXN_CAPABLE == SQL_TC_ALL: DDL can be rolled back

  // What the server means by its refusals and how it behaves, by its name.
  const ServerDialect& Dialect() const { return DialectOf(dbmsName); }
  // What the driver needs to be sent, by its name.
  const DriverDialect& Driver() const { return DriverDialectOf(driverName); }

  // The major version, the number dbmsVersion begins with; 0 when none.
  int MajorVersion() const;

  // Reads the comma-separated SQL_KEYWORDS text.
  void SetKeywords(std::string_view commaList);
};

}  // namespace rt
