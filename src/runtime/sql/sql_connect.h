// The owner text of a table's connection, written from the connection entries
// and read back into its parts; from it the ODBC connection string; and the
// choice of the ODBC driver among those installed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// One part of an owner text, double-quoted when it holds a comma or a double
// quote (inner quotes doubled), so that ParseOwner reads it back unchanged.
std::string OwnerPart(std::string_view part);

struct OwnerParts {
  std::string server, database, login, password, remainder;
};
// Server, database, login, password and everything after the fourth comma.
OwnerParts ParseOwner(std::string_view owner);

// The owner text of one database: server, database and login, then the
// password when one was given (blanks only are none), each without its
// trailing blanks and written by OwnerPart, so that ParseOwner reads them back.
std::string BuildOwner(std::string_view server, std::string_view database, std::string_view login,
                       std::string_view password);

// An attribute value as ODBC reads it back unchanged: brace-quoted ("}" doubled)
// when it holds a character that would end or open an attribute (NeedsBraces).
std::string OdbcValue(std::string_view value);
bool NeedsBraces(std::string_view value);

// Whether the ODBC driver reads a brace-quoted value as one. The SQLite driver
// does not: it reads "Database={a;b}" as the file "{a" and an attribute "b}".
bool DriverReadsBraces(std::string_view odbcDriver);

// The connection string for the ODBC driver and the owner, with the
// attributes the driver is given (DriverAttributes).
std::string BuildConnectionString(std::string_view odbcDriver, std::string_view owner);

// What a connection string names beyond the owner's parts for the driver:
// "TDS_Version=7.4" for FreeTDS, which otherwise tries one protocol version after
// another and, on the older ones, waits for a silent server past any login
// timeout. 7.4 is that of every SQL Server since 2012; an older server answers
// with its own. "Protocol=7.4-0" for psqlODBC (a name that begins with
// "PostgreSQL"): no savepoint of its own before each statement of a
// transaction; a refusal leaves the transaction for the program to roll back.
// Empty for any other driver.
std::string DriverAttributes(std::string_view odbcDriver);

// How long a connection waits for the server to complete the login before it
// fails as a refused one would: a server that accepts and never answers (a wrong
// port that reaches another service, a server that hangs) must not hold the program.
inline constexpr unsigned kLoginTimeoutSeconds = 15;

// The text, a connection string or a driver's message that may echo one, with
// every password value shown as "********": the value after "PWD=" or
// "Password=" (any case, a name of its own), brace-quoted or bare, up to the
// next ";", the line's end or the "}" that closes braces opened before it.
std::string MaskPassword(std::string_view text);

// The connection string for the ODBC driver and the owner as the trace shows
// it: the owner's password part and every password value shown as "********",
// also where the owner text itself is the connection string ("UID=" login).
std::string TracedConnectionString(std::string_view odbcDriver, std::string_view owner);

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

// A server message without its leading bracketed tags ("[unixODBC][Driver]...").
std::string StripBracketTags(std::string_view message);

}  // namespace rt
