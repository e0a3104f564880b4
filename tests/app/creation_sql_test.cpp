// What the creation sends to SQL Server: the CREATE TABLE and CREATE INDEX
// statements of every table, as the SQL driver builds them from the declarations
// and SQL Server's type list, compared with a checked-in file so that any change
// shows in a diff. ORTAVIA_UPDATE_GOLDEN=1 rewrites the file instead.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/create_schema.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "runtime/base/program.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/connection_entries.h"
#include "support/fake_ui.h"
#include "support/golden.h"
#include "support/program_state.h"
#include "support/sqlserver_double.h"

namespace {

constexpr const char* kGoldenHeader =
    "-- The CREATE TABLE and CREATE INDEX statements of the creation on an empty SQL Server,\n"
    "-- table by table in the order of the creation list. Written by the test\n"
    "-- CreationSql.StatementsSentToSqlServerMatchTheCheckedInFile: after a deliberate change,\n"
    "-- run it with ORTAVIA_UPDATE_GOLDEN=1 and review the diff.\n";

// The table a CREATE statement is about: "CREATE TABLE t (" or "CREATE INDEX i ON t (".
std::string TableOf(const std::string& sql) {
  size_t start = sql.rfind("CREATE TABLE ", 0) == 0 ? 13 : sql.find(" ON ") + 4;
  return sql.substr(start, sql.find(" (", start) - start);
}

// The statements the creation sends to an empty server, grouped by table in the
// order of the creation list (each group in the order sent).
std::string CreationStatements() {
  testsupport::SqlServerDouble server;
  testsupport::ProgramState state({.drivers = true,
                                   .sql = std::make_shared<rt::SqlDriver>(server.Factory()),
                                   .dictionary = true,
                                   .windowLayer = true});
  testsupport::FakeWindowLayer& ui = state.ui();
  testsupport::TypeConnectionEntries(ui, {"srv", "sistema", "datos", "admin", "clave"});
  try {
    app::CreateSchema();
  } catch (const rt::ProgramHalted&) {
    ADD_FAILURE() << "the creation ended the program";
  }
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;

  std::map<std::string, std::vector<std::string>> byTable;
  for (const std::string& sql : server.state().log)
    if (sql.rfind("CREATE TABLE ", 0) == 0 || sql.rfind("CREATE INDEX ", 0) == 0)
      byTable[TableOf(sql)].push_back(sql);
  std::string out = kGoldenHeader;
  for (const dict::CreationEntry& e : dict::CreationList()) {
    auto it = byTable.find(dict::DeclOf(e.label).TableName());
    if (it == byTable.end()) continue;
    for (const std::string& sql : it->second) out += sql + "\n";
    byTable.erase(it);
  }
  EXPECT_TRUE(byTable.empty()) << "statements for a table outside the creation list: " << byTable.begin()->first;

  return out;
}

TEST(CreationSql, StatementsSentToSqlServerMatchTheCheckedInFile) {
  testsupport::ExpectMatchesGoldenFile("tests/app/create_statements.sql", CreationStatements());
}

}  // namespace
