// A refusal in the middle of a migration that sends its rows in many batches,
// through the real driver manager on SQLite, the SQL Server stand-in (plain and
// ending its transaction at a refusal) and PostgreSQL: a duplicate key met by
// one of the middle batches, and on PostgreSQL the connection lost before one.
// The table's migration is rolled back whole: nothing of the batches sent
// before the refused one stays, and the next run migrates every row once.
#include <gtest/gtest.h>


#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/migrate.h"
#include "runtime/base/program.h"
#include "runtime/base/text.h"
#include "runtime/sql/odbc_session.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "support/database_probe.h"
#include "support/fake_ui.h"
#include "support/migration_fixture.h"
#include "support/standin_modes.h"

namespace {

namespace fs = std::filesystem;

// The old table's rows and the local file's records: more than three of the
// largest batches any backend takes (1,170 rows of RefereExtCove on PostgreSQL).
constexpr int kOldRows = 3000, kLocalRecords = 600;
// The row at which the fault comes: in the second of PostgreSQL's batches, well
// inside the others' runs of batches.
constexpr int kFaultAt = 1800;

enum class Fault { None, DuplicateKey, ConnectionLost };

// The fault asked for, and the rows of RefereExtCove handed since it was.
struct Faulting {
  Fault fault = Fault::None;
  int rows = 0;
  void Ask(Fault f) {
    fault = f;
    rows = 0;
  }
};

// The program's ODBC session, with a fault put in the rows of RefereExtCove it
// is handed: at the kFaultAt-th, that row handed twice (a duplicate key the
// server meets in the batch that holds it), or the server's sessions ended
// first (the next batch meets a lost connection).
class FaultySession : public rt::SqlSession {
 public:
  FaultySession(std::unique_ptr<rt::SqlSession> inner, Faulting& faulting, std::function<void()> loseConnection)
      : inner_(std::move(inner)), faulting_(faulting), loseConnection_(std::move(loseConnection)) {}

  rt::SqlStatus ExecDeferred(const rt::InsertHead& head, const std::vector<rt::SqlValue>& row) override {
    const Fault fault = faulting_.fault;
    if (fault != Fault::None && rt::StartsWithNoCase(*head, "INSERT INTO RefereExtCove ") &&
        ++faulting_.rows == kFaultAt) {
      if (fault == Fault::ConnectionLost) loseConnection_();
      if (fault == Fault::DuplicateKey)
        if (rt::SqlStatus sent = inner_->ExecDeferred(head, row); !sent) return sent;
    }
    return inner_->ExecDeferred(head, row);
  }
  rt::SqlStatus Exec(const std::string& sql, const std::vector<rt::SqlValue>& params) override {
    return inner_->Exec(sql, params);
  }
  rt::SqlResult<std::unique_ptr<rt::SqlCursor>> Query(const std::string& sql, const std::vector<rt::SqlValue>& params,
                                                      const std::vector<rt::SqlValue::Kind>& kinds) override {
    return inner_->Query(sql, params, kinds);
  }
  rt::SqlResult<std::vector<std::string>> Columns(const std::string& schema, const std::string& table) override {
    return inner_->Columns(schema, table);
  }
  rt::SqlResult<TableColumns> AllColumns(const std::string& schema) override { return inner_->AllColumns(schema); }
  rt::SqlResult<std::vector<rt::TypeInfoRow>> TypeInfo() override { return inner_->TypeInfo(); }
  rt::ServerInfo Info() override { return inner_->Info(); }
  bool Broken() override { return inner_->Broken(); }
  rt::SqlStatus BeginTransaction() override { return inner_->BeginTransaction(); }
  rt::SqlStatus EndTransaction(bool commit) override { return inner_->EndTransaction(commit); }

 private:
  std::unique_ptr<rt::SqlSession> inner_;
  Faulting& faulting_;
  std::function<void()> loseConnection_;
};

const std::string kEnding = std::string("SqlServerStandIn_") + testsupport::kRefusalEndsTransaction;

class MigrationLargeBatches : public ::testing::TestWithParam<std::string> {
 protected:
  bool Postgres() const { return GetParam() == "PostgreSQL"; }
  bool StandIn() const { return GetParam().starts_with("SqlServerStandIn"); }

