// A table's migration refused half-way, then the next run: whatever the server
// can undo, every row of the old table and every record of the local file
// arrives exactly once, the renamed table goes and a third run has nothing to
// do. On a server without DDL in transactions (where what was sent before the
// refusal stays) as on those that roll the migration back.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/migration_fixture.h"
#include "support/standin_modes.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport::migration;
using testsupport::LocalCoveTable;

class MigrationNextRun : public Migration {};

TEST_P(MigrationNextRun, ARefusalHalfWayIsMadeGoodByTheNextRun) {
  struct Case {
    const char* what;
    const char* table;     // the changed table, as the SQL driver names it
    const char* oldDecl;   // the old layout's SQL declaration
    const char* renamed;   // the name its rename gives it
    const char* file;      // the local file, and its table
    bool oldTable;         // the old table holds rows 1 and 2
    int refuseAt;          // the ADD into the changed table that the server refuses
    bool fileRemoved;      // once carried
  };
  const Case cases[] = {
      {"no old table, a refusal among the local records", "RefereExtCove", "XRefereExtCove1", "XRefereExtCove",
       "XRefereExtCove", false, 2, true},
      {"an old table, a refusal among its rows", "RefereExtCove", "XRefereExtCove1", "XRefereExtCove",
       "XRefereExtCove", true, 2, true},
      {"an old table, a refusal among the local records", "RefereExtCove", "XRefereExtCove1", "XRefereExtCove",
       "XRefereExtCove", true, 4, true},
      {"a kept file, no old table, a refusal among the local records", "RefereExtCoveEQ", "XRefereExtCoveEq1",
       "XRefereExtCoveEQ", "XRefereExtCoveEq", false, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string table = c.table, file = std::string(c.file) + ".TPS";
    Exec(Data(), "DROP TABLE IF EXISTS " + table + "; DROP TABLE IF EXISTS " + c.renamed + ";");
    fs::remove(file);
    std::vector<std::string> all;
    if (c.oldTable) {
      rt::FileBlock& old = OldTable(c.oldDecl);
      for (int32_t unico : {1, 2}) {
        Record(old).Long("UNICO", unico).Text("FACTURA", "T-" + std::to_string(unico));
        Add(old);
        all.push_back(std::to_string(unico) + "|T-" + std::to_string(unico));
      }
      rt::CLOSE(old);
    }
    Exec(file, LocalCoveTable(c.file) + "INSERT INTO " + c.file +
                   " (UNICO, FACTURA) VALUES (3, 'L-3'), (4, 'L-4'), (5, 'L-5');");
    for (const char* row : {"3|L-3", "4|L-4", "5|L-5"}) all.push_back(row);

    testsupport::FakeWindowLayer refused;
    MigrateRefusingAdd(table, c.refuseAt);
    EXPECT_FALSE(migrated_);
    ASSERT_EQ(refused.boxes.size(), 1u);
    EXPECT_EQ(refused.boxes[0].text.rfind("No se pudo migrar " + table + ".|File System Error (HY000) Refused by "
                                          "the server|", 0),
              0u)
        << refused.boxes[0].text;
    EXPECT_TRUE(fs::exists(file));

    testsupport::FakeWindowLayer next;
    Migrate();
    EXPECT_TRUE(migrated_);
    EXPECT_TRUE(next.boxes.empty()) << next.boxes[0].text;
    EXPECT_EQ(Query(Data(), "SELECT UNICO, FACTURA FROM " + table + " ORDER BY UNICO"), all);
    EXPECT_FALSE(HasTable(Data(), c.renamed));
    EXPECT_EQ(fs::exists(file), !c.fileRemoved);
    ExpectAnotherRunDoesNothingTo(table);
    EXPECT_TRUE(local_->opened.empty()) << local_->opened[0];
  }
}

// The SQL driver of the migration's tests, refusing one statement as a server would.
class RefusingStatementDriver : public LoggingSqlDriver {
 public:
  int SetProperty(rt::FileBlock& file, int prop, const std::string& value) override {
    if (prop != rt::FilePropSql || value != refused) return LoggingSqlDriver::SetProperty(file, prop, value);
    statements.push_back(file.decl().label + ": " + value);
    rt::SetFileError("HY000", "Drop refused by the server");
    return rt::kFileSystemError;
  }
  std::string refused;
};

class MigrationUndoRefused : public Migration {
 protected:
  void SetUp() override {
    sql_ = driver_;
    Migration::SetUp();
  }
  std::shared_ptr<RefusingStatementDriver> driver_ = std::make_shared<RefusingStatementDriver>();
};

// Where the table made by a migration refused half-way cannot be dropped
// either, part of its rows stay on the server: the user is not told that the
// next run tries again, but that the table's state is not known.
TEST_P(MigrationUndoRefused, ATableMadeByARefusedMigrationThatCannotBeDroppedIsToldAsNotKnown) {
  Exec("XRefereExtCove.TPS", LocalCoveTable("XRefereExtCove") + "INSERT INTO XRefereExtCove (UNICO) VALUES (1), (2);");
  driver_->refuseIn = "RefereExtCove";
  driver_->refuseAt = 2;
  driver_->refused = "drop table RefereExtCove";
  testsupport::FakeWindowLayer ui;
  Migrate();
  EXPECT_FALSE(migrated_);
  EXPECT_EQ(Sent("REFERENCIAS: drop table RefereExtCove"), 1u);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "No se pudo migrar RefereExtCove.|File System Error (HY000) Refused by the server|No se sabe en qué "
            "estado quedó RefereExtCove en el servidor: no confirmó que deshizo lo enviado. La próxima "
            "creación del esquema lo revisará en el servidor y lo intentará de nuevo.");
  EXPECT_TRUE(fs::exists("XRefereExtCove.TPS"));
}

const std::string kWithoutDdl = std::string("SqlServerStandIn_") + testsupport::kDmlTransactions;
const std::string kEnding = std::string("SqlServerStandIn_") + testsupport::kRefusalEndsTransaction;

INSTANTIATE_TEST_SUITE_P(Backends, MigrationNextRun, ::testing::Values("SQLite", "SqlServerStandIn", kWithoutDdl, kEnding),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });
INSTANTIATE_TEST_SUITE_P(WithoutDdl, MigrationUndoRefused, ::testing::Values("SqlServerStandIn_dml-transactions"),
                         [](const ::testing::TestParamInfo<std::string>&) { return std::string("dml_transactions"); });

}  // namespace
