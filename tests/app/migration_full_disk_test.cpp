// The migration on a database whose disk fills up, through the real driver
// manager, on SQLite files and on the SQL Server stand-in: the disk is the
// database's own limit on its pages (PRAGMA max_page_count on every
// connection the program makes to it), which SQLite answers as it answers a
// full disk ("database or disk is full") and at which it may roll the
// transaction back by itself. Also the drop of a table made anew while another
// copy of the program creates it.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/create_schema.h"
#include "app/migrate.h"
#include "dictionary/dictionary.h"
#include "runtime/base/program.h"
#include "runtime/files/tps_driver.h"
#include "runtime/sql/odbc_session.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/connection_entries.h"
#include "support/database_probe.h"
#include "support/fake_ui.h"
#include "support/migration_prelude.h"
#include "support/server_answers.h"

namespace {

namespace fs = std::filesystem;

// The first column of each row of a query on an SQLite file, or the error.
std::vector<std::string> Query(const fs::path& db, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* h = nullptr;
  sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) rows.push_back(sqlite3_errmsg(h));
  while (st && sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char* t = sqlite3_column_text(st, 0);
    rows.emplace_back(t ? reinterpret_cast<const char*>(t) : "NULL");
  }
  sqlite3_finalize(st);
  sqlite3_close(h);
  return rows;
}

// Runs SQL on an SQLite file beside the program; SQLite's result code.
int Exec(const fs::path& db, const std::string& sql) {
  rt::BeginFileRun();  // the next run reads the databases afresh
  sqlite3* h = nullptr;
  sqlite3_open(db.c_str(), &h);
  const int rc = sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(h);
  return rc;
}

// A local file of the old RefereExtCove layout holding records first..last,
// each with long texts so that they take room on the server.
void LocalFile(const std::string& file, const std::string& table, int first, int last) {
  ASSERT_EQ(Exec(file, testsupport::LocalCoveTable(table) + "WITH RECURSIVE n(u) AS (SELECT " + std::to_string(first) +
                           " UNION ALL SELECT u + 1 FROM n WHERE u < " + std::to_string(last) + ") INSERT INTO " +
                           table + " (UNICO, FACTURA, OBSERVACIONES, CORREOELECTRONICO, NOMBREARCHIVOXML, EDOCUMENT) SELECT u, " +
                           "'F-' || u, printf('%.254c', 'o'), printf('%.254c', 'c'), printf('%.254c', 'n'), " +
                           "printf('%.254c', 'e') FROM n;"),
            SQLITE_OK);
}

// The SQL driver, with a moment before each statement written to FilePropSql.
class HookedSqlDriver : public rt::SqlDriver {
 public:
  using SqlDriver::SqlDriver;
  int SetProperty(rt::FileBlock& file, int prop, const std::string& value) override {
    if (prop == rt::FilePropSql && beforeStatement) beforeStatement(value);
    return SqlDriver::SetProperty(file, prop, value);
  }
  std::function<void(const std::string&)> beforeStatement;
};

// The SQL driver with the data database on a disk of limited size while
// limit is set: every connection the program makes to it gets the limit.
class LimitedDisk {
 public:
  using SqlResult = rt::SqlResult<std::unique_ptr<rt::SqlSession>>;
  LimitedDisk()
      : driver_(std::make_shared<HookedSqlDriver>([this](const std::string& owner) {
          SqlResult session = rt::OdbcConnect(owner);
          if (session && pages_ && owner.find(dataDb_) != std::string::npos) {
            EXPECT_TRUE((*session)->Exec("PRAGMA max_page_count = " + std::to_string(*pages_), {}));
          }
          return session;
        })) {}

  std::shared_ptr<HookedSqlDriver> driver() const { return driver_; }
  // The disk holds the database's pages now and room more.
  void Fill(const fs::path& db, int room) {
    dataDb_ = db.string();
    pages_ = std::stoi(Query(db, "PRAGMA page_count").at(0)) + room;
    driver_->DropThreadConnections();
  }
  void GiveSpaceBack() {
    pages_.reset();
    driver_->DropThreadConnections();
  }

