// The SQL driver's trace (ORTAVIA_SQL_TRACE=1), to standard error.
#pragma once

#include <string>

namespace rt {

// The SQL file driver's registered name: every table on a server is read
// through it, whichever server or ODBC driver is behind the connection, and
// each trace line is headed by it.
inline constexpr char kSqlDriverName[] = "MSSQL";

bool SqlTraceOn();
void SqlTrace(const std::string& line);

}  // namespace rt
