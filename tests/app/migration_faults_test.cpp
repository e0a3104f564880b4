// The migration on its failure paths, on SQLite and on the SQL Server stand-in
// plain and answering as other servers do: one whose refusal ends the
// transaction, one without DDL in transactions, one that puts a warning ahead
// of each error. Every migration case runs over the first and the last of
// them too; here are a refused commit, a renamed table that cannot be opened,
// a local record differing from the table's row in one field, a local file
// unreadable at its end, a refusal half-way, and on PostgreSQL a connection
// lost in the middle of a migration.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/migrate.h"
#include "dictionary/dictionary.h"
#include "runtime/base/text.h"
#include "runtime/sql/sql_connect.h"
#include "support/database_probe.h"
#include "support/migration_fixture.h"
#include "support/observed_odbc.h"
#include "support/standin_modes.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport::migration;
using testsupport::LocalCoveTable;

// A parameter's name as a test's name holds it.
std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

const std::string kEnding = std::string("SqlServerStandIn_") + testsupport::kRefusalEndsTransaction;
const std::string kWithoutDdl = std::string("SqlServerStandIn_") + testsupport::kDmlTransactions;
const std::string kWarning = std::string("SqlServerStandIn_") + testsupport::kWarningFirst;

// Every migration case, on the stand-in whose refusal ends the transaction and
// on the one that puts a warning ahead of each error.
INSTANTIATE_TEST_SUITE_P(StandInModes, Migration, ::testing::Values(kEnding, kWarning), TestName);

constexpr const char* kNothingChanged =
    "|En el servidor nada cambió; la próxima creación del esquema lo intentará de nuevo.";
constexpr const char* kNextRunAlone = "|La próxima creación del esquema lo intentará de nuevo.";

class MigrationFaults : public Migration {
 protected:
  // The server rolls a migration back: it takes DDL in a transaction.
  bool Atomic() const { return GetParam() != kWithoutDdl; }
  // What the user hears of a migration refused by the server.
  std::string Refused(const std::string& table, const std::string& why) const {
    return "No se pudo migrar " + table + ".|" + why + (Atomic() ? kNothingChanged : kNextRunAlone);
  }
  void StartOver() {
    Exec(Data(), "DROP TABLE IF EXISTS RefereExtCove; DROP TABLE IF EXISTS XRefereExtCove;");
    fs::remove("XRefereExtCove.TPS");
  }
  static std::string Objects() {
    return "SELECT name, sql FROM sqlite_master WHERE tbl_name IN ('RefereExtCove', 'XRefereExtCove') ORDER BY name";
  }
};

// A commit the server refuses: the table's migration is told as not made,
// nothing of it stays, the file is kept, and the next run makes it whole.
TEST_P(MigrationFaults, ARefusedCommitIsToldAndTheNextRunMakesTheMigration) {
  if (!StandIn() || !Atomic()) GTEST_SKIP() << "no commit to refuse";
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") + "INSERT INTO XRefereExtCove (UNICO) VALUES (1), (2);");
  testsupport::StandInModes::Add(testsupport::kRefuseCommit);
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_FALSE(migrated_);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Error");
  EXPECT_EQ(ui.boxes[0].text.rfind("No se pudo migrar RefereExtCove.|", 0), 0u) << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find("The transaction log for database 'data' is full."), std::string::npos)
      << ui.boxes[0].text;
  EXPECT_TRUE(ui.boxes[0].text.ends_with(kNothingChanged)) << ui.boxes[0].text;
  EXPECT_FALSE(HasTable(Data(), "RefereExtCove"));
  EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));

  testsupport::FakeWindowLayer again;
  Migrate();
  EXPECT_TRUE(migrated_);
  EXPECT_TRUE(again.boxes.empty()) << again.boxes[0].text;
  EXPECT_EQ(Query(Data(), "SELECT UNICO FROM RefereExtCove ORDER BY UNICO"), (std::vector<std::string>{"1", "2"}));
  EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
}

// A renamed table that is there but does not open (of a layout no version of
// the program made) is no missing one: it is kept with its rows, and the user
// is told.
TEST_P(MigrationFaults, ARenamedTableThatCannotBeOpenedIsKeptWithItsRows) {
  Exec(Data(), "CREATE TABLE XRefereExtCove (UNICO INTEGER, FACTURA TEXT); INSERT INTO XRefereExtCove VALUES (1, 'kept');");
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_FALSE(migrated_);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Error");
  EXPECT_EQ(ui.boxes[0].text.rfind("No se pudo migrar RefereExtCove.|", 0), 0u) << ui.boxes[0].text;
  EXPECT_TRUE(ui.boxes[0].text.ends_with(Atomic() ? kNothingChanged : kNextRunAlone)) << ui.boxes[0].text;
  EXPECT_EQ(Sent("REFERENCIAS: drop table XRefereExtCove"), 0u);
  EXPECT_EQ(Query(Data(), "SELECT UNICO, FACTURA FROM XRefereExtCove"), std::vector<std::string>{"1|kept"});
  if (Atomic()) {
    EXPECT_FALSE(HasTable(Data(), "RefereExtCove"));
  }
}

