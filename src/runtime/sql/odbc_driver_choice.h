// The choice of the ODBC driver among those installed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// The most installed drivers read from the driver manager and looked at: the
// list is read a name at a time, and the bound keeps a broken driver manager
// that never says "no more" from holding the program in the loop.
inline constexpr size_t kMaxOdbcDrivers = 8;

// The driver to use among the first kMaxOdbcDrivers installed names (a name
// repeated counts once): with a configured prefix, the first beginning with it;
// else the first beginning with "SQL Native Client", else with "SQL Server";
// else the SQL Server drivers registered under their own names on this
// platform: the vendor's "ODBC Driver NN for SQL Server" with the highest NN,
// else "FreeTDS". Letter case is not looked at.
std::optional<std::string> ChooseOdbcDriver(const std::vector<std::string>& installed,
                                            std::string_view configuredPrefix);

// Names of the installed ODBC drivers, in the driver manager's order.
std::vector<std::string> InstalledOdbcDrivers();

// The configured prefix of the ODBC driver's name: the environment variable
// ORTAVIA_SQL_DRIVER; empty when unset.
std::string ConfiguredOdbcDriverPrefix();

// The ODBC driver the program's connections use: the installed one that
// ChooseOdbcDriver picks for the configured prefix; nothing when none is installed.
std::optional<std::string> ChosenOdbcDriver();

}  // namespace rt
