// The SQL session over the ODBC driver manager.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/sql/sql_session.h"

namespace rt {

// Names of the installed ODBC drivers, in the driver manager's order.
std::vector<std::string> InstalledOdbcDrivers();

// The configured prefix of the ODBC driver's name: the environment variable
// ORTAVIA_SQL_DRIVER; empty when unset.
std::string ConfiguredOdbcDriverPrefix();

// The ODBC driver the program's connections use: the installed one that
// ChooseOdbcDriver picks for the configured prefix; nothing when none is installed.
std::optional<std::string> ChosenOdbcDriver();

// Connects for the owner text: driver choice, connection string, multiple
// active result sets asked for, no prompt. The error on failure has state "1",
// "Driver Not Installed" when no candidate driver is installed.
SqlResult<std::unique_ptr<SqlSession>> OdbcConnect(const std::string& owner);

// The driver's trace (ORTAVIA_SQL_TRACE=1), to standard error.
bool SqlTraceOn();
void SqlTrace(const std::string& line);

}  // namespace rt