// A local record whose key the table holds is passed over when it is the same
// in every field, and not taken (the user told, the file kept) when one field
// differs, wherever that field is in the record.
TEST_P(MigrationFaults, ALocalRecordDifferingInOneFieldFromTheTablesRowIsNotTaken) {
  struct Case {
    const char* what;
    const char* column;  // of the local record; null: none differs
    const char* value;
  };
  const Case cases[] = {
      {"the same in every field", nullptr, nullptr},
      {"the first field after the key", "UNICOREFERE", "51"},
      {"a field in the middle", "FACTURA", "'F-6'"},
      {"a date", "FECHA_MOD", "'2020-03-03'"},
      {"a time", "HORA_MOD", "'9:15:31'"},
      {"the last field", "MIN_MODX", "8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StartOver();
    rt::FileBlock& old = OldTable("XRefereExtCove1");
    Record(old).Long("UNICO", 5).Long("UNICOREFERE", 50).Text("FACTURA", "F-5").Date("FECHA_MOD", {2, 3, 2020})
        .Time("HORA_MOD", {0, 30, 15, 9}).Text("USER_MOD", "OL").Byte("MIN_MODX", 7);
    Add(old);
    rt::CLOSE(old);
    Exec("XRefereExtCove.TPS",
         LocalCoveTable("XRefereExtCove") +
             "INSERT INTO XRefereExtCove (UNICO, UNICOREFERE, FACTURA, FECHA_MOD, HORA_MOD, USER_MOD, MIN_MODX) VALUES"
             " (5, 50, 'F-5', '2020-03-02', '9:15:30', 'OL', 7);" +
             (c.column ? std::string("UPDATE XRefereExtCove SET ") + c.column + " = " + c.value + ";" : ""));
    testsupport::FakeWindowLayer ui;
    Migrate();
    EXPECT_TRUE(migrated_);
    if (!c.column) {
      EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
      EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
    } else {
      ASSERT_EQ(ui.boxes.size(), 1u);
      EXPECT_EQ(ui.boxes[0].caption, "Aviso");
      EXPECT_EQ(ui.boxes[0].text,
                "1 registro del archivo local XRefereExtCove.TPS no se tomó: RefereExtCove ya tiene otra fila con su "
                "clave (UNICO 5).|El archivo se conserva.");
      EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));
    }
    EXPECT_EQ(Query(Data(), "SELECT UNICO, UNICOREFERE, FACTURA, MIN_MODX FROM RefereExtCove"),
              std::vector<std::string>{"5|50|F-5|7"});
    EXPECT_FALSE(HasTable(Data(), "XRefereExtCove"));
  }
}

// A local file that cannot be read at its last record: on a server that cannot
// roll the migration back it is read through before anything is sent; on
// each, nothing changes on the server.
TEST_P(MigrationFaults, ALocalFileUnreadableAtItsEndChangesNothingOnTheServer) {
  rt::FileBlock& old = OldTable("XRefereExtCove1");
  Record(old).Long("UNICO", 1).Text("FACTURA", "T-1");
  Add(old);
  rt::CLOSE(old);
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") +
                                 "INSERT INTO XRefereExtCove (UNICO, FACTURA) VALUES (2, 'L-2'), (3, 'L-3'), (9, 'L-9');"
                                 "UPDATE XRefereExtCove SET HORA_MODX = 256 WHERE UNICO = 9;");
  const std::vector<std::string> before = Query(Data(), Objects());
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_FALSE(migrated_);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "No se pudo leer el archivo local XRefereExtCove.TPS; no se migró RefereExtCove.|Record UNICO 9, column "
            "HORA_MODX: 256 is outside the field's range (0 to 255).|En el servidor nada cambió y el archivo se "
            "conserva: la próxima creación del esquema lo intentará de nuevo.");
  EXPECT_EQ(Query(Data(), Objects()), before);
  if (!Atomic()) {
    EXPECT_EQ(SentAbout("RefereExtCove"), 0u);
  }
  EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));
}

// A record the server refuses half-way: where the server rolls the migration
// back the user hears that nothing changed; where it cannot, only that the next
// run tries again.
TEST_P(MigrationFaults, ARefusalHalfWayIsToldAsTheServerCanUndoIt) {
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") +
                                 "INSERT INTO XRefereExtCove (UNICO) VALUES (1), (2), (3), (4);");
  testsupport::FakeWindowLayer ui;
  MigrateRefusingAdd("RefereExtCove", 3);
  EXPECT_FALSE(migrated_);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, Refused("RefereExtCove", "File System Error (HY000) Refused by the server"));
  EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));
  if (Atomic()) {
    EXPECT_FALSE(HasTable(Data(), "RefereExtCove"));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, MigrationFaults,
                         ::testing::Values("SQLite", "SqlServerStandIn", kEnding, kWithoutDdl, kWarning), TestName);

