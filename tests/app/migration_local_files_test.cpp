// The local files of the old layouts as a press of the schema button meets
// them on the embedded default: two files whose names differ only in letter
// case are one name twice, so neither is read nor removed until one is gone;
// the file removed is the one read; a database entry naming a local file is
// refused before anything opens.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/create_schema.h"
#include "app/migrate.h"
#include "runtime/base/program.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/connection_entries.h"
#include "support/database_probe.h"
#include "support/fake_ui.h"
#include "support/migration_prelude.h"
#include "support/program_state.h"
#include "support/sqlite_files.h"

namespace {

namespace fs = std::filesystem;

using testsupport::ExecSql;
using testsupport::FolderBytes;

class LocalFilesOnPress : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::ProgramState::FolderOf("ortavia-local-files-");
    entries_ = {"localhost", (dir_ / "db" / "server.db").string(), (dir_ / "db" / "data.db").string(), "admin", ""};
    state_.emplace(testsupport::ProgramState::Options{
        .folder = "ortavia-local-files-",
        .sqlDriver = "SQLite3",
        .drivers = true,
        .owners = testsupport::SqliteOwners(entries_.dbData, entries_.dbServer),
        .exitCode = &exitCode_});
    fs::create_directories(dir_ / "db");
  }
  void TearDown() override { state_.reset(); }
  void Press(testsupport::FakeWindowLayer& ui) {
    rt::BeginFileRun();
    testsupport::TypeConnectionEntries(ui, entries_);
    state_->Run(app::CreateSchema);
  }
  std::string Data() const { return "Driver={SQLite3};Database=" + entries_.dbData; }
  std::string Server() const { return "Driver={SQLite3};Database=" + entries_.dbServer; }

  fs::path dir_;
  testsupport::ConnectionEntries entries_;
  std::optional<testsupport::ProgramState> state_;
  int exitCode_ = -1;
};

std::string CoveFile(const char* table, int first) {
  return testsupport::LocalCoveTable(table) + "INSERT INTO " + table + " (UNICO) VALUES (" + std::to_string(first) +
         "), (" + std::to_string(first + 1) + ");";
}
std::string UsersFile(const char* first) {
  return testsupport::LocalUsersTable() + "INSERT INTO XUSUAR_EXT (CODIGO) VALUES ('" + first + "');";
}

TEST_F(LocalFilesOnPress, TwoFilesOfOneNameInDifferentCaseAreNeitherReadNorRemovedUntilOneIsGone) {
  // Each local file twice; the second of each pair holds other records.
  struct Pair {
    const char* table;  // the table told of
    const char* kept;   // the file left at the end
    const char* gone;   // the file the user removes
    const char* query;  // what the carried records are, on which database
    bool inData;
    std::vector<std::string> carried;
  };
  const Pair pairs[] = {
      {"RefereExtCove", "XRefereExtCove.tps", "XRefereExtCove.TPS", "SELECT unico FROM refereextcove ORDER BY unico",
       true, {"1001", "1002"}},
      {"RefereExtCoveEQ", "xrefereextcoveeq.tps", "XRefereExtCoveEq.TPS",
       "SELECT unico FROM refereextcoveeq ORDER BY unico", true, {"2001", "2002"}},
      {"USUAR_EXT", "xusuar_ext.TPS", "XUSUAR_EXT.TPS", "SELECT codigo FROM usuar_ext", false, {"B"}},
  };
  ExecSql("XRefereExtCove.TPS", CoveFile("XRefereExtCove", 1));
  ExecSql("XRefereExtCove.tps", CoveFile("XRefereExtCove", 1001));
  ExecSql("XRefereExtCoveEq.TPS", CoveFile("XRefereExtCoveEq", 1));
  ExecSql("xrefereextcoveeq.tps", CoveFile("XRefereExtCoveEq", 2001));
  ExecSql("XUSUAR_EXT.TPS", UsersFile("A"));
  ExecSql("xusuar_ext.TPS", UsersFile("B"));
  const auto before = FolderBytes(dir_);

  testsupport::FakeWindowLayer ui;
  Press(ui);
  EXPECT_EQ(exitCode_, -1);
  ASSERT_EQ(ui.boxes.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const Pair& p = pairs[i];
    const std::string first = std::min(std::string(p.kept), std::string(p.gone));
    const std::string second = std::max(std::string(p.kept), std::string(p.gone));
    EXPECT_EQ(ui.boxes[i].text, "No se pudo leer el archivo local " + std::string(p.gone) + "; no se migró " +
                                    p.table + ".|2 files have its name in different letter case (" + first + " and " +
                                    second + "): neither is read until only one of them is left.|En el servidor nada "
                                    "cambió y el archivo se conserva: la próxima creación del esquema lo intentará de "
                                    "nuevo.");
  }
  // Both files of each pair as they were, nothing carried, the press stopped.
  EXPECT_EQ(FolderBytes(dir_), before);
  const std::set<std::string> data = testsupport::TablesIn(Data());
  EXPECT_EQ(data.count("refereextcove") + data.count("refereextcoveeq") + data.count("embarquectpat"), 0u);

  // One of each pair removed: the other is read, and XRefereExtCove's, carried
  // whole, is removed by the name it was read under.
  for (const Pair& p : pairs) fs::remove(p.gone);
  testsupport::FakeWindowLayer again;
  Press(again);
  EXPECT_EQ(exitCode_, -1);
  EXPECT_TRUE(again.boxes.empty()) << again.boxes[0].text;
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.table);
    EXPECT_EQ(testsupport::Rows(p.inData ? Data() : Server(), p.query), p.carried);
  }
  EXPECT_FALSE(fs::exists("XRefereExtCove.tps"));
  EXPECT_TRUE(fs::exists("xrefereextcoveeq.tps"));
  EXPECT_TRUE(fs::exists("xusuar_ext.TPS"));
}

// The database entries are file names on the embedded default: one naming a
// local file of the migration is refused before anything opens.
TEST_F(LocalFilesOnPress, ADatabaseEntryNamingALocalFileIsRefusedBeforeAnythingOpens) {
  ExecSql("XRefereExtCove.TPS", CoveFile("XRefereExtCove", 1));
  fs::create_symlink(dir_ / "XRefereExtCove.TPS", dir_ / "db" / "enlace.db");
  struct Case {
    const char* name;
    bool data;         // the data entry, else the server entry
    std::string entry;
    const char* prompt;
  };
  const Case cases[] = {
      {"the file as it is named", true, "XRefereExtCove.TPS", "Base de Datos - DATA"},
      {"another letter case, by a path", false, (dir_ / "xusuar_ext.tps").string(), "Base de Datos - SERVER"},
      {"a link to it", true, (dir_ / "db" / "enlace.db").string(), "Base de Datos - DATA"},
  };
  const auto before = FolderBytes(dir_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ConnectionEntries typed = entries_;
    (c.data ? typed.dbData : typed.dbServer) = c.entry;
    std::swap(typed, entries_);
    testsupport::FakeWindowLayer ui;
    Press(ui);
    std::swap(typed, entries_);
    EXPECT_EQ(exitCode_, -1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text,
              std::string("No se pudo iniciar creación de bases de datos. Archivo local de la migración en ") +
                  c.prompt);
    EXPECT_EQ(FolderBytes(dir_), before);
    EXPECT_FALSE(fs::exists(entries_.dbData));
  }
}

}  // namespace