 private:
  std::string dataDb_;
  std::optional<int> pages_;
  std::shared_ptr<HookedSqlDriver> driver_;
};

class MigrationFullDisk : public ::testing::TestWithParam<std::string> {
 protected:
  bool StandIn() const { return GetParam() == "SqlServerStandIn"; }

  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ortavia-full-disk-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    previousDir_ = fs::current_path();
    fs::current_path(dir_);
    ::setenv("ORTAVIA_SQL_DRIVER", StandIn() ? "SQL Server" : "SQLite3", 1);
    rt::RegisterDriver(disk_.driver());
    rt::RegisterTopSpeedDriver();
    prelude_.emplace(Data().string(), Server().string());
    rt::SetHaltHandler([this](int code) { exitCode_ = code; });
  }
  void TearDown() override {
    rt::SetHaltHandler({});
    app::ReleaseMigrationFiles();
    for (auto& f : oldTables_) rt::ReleaseThreadFile(*f);
    prelude_.reset();
    rt::RegisterSqlDriver();
    ::unsetenv("ORTAVIA_SQL_DRIVER");
    fs::current_path(previousDir_);
    fs::remove_all(dir_);
  }

  void Press(testsupport::FakeWindowLayer& ui) {
    testsupport::TypeConnectionEntries(ui, {"localhost", Server().string(), Data().string(), "admin", ""});
    try {
      app::CreateSchema();
    } catch (const rt::ProgramHalted& halted) {
      exitCode_ = halted.exitCode;
    }
  }

  // A table of the old layout holding rows 1..count, as the old program left
  // it: on the stand-in under its own name, to be renamed; on SQLite, which
  // cannot rename, as a rename leaves it.
  void OldCoveTable(int count) {
    auto decl = std::make_unique<rt::FileDecl>(app::MigrationFile("XRefereExtCove1").decl);
    decl->attrs |= rt::kFileCreate;
    if (StandIn()) decl->tableName.erase(0, 1);
    rt::FileBlock& f = rt::ThreadFile(*decl);
    rt::CREATE(f);
    ASSERT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
    rt::CLOSE(f);
    oldTables_.push_back(std::move(decl));
    ASSERT_EQ(Exec(Data(), "WITH RECURSIVE n(u) AS (SELECT 1 UNION ALL SELECT u + 1 FROM n WHERE u < " +
                               std::to_string(count) + ") INSERT INTO " + std::string(StandIn() ? "" : "X") +
                               "RefereExtCove (UNICO, FACTURA) SELECT u, 'T-' || u FROM n;"),
              SQLITE_OK);
  }

  fs::path Data() const { return dir_ / "data.db"; }
  fs::path Server() const { return dir_ / "server.db"; }

  fs::path dir_, previousDir_;
  LimitedDisk disk_;
  std::optional<testsupport::MigrationPrelude> prelude_;
  std::vector<std::unique_ptr<rt::FileDecl>> oldTables_;
  int exitCode_ = -1;
};

