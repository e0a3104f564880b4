// What SQL Server answers about itself, in plain data: its type list and the
// information items the program reads. One source for the session-level
// stand-in and the ODBC driver stand-in.
#pragma once

#include <string>
#include <vector>

namespace sqlserver {

// One row of SQLGetTypeInfo(SQL_ALL_TYPES), data types in ODBC 2 codes.
struct TypeRow {
  int dataType;
  const char* name;
  const char* createParams;  // null: the type takes none
  long columnSize;
  const char* literalPrefix;  // null: none
  const char* literalSuffix;
};

// The rows in SQL Server's order (by data type, then by closeness).
const std::vector<TypeRow>& TypeRows();

// The information items, as SQLGetInfo answers them.
struct Information {
  std::string dbmsName;            // SQL_DBMS_NAME
  std::string dbmsVersion;         // SQL_DBMS_VER
  std::string identifierQuote;     // SQL_IDENTIFIER_QUOTE_CHAR
  int identifierCase;              // SQL_IDENTIFIER_CASE
  int quotedIdentifierCase;        // SQL_QUOTED_IDENTIFIER_CASE
  int nonNullableColumns;          // SQL_NON_NULLABLE_COLUMNS
  int txnCapable;                  // SQL_TXN_CAPABLE
  std::string keywords;            // SQL_KEYWORDS
  std::string searchPatternEscape; // SQL_SEARCH_PATTERN_ESCAPE
};

const Information& Info();

}  // namespace sqlserver
