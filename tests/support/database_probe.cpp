#include "support/database_probe.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace testing_support {
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
      std::string n = name;
      std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return std::tolower(c); });
      names.insert(n);
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

}  // namespace testing_support