// On PostgreSQL, the connection lost in the middle of a table's migration (its
// sessions ended by the server at a given row): the refusal is told, no table
// changed, and the next run makes the whole migration.
TEST(MigrationOnPostgreSQL, AConnectionLostInTheMiddleChangesNothingAndTheNextRunMigratesWhole) {
  const auto pg = testsupport::UsePgTestServer();
  if (!pg) GTEST_SKIP() << "no PostgreSQL test server";
  const std::string data = pg->ConnectionString("ortavia_data"), server = pg->ConnectionString("ortavia_server");
  struct Case {
    const char* where;
    int lostAfter;  // INSERTs into RefereExtCove the server took before its sessions ended
  };
  // Two rows of the renamed table, then three local records.
  const Case cases[] = {
      {"after a row of the renamed table", 1},
      {"with the local records half carried", 3},
      {"after the last row, before the drop", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    ASSERT_TRUE(testsupport::EmptySchema(data));
    ASSERT_TRUE(testsupport::EmptySchema(server));
    auto observer = std::make_shared<testsupport::OdbcObserver>();
    int inserts = 0;
    bool armed = false;
    observer->afterStatement = [&](const std::string& sql, bool ok) {
      if (!armed || !ok || !rt::StartsWithNoCase(sql, "INSERT INTO RefereExtCove ")) return;
      if (++inserts == c.lostAfter) {
        EXPECT_TRUE(testsupport::DropPostgresSessions(pg->login));
      }
    };
    {
      testsupport::ProgramState state(
          {.folder = "ortavia-migration-lost-",
           .sqlDriver = "PostgreSQL Unicode",
           .drivers = true,
           .sql = std::make_shared<rt::SqlDriver>(testsupport::ObservedOdbc(observer)),
           .owners = testsupport::Owners{rt::BuildOwner("127.0.0.1", "ortavia_data", pg->login, pg->password),
                                         rt::BuildOwner("127.0.0.1", "ortavia_server", pg->login, pg->password)}});
      // The renamed table an earlier run left, with two rows.
      auto decl = std::make_unique<rt::FileDecl>(app::MigrationFile("XRefereExtCove1").decl);
      decl->attrs |= rt::kFileCreate;
      {
        rt::FileBlock x(*decl);
        rt::CREATE(x);
        ASSERT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
        rt::OPEN(x);
        for (int32_t unico : {1, 2}) {
          Record(x).Long("UNICO", unico).Text("FACTURA", "T-" + std::to_string(unico));
          rt::ADD(x);
          ASSERT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
        }
        rt::CLOSE(x);
      }
      Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") +
                                     "INSERT INTO XRefereExtCove (UNICO, FACTURA) VALUES (3, 'L-3'), (4, 'L-4'),"
                                     " (5, 'L-5');");
      armed = true;
      testsupport::FakeWindowLayer ui;
      bool migrated = true;
      try {
        migrated = app::MigrateStructures();
      } catch (const rt::ProgramHalted&) {
        ADD_FAILURE() << "the program ended";
      }
      armed = false;
      EXPECT_FALSE(migrated);
      ASSERT_GE(ui.boxes.size(), 1u);
      EXPECT_EQ(ui.boxes[0].text.rfind("No se pudo migrar RefereExtCove.|", 0), 0u) << ui.boxes[0].text;
      EXPECT_TRUE(ui.boxes[0].text.ends_with(kNothingChanged)) << ui.boxes[0].text;
      EXPECT_EQ(testsupport::Rows(data, "SELECT unico || '|' || factura FROM xrefereextcove ORDER BY unico"),
                (std::vector<std::string>{"1|T-1", "2|T-2"}));
      EXPECT_FALSE(testsupport::TablesIn(data).count("refereextcove"));
      EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));

      testsupport::FakeWindowLayer again;
      rt::BeginFileRun();
      EXPECT_TRUE(app::MigrateStructures());
      EXPECT_TRUE(again.boxes.empty()) << again.boxes[0].text;
      EXPECT_EQ(testsupport::Rows(data, "SELECT unico || '|' || factura FROM refereextcove ORDER BY unico"),
                (std::vector<std::string>{"1|T-1", "2|T-2", "3|L-3", "4|L-4", "5|L-5"}));
      EXPECT_FALSE(testsupport::TablesIn(data).count("xrefereextcove"));
      EXPECT_FALSE(fs::exists("XRefereExtCove.TPS"));
    }
  }
}

}  // namespace