// The disk fills in the middle of RefereExtCove's records, and again in the
// middle of RefereExtCoveEQ's: SQLite rolls each transaction back by itself
// and refuses the program's rollback. Each table is left as it was, the user
// hears the full disk and that the table's state could not be confirmed, and
// the press stops before the creation. With space given back, the next press
// carries every record exactly once.
TEST_P(MigrationFullDisk, EveryRecordArrivesOnceAfterSpaceIsGivenBack) {
  OldCoveTable(3);
  LocalFile("XRefereExtCove.TPS", "XRefereExtCove", 10, 409);
  LocalFile("XRefereExtCoveEq.TPS", "XRefereExtCoveEq", 1, 400);
  const std::string schema = "SELECT name || ' ' || sql FROM sqlite_master ORDER BY name";
  Exec(Data(), "VACUUM");
  const std::vector<std::string> before = Query(Data(), schema);
  // Room for about half of either file's records.
  disk_.Fill(Data(), 60);

  testsupport::FakeWindowLayer full;
  Press(full);
  EXPECT_EQ(exitCode_, -1);
  ASSERT_EQ(full.boxes.size(), 2u) << full.boxes[0].text;
  for (size_t i = 0; i < 2; ++i) {
    const std::string label = i == 0 ? "RefereExtCove" : "RefereExtCoveEQ";
    SCOPED_TRACE(label);
    EXPECT_EQ(full.boxes[i].caption, "Error");
    EXPECT_EQ(full.boxes[i].text, "No se pudo migrar " + label +
                                      ".|File System Error (S1000) database or disk is full (13)|No se sabe en qué "
                                      "estado quedó " + label +
                                      " en el servidor: no confirmó que deshizo lo enviado. La próxima creación del "
                                      "esquema lo revisará en el servidor y lo intentará de nuevo.");
  }
  EXPECT_FALSE(full.Latest(app::kProgressLabel)->opened);
  // What the server holds: each table as it was; the local files stay.
  EXPECT_EQ(Query(Data(), schema), before);
  EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));

  disk_.GiveSpaceBack();
  testsupport::FakeWindowLayer freed;
  Press(freed);
  EXPECT_TRUE(freed.boxes.empty()) << freed.boxes[0].text;
  EXPECT_TRUE(freed.Latest(app::kProgressLabel)->opened);
  EXPECT_EQ(Query(Data(), "SELECT count(*) || ' ' || count(DISTINCT UNICO) || ' ' || min(UNICO) || ' ' || max(UNICO)"
                          " FROM RefereExtCove"),
            std::vector<std::string>{"403 403 1 409"});
  EXPECT_EQ(Query(Data(), "SELECT count(*) FROM RefereExtCove WHERE UNICO BETWEEN 4 AND 9"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(Query(Data(), "SELECT count(*) || ' ' || count(DISTINCT UNICO) FROM RefereExtCoveEq"),
            std::vector<std::string>{"400 400"});
  EXPECT_EQ(Query(Data(), "SELECT count(*) FROM sqlite_master WHERE name LIKE 'XRefereExtCove%'"),
            std::vector<std::string>{"0"});
  EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
  EXPECT_EQ(Query(Data(), "SELECT count(*) FROM sqlite_master WHERE name = 'REFERE'"), std::vector<std::string>{"1"});
}

// A session whose server ends its transaction at a full disk: nothing more
// reaches the server on it, its end is refused, and it counts as lost.
TEST_P(MigrationFullDisk, ASessionWhoseTransactionStateIsNotKnownIsClosed) {
  const std::string owner = rt::BuildOwner("localhost", Data().c_str(), "admin", "");
  auto session = rt::OdbcConnect(owner);
  ASSERT_TRUE(session) << session.error().message;
  rt::SqlSession& s = **session;
  ASSERT_TRUE(s.Exec("CREATE TABLE kept (a int)", {}));
  ASSERT_TRUE(s.Exec("PRAGMA max_page_count = " + std::to_string(std::stoi(Query(Data(), "PRAGMA page_count").at(0)) + 3), {}));
  ASSERT_TRUE(s.BeginTransaction());
  ASSERT_TRUE(s.Exec("CREATE TABLE filled (t varchar(300))", {}));
  rt::SqlStatus filled;
  for (int i = 0; i < 200 && filled; ++i) filled = s.Exec("INSERT INTO filled (t) VALUES (?)", {rt::SqlValue::Text(std::string(300, 'x'))});
  ASSERT_FALSE(filled);
  EXPECT_EQ(filled.error().message, "database or disk is full (13)");
  if (!StandIn()) {
    // SQLite's answer says the transaction may have ended: nothing more is sent.
    const testsupport::ServerAnswer& answer = testsupport::AnswerOf("SQLite", rt::Refusal::TransactionEnded);
    EXPECT_EQ(filled.error().state, answer.state2);
    EXPECT_EQ(filled.error().native, answer.native);
    EXPECT_FALSE(s.Exec("INSERT INTO kept (a) VALUES (1)", {}));
  }
  EXPECT_FALSE(s.EndTransaction(false));
  EXPECT_TRUE(s.Broken());
  EXPECT_FALSE(s.BeginTransaction());
  EXPECT_FALSE(s.Exec("INSERT INTO kept (a) VALUES (2)", {}));
  // Closed: another connection writes the database at once.
  EXPECT_EQ(Exec(Data(), "INSERT INTO kept (a) VALUES (3)"), SQLITE_OK);
  EXPECT_EQ(Query(Data(), "SELECT group_concat(a) FROM kept"), std::vector<std::string>{"3"});
  EXPECT_EQ(Query(Data(), "SELECT count(*) FROM sqlite_master WHERE name = 'filled'"), std::vector<std::string>{"0"});
}

// Another copy of the program creates RutasDefault with its current layout
// between the migration's check, which found it missing, and its drop: the
// other copy's table is kept (made to wait for the check's transaction, it
// is made once the migration is past).
TEST_P(MigrationFullDisk, ATableAnotherCopyCreatesBetweenTheCheckAndTheDropIsKept) {
  testsupport::FakeWindowLayer first;
  Press(first);
  ASSERT_TRUE(first.boxes.empty()) << first.boxes[0].text;
  const std::string made = Query(Data(), "SELECT sql FROM sqlite_master WHERE name = 'RutasDefault'").at(0);
  ASSERT_EQ(Exec(Data(), "DROP TABLE RutasDefault"), SQLITE_OK);
  int other = -1;
  disk_.driver()->beforeStatement = [&](const std::string& sql) {
    if (sql == "drop table RutasDefault") other = Exec(Data(), made);
  };
  testsupport::FakeWindowLayer ui;
  EXPECT_TRUE(app::MigrateStructures());
  disk_.driver()->beforeStatement = {};
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
  ASSERT_TRUE(other == SQLITE_OK || other == SQLITE_BUSY) << other;
  if (other == SQLITE_BUSY) {
    EXPECT_EQ(Exec(Data(), made), SQLITE_OK);
  }
  EXPECT_EQ(Query(Data(), "SELECT count(*) FROM sqlite_master WHERE name = 'RutasDefault'"),
            std::vector<std::string>{"1"});
}

INSTANTIATE_TEST_SUITE_P(Backends, MigrationFullDisk, ::testing::Values("SQLite", "SqlServerStandIn"),
                         [](const auto& info) { return info.param; });


// The migration on the test PostgreSQL server, with the SQL driver hooked.
class MigrationOnPostgreSQLServer : public ::testing::Test {
 protected:
  void SetUp() override {
    pg_ = testsupport::UsePgTestServer();
    if (!pg_) GTEST_SKIP() << "no PostgreSQL test server";
    data_ = pg_->ConnectionString("ortavia_data");
    ASSERT_TRUE(testsupport::EmptySchema(data_));
    ASSERT_TRUE(testsupport::EmptySchema(pg_->ConnectionString("ortavia_server")));
    dir_ = fs::temp_directory_path() / ("ortavia-pg-drop-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    previousDir_ = fs::current_path();
    fs::current_path(dir_);
    ::setenv("ORTAVIA_SQL_DRIVER", "PostgreSQL Unicode", 1);
    rt::RegisterDriver(driver_);
    rt::RegisterTopSpeedDriver();
    prelude_.emplace(testsupport::MigrationPrelude::Owners{
        rt::BuildOwner("127.0.0.1", "ortavia_data", pg_->login, pg_->password),
        rt::BuildOwner("127.0.0.1", "ortavia_server", pg_->login, pg_->password)});
    rt::SetHaltHandler([this](int code) { exitCode_ = code; });
  }
  void TearDown() override {
    if (!pg_) return;
    rt::SetHaltHandler({});
    prelude_.reset();
    rt::RegisterSqlDriver();
    ::unsetenv("ORTAVIA_SQL_DRIVER");
    fs::current_path(previousDir_);
    fs::remove_all(dir_);
  }
  bool Migrate() {
    try {
      return app::MigrateStructures();
    } catch (const rt::ProgramHalted& halted) {
      exitCode_ = halted.exitCode;
      return false;
    }
  }

  std::optional<testsupport::PgTestServer> pg_;
  std::string data_;
  fs::path dir_, previousDir_;
  std::shared_ptr<HookedSqlDriver> driver_ = std::make_shared<HookedSqlDriver>();
  std::optional<testsupport::MigrationPrelude> prelude_;
  int exitCode_ = -1;
};

// Where the check holds no lock, a drop that finds the table the check did
// not is undone: the other copy's table stays.
TEST_F(MigrationOnPostgreSQLServer, ATableAnotherCopyCreatesBetweenTheCheckAndTheDropIsKept) {
  dict::DictTableRelations& rutas = *dict::TableRelationsRef("RutasDefaults");
  rutas.OpenWithRelated(false);
  rutas.CloseWithRelated(false);
  ASSERT_TRUE(testsupport::Execute(data_, "ALTER TABLE rutasdefault RENAME TO rutas_made"));
  driver_->beforeStatement = [&](const std::string& sql) {
    if (sql == "drop table RutasDefault") {
      EXPECT_TRUE(testsupport::Execute(data_, "ALTER TABLE rutas_made RENAME TO rutasdefault"));
    }
  };
  testsupport::FakeWindowLayer ui;
  EXPECT_TRUE(Migrate());
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
  EXPECT_EQ(testsupport::TablesIn(data_).count("rutasdefault"), 1u);
}

// The server ends the program's sessions in the middle of a table's
// migration: one message, with the refusal of the statement that met it (the
// server's words of the end), and nothing changed.
TEST_F(MigrationOnPostgreSQLServer, SessionsEndedInTheMiddleAreToldOnceByTheStatementThatMetIt) {
  ASSERT_EQ(Exec("XRefereExtCove.TPS", testsupport::LocalCoveTable("XRefereExtCove") +
                                           "INSERT INTO XRefereExtCove (UNICO) VALUES (1), (2), (3);"),
            SQLITE_OK);
  // The table as the rename left it, with a row.
  rt::FileDecl renamed = app::MigrationFile("XRefereExtCove1").decl;
  renamed.attrs |= rt::kFileCreate;
  rt::CREATE(rt::ThreadFile(renamed));
  ASSERT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
  rt::ReleaseThreadFile(renamed);
  ASSERT_TRUE(testsupport::Execute(data_, "INSERT INTO xrefereextcove (unico) VALUES (7)"));
  driver_->beforeStatement = [&](const std::string& sql) {
    if (sql == "drop table XRefereExtCove") {
      EXPECT_TRUE(testsupport::DropPostgresSessions(pg_->login));
    }
  };
  testsupport::FakeWindowLayer ui;
  EXPECT_FALSE(Migrate());
  EXPECT_EQ(exitCode_, -1);
  ASSERT_EQ(ui.boxes.size(), 1u) << ui.boxes[1].text;
  // The refusal the driver gave for the statement, not one of a later step.
  const std::string& told = ui.boxes[0].text;
  EXPECT_EQ(told.rfind("No se pudo migrar RefereExtCove.|File System Error (S1000) FATAL:  terminating connection due to "
                       "administrator command\n", 0),
            0u)
      << told;
  EXPECT_TRUE(told.ends_with("|En el servidor nada cambió; la próxima creación del esquema lo intentará de nuevo."))
      << told;
  EXPECT_EQ(std::count(told.begin(), told.end(), '|'), 2) << told;
  EXPECT_EQ(testsupport::Rows(data_, "SELECT unico FROM xrefereextcove"), std::vector<std::string>{"7"});
  EXPECT_EQ(testsupport::TablesIn(data_).count("refereextcove"), 0u);
}

}  // namespace
