// The ODBC connection string built from a table's owner text, as sent and as
// the trace shows it.
#pragma once

#include <string>
#include <string_view>

namespace rt {

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

// The connection string for the ODBC driver and the owner as the trace shows
// it: the owner's password part and every password value shown as "********",
// also where the owner text itself is the connection string ("UID=" login).
std::string TracedConnectionString(std::string_view odbcDriver, std::string_view owner);

}  // namespace rt
