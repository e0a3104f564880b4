// The SQL session over the ODBC driver manager.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/sql/sql_session.h"

namespace rt {

// Connects for the owner text: driver choice, connection string, multiple
// active result sets asked for, no prompt. The error on failure has state "1",
// "Driver Not Installed" when no candidate driver is installed.
SqlResult<std::unique_ptr<SqlSession>> OdbcConnect(const std::string& owner);

}  // namespace rt