  void SetUp() override {
    if (Postgres()) {
      pg_ = testsupport::UsePgTestServer();
      if (!pg_) GTEST_SKIP() << "no PostgreSQL test server";
      ASSERT_TRUE(testsupport::EmptySchema(pg_->ConnectionString("ortavia_data")));
      ASSERT_TRUE(testsupport::EmptySchema(pg_->ConnectionString("ortavia_server")));
    }
    if (GetParam() == kEnding) testsupport::StandInModes::Set(testsupport::kRefusalEndsTransaction);
    const std::string folder = testsupport::ProgramState::FolderOf("ortavia-large-batches-").string();
    testsupport::Owners owners = testsupport::SqliteOwners(folder + "/data.db", folder + "/server.db");
    if (Postgres())
      owners = {rt::BuildOwner("127.0.0.1", "ortavia_data", pg_->login, pg_->password),
                rt::BuildOwner("127.0.0.1", "ortavia_server", pg_->login, pg_->password)};
    state_.emplace(testsupport::ProgramState::Options{
        .folder = "ortavia-large-batches-",
        .sqlDriver = Postgres() ? "PostgreSQL Unicode" : StandIn() ? "SQL Server" : "SQLite3",
        .drivers = true,
        .sql = std::make_shared<rt::SqlDriver>(
            [this](const std::string& owner) -> rt::SqlResult<std::unique_ptr<rt::SqlSession>> {
              rt::SqlResult<std::unique_ptr<rt::SqlSession>> session = rt::OdbcConnect(owner);
              if (!session) return session;
              return std::make_unique<FaultySession>(std::move(*session), faulting_, [this] {
                EXPECT_TRUE(testsupport::DropPostgresSessions(pg_->login));
              });
            }),
        .owners = owners});
    dir_ = state_->folder();
  }
  void TearDown() override {
    state_.reset();
    testsupport::StandInModes::Clear();
  }

  // Rows of a query on the data database, each its first column.
  std::vector<std::string> Rows(const std::string& sql) const {
    if (Postgres()) return testsupport::Rows(pg_->ConnectionString("ortavia_data"), sql);
    return testsupport::migration::Query(dir_ / "data.db", sql);
  }
  void Run(const std::string& sql) const {
    if (Postgres()) {
      ASSERT_TRUE(testsupport::Execute(pg_->ConnectionString("ortavia_data"), sql)) << sql;
    } else {
      testsupport::migration::Exec(dir_ / "data.db", sql);
    }
  }

  // The old table with rows 1..kOldRows: on the stand-in under its own name,
  // for the migration to rename; elsewhere as a rename leaves it. Its name.
  std::string OldTable() {
    rt::FileDecl decl = app::MigrationFile("XRefereExtCove1").decl;
    decl.attrs |= rt::kFileCreate;
    if (StandIn()) decl.tableName.erase(0, 1);
    rt::CREATE(rt::ThreadFile(decl));
    EXPECT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
    rt::ReleaseThreadFile(decl);
    const std::string rows = Postgres() ? "SELECT u, 'T-' || u FROM generate_series(1, " + std::to_string(kOldRows) + ") u"
                                        : "WITH RECURSIVE n(u) AS (SELECT 1 UNION ALL SELECT u + 1 FROM n WHERE u < " +
                                              std::to_string(kOldRows) + ") SELECT u, 'T-' || u FROM n";
    Run("INSERT INTO " + decl.tableName + " (UNICO, FACTURA) " + rows);
    return decl.tableName;
  }

