// Looks at a database through the driver manager, beside the program: which
// tables it holds, and emptying a PostgreSQL database between runs.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// The tables of one database, names in lower case; a failed connection adds a test failure.
std::set<std::string> TablesIn(const std::string& connectionString);
// The first column of every row a query returns; a failed connection adds a test failure.
std::vector<std::string> Rows(const std::string& connectionString, const std::string& query);
// Drops and recreates schema public; false when no connection can be made.
bool EmptySchema(const std::string& connectionString);
// Runs one statement; false when no connection can be made or it is refused.
bool Execute(const std::string& connectionString, const std::string& sql);

// A statement's answer on a connection of its own: SQLSTATE, native code and
// message of its first diagnostic record; an empty state where it was taken.
struct RawAnswer {
  std::string state;
  int native = 0;
  std::string message;
};
// Runs the statements one after another on one connection at ODBC 3; the
// answer of each. Nothing when no connection can be made.
std::vector<RawAnswer> RawAnswers(const std::string& connectionString, const std::vector<std::string>& statements);

// The test PostgreSQL server on 127.0.0.1 and the port in ORTAVIA_PG_PORT, as
// its superuser (who logs in without a password on loopback).
std::string PostgresAdminConnection(const std::string& database = "postgres");
// Ends every session of the login on the test server, as a server going away does.
bool DropPostgresSessions(const std::string& login);
// Stops the test server and starts it again with the same settings.
bool RestartPostgres();

// The PostgreSQL server the test script started (ORTAVIA_PG_PORT, ORTAVIA_PG_USER,
// ORTAVIA_PG_PASSWORD).
struct PgTestServer {
  std::string port, login, password;
  // The connection string of one of its databases, for looking at it beside the program.
  std::string ConnectionString(const std::string& database) const;
};
// The test server, or nullopt when none was started. The connection window has
// no port entry, so the PostgreSQL client's default port (PGPORT) is pointed at
// the test server's: a server entry without a port reaches it on any port.
std::optional<PgTestServer> UsePgTestServer();

}  // namespace testsupport
