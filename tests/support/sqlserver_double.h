// A stand-in for SQL Server behind the SQL driver's session: its type list,
// its identifier answers and its refusals of existing and missing tables and
// indexes (as server_answers.h gives them), with a log of every statement it
// received.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/sql/sql_session.h"
#include "runtime/sql/sql_driver.h"

namespace testsupport {

// The rows SQL Server lists for SQLGetTypeInfo(SQL_ALL_TYPES) with ODBC 2 codes.
const std::vector<rt::TypeInfoRow>& SqlServerTypeRows();

// SQL Server's answers to the information items the driver reads.
rt::ServerInfo SqlServerInfo();

struct SqlServerState {
  std::map<std::string, std::vector<std::string>> tables;  // upper-case name -> columns
  std::set<std::string> hiddenFromCatalog;                 // upper-case names the catalog does not list
  std::set<std::string> indexes;                           // upper-case index names
  std::vector<std::string> log;                            // every statement, in order
  std::vector<std::string> owners;                         // every connection's owner text
  bool catalogFails = false;                               // SQLColumns itself fails
  int connects = 0;
  // Statements refused with a given SQLSTATE (matched by prefix), each once.
  std::vector<std::pair<std::string, rt::SqlError>> refuseOnce;
  // A login refused with this error when set.
  std::optional<rt::SqlError> refuseLogin;
  // "CREATE TABLE" keeps answering "exists" this many more times after drops.
  int phantomTableExists = 0;
  // "CREATE INDEX" the same for indexes.
  int phantomIndexExists = 0;
  // Answers with the ODBC 3 SQLSTATEs (42S01, 42S11, 42S02) instead of the ODBC 2 ones.
  bool odbc3States = false;
};

class SqlServerDouble {
 public:
  SqlServerDouble();
  SqlServerState& state() { return *state_; }
  rt::SqlSessionFactory Factory();
  // A session on the state, for tests of the session alone.
  std::unique_ptr<rt::SqlSession> Connect();

 private:
  std::shared_ptr<SqlServerState> state_;
};

}  // namespace testsupport