  // The tables of RefereExtCove's names with their rows, as "name count first last".
  std::vector<std::string> CoveTables() const {
    std::vector<std::string> out;
    for (const char* table : {"RefereExtCove", "XRefereExtCove"}) {
      const std::vector<std::string> found =
          Rows("SELECT COUNT(*) || ' ' || MIN(FACTURA) || ' ' || MAX(UNICO) FROM " + std::string(table));
      if (found.size() == 1 && found[0].find_first_not_of("0123456789 -TL") == std::string::npos)
        out.push_back(std::string(table) + " " + found[0]);
    }
    return out;
  }

  bool Migrate() {
    rt::BeginFileRun();
    bool done = false;
    state_->Run([&] { done = app::MigrateStructures(); });
    return done;
  }
  int exitCode() const { return state_->exitCode(); }

  std::optional<testsupport::PgTestServer> pg_;
  Faulting faulting_;
  std::optional<testsupport::ProgramState> state_;
  fs::path dir_;
};

TEST_P(MigrationLargeBatches, ARefusalInAMiddleBatchRollsTheTablesMigrationBackWhole) {
  struct Case {
    const char* what;
    Fault fault;
    const char* told;  // a part of the refusal the user hears
  };
  const char* duplicate = Postgres()   ? "duplicate key value violates unique constraint"
                          : StandIn() ? "Violation of PRIMARY KEY constraint"
                                      : "UNIQUE constraint failed";
  const Case cases[] = {
      {"a duplicate key", Fault::DuplicateKey, duplicate},
      {"the connection lost", Fault::ConnectionLost, "terminating connection due to administrator command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.fault == Fault::ConnectionLost && !Postgres()) continue;  // a file database has no connection to lose
    Run("DROP TABLE IF EXISTS RefereExtCove");
    Run("DROP TABLE IF EXISTS XRefereExtCove");
    const std::string old = OldTable();
    testsupport::migration::Exec(
        "XRefereExtCove.TPS", testsupport::LocalCoveTable("XRefereExtCove") +
                                  "WITH RECURSIVE n(u) AS (SELECT " + std::to_string(kOldRows + 1) +
                                  " UNION ALL SELECT u + 1 FROM n WHERE u < " +
                                  std::to_string(kOldRows + kLocalRecords) +
                                  ") INSERT INTO XRefereExtCove (UNICO, FACTURA) SELECT u, 'L-' || u FROM n;");
    const std::vector<std::string> before = CoveTables();
    ASSERT_EQ(before, std::vector<std::string>{old + " " + std::to_string(kOldRows) + " T-1 " +
                                               std::to_string(kOldRows)});

    faulting_.Ask(c.fault);
    {
      testsupport::FakeWindowLayer ui;
      EXPECT_FALSE(Migrate());
      faulting_.Ask(Fault::None);
      EXPECT_EQ(exitCode(), -1);
      ASSERT_GE(ui.boxes.size(), 1u);
      const std::string& told = ui.boxes[0].text;
      EXPECT_EQ(told.rfind("No se pudo migrar RefereExtCove.|", 0), 0u) << told;
      EXPECT_NE(told.find(c.told), std::string::npos) << told;
      EXPECT_TRUE(told.ends_with("|En el servidor nada cambió; la próxima creación del esquema lo intentará de "
                                 "nuevo."))
          << told;
    }
    // Nothing of the batches sent before the refused one: the old table as it was.
    EXPECT_EQ(CoveTables(), before);
    EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));

    testsupport::FakeWindowLayer again;
    EXPECT_TRUE(Migrate());
    EXPECT_TRUE(again.boxes.empty()) << again.boxes[0].text;
    const int all = kOldRows + kLocalRecords;
    EXPECT_EQ(CoveTables(), std::vector<std::string>{"RefereExtCove " + std::to_string(all) + " L-" +
                                                     std::to_string(kOldRows + 1) + " " + std::to_string(all)});
    EXPECT_EQ(Rows("SELECT COUNT(DISTINCT UNICO) FROM RefereExtCove"), std::vector<std::string>{std::to_string(all)});
    EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, MigrationLargeBatches,
                         ::testing::Values("SQLite", "SqlServerStandIn", kEnding, "PostgreSQL"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

}  // namespace
