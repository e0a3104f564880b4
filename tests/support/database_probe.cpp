// Looks at a test database through the driver manager, beside the program.
#include "support/database_probe.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "runtime/base/text.h"

namespace testsupport {
namespace {

// Runs fn on a statement of a connection made through the driver manager; false when none can be made.
template <class Fn>
bool WithConnection(const std::string& connection, Fn fn) {
  SQLHENV env;
  SQLHDBC dbc;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  const bool ok = SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS, nullptr, 0,
                                                 nullptr, SQL_DRIVER_NOPROMPT));
  if (ok) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    fn(st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return ok;
}

}  // namespace

std::set<std::string> TablesIn(const std::string& connectionString) {
  std::set<std::string> names;
  const bool ok = WithConnection(connectionString, [&](SQLHSTMT st) {
    SQLTables(st, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, (SQLCHAR*)"TABLE", SQL_NTS);
    char name[256];
    SQLLEN len;
    while (SQL_SUCCEEDED(SQLFetch(st))) {
      if (!SQL_SUCCEEDED(SQLGetData(st, 3, SQL_C_CHAR, name, sizeof name, &len))) continue;
      names.insert(rt::Lower(name));
    }
  });
  EXPECT_TRUE(ok) << "cannot connect: " << connectionString;
  return names;
}

std::vector<std::string> Rows(const std::string& connectionString, const std::string& query) {
  std::vector<std::string> rows;
  const bool ok = WithConnection(connectionString, [&](SQLHSTMT st) {
    if (!SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)query.c_str(), SQL_NTS))) return;
    char value[1024];
    SQLLEN len;
    while (SQL_SUCCEEDED(SQLFetch(st)))
      rows.push_back(SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_CHAR, value, sizeof value, &len)) && len != SQL_NULL_DATA
                         ? value
                         : "");
  });
  EXPECT_TRUE(ok) << "cannot connect: " << connectionString;
  return rows;
}

bool EmptySchema(const std::string& connectionString) {
  return WithConnection(connectionString, [](SQLHSTMT st) {
    SQLExecDirect(st, (SQLCHAR*)"DROP SCHEMA public CASCADE", SQL_NTS);
    SQLExecDirect(st, (SQLCHAR*)"CREATE SCHEMA public", SQL_NTS);
  });
}

std::string PgTestServer::ConnectionString(const std::string& database) const {
  return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + port + ";UID=" + login + ";PWD={" + password +
         "};Database=" + database;
}

std::optional<PgTestServer> UsePgTestServer() {
  const char* port = std::getenv("ORTAVIA_PG_PORT");
  const char* login = std::getenv("ORTAVIA_PG_USER");
  const char* password = std::getenv("ORTAVIA_PG_PASSWORD");
  if (!port || !*port || !login || !password) return std::nullopt;
  ::setenv("PGPORT", port, 1);
  return PgTestServer{port, login, password};
}

bool Execute(const std::string& connectionString, const std::string& sql) {
  bool taken = false;
  const bool ok = WithConnection(connectionString, [&](SQLHSTMT st) {
    const SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
    taken = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
  });
  return ok && taken;
}

std::vector<RawAnswer> RawAnswers(const std::string& connectionString, const std::vector<std::string>& statements) {
  std::vector<RawAnswer> answers;
  WithConnection(connectionString, [&](SQLHSTMT st) {
    for (const std::string& sql : statements) {
      RawAnswer answer;
      const SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
      if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        SQLCHAR state[6] = {}, message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, message, sizeof message, &length);
        answer = {reinterpret_cast<char*>(state), static_cast<int>(native), reinterpret_cast<char*>(message)};
      }
      SQLFreeStmt(st, SQL_CLOSE);
      answers.push_back(std::move(answer));
    }
  });
  return answers;
}

std::string PostgresAdminConnection(const std::string& database) {
  const char* port = std::getenv("ORTAVIA_PG_PORT");
  return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::string(port ? port : "5432") +
         ";UID=postgres;Database=" + database;
}

bool DropPostgresSessions(const std::string& login) {
  return Execute(PostgresAdminConnection(),
                 "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = '" + login + "'");
}

bool RestartPostgres() {
  std::string dataDir;
  WithConnection(PostgresAdminConnection(), [&](SQLHSTMT st) {
    char dir[1024];
    SQLLEN len = 0;
    if (SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)"SHOW data_directory", SQL_NTS)) && SQL_SUCCEEDED(SQLFetch(st)) &&
        SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_CHAR, dir, sizeof dir, &len)))
      dataDir = dir;
  });
  if (dataDir.empty()) return false;
  std::string pgCtl;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql"))
    if (std::filesystem::exists(entry.path() / "bin" / "pg_ctl") && entry.path().string() > pgCtl)
      pgCtl = (entry.path() / "bin" / "pg_ctl").string();
  if (pgCtl.empty()) return false;
  // The cluster runs as postgres when the tests run as root (see scripts/pg.sh).
  const std::string asOwner = ::getuid() == 0 ? "runuser -u postgres -- " : "";
  return std::system((asOwner + pgCtl + " -D '" + dataDir + "' -m fast -w -t 60 restart >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace testsupport
