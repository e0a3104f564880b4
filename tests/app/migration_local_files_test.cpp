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

namespace {

namespace fs = std::filesystem;

void Exec(const fs::path& db, const std::string& sql) {
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "") << " in " << sql;
  sqlite3_free(err);
  sqlite3_close(h);
}

// Every file of the folder with its bytes.
std::map<std::string, std::string> Folder(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    out[e.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
  }
  return out;
}

class LocalFilesOnPress : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ortavia-local-files-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "db");
    previousDir_ = fs::current_path();
    fs::current_path(dir_);  // the local files are read from the current directory
    ::setenv("ORTAVIA_SQL_DRIVER", "SQLite3", 1);
    rt::RegisterSqlDriver();
    rt::RegisterSqliteFileDriver();
    entries_ = {"localhost", (dir_ / "db" / "server.db").string(), (dir_ / "db" / "data.db").string(), "admin", ""};
    prelude_.emplace(entries_.dbData, entries_.dbServer);
    rt::SetHaltHandler([this](int code) { exitCode_ = code; });
  }
  void TearDown() override {
    rt::SetHaltHandler({});
    prelude_.reset();
    ::unsetenv("ORTAVIA_SQL_DRIVER");
    fs::current_path(previousDir_);
    fs::remove_all(dir_);
  }
  void Press(testsupport::FakeWindowLayer& ui) {
    rt::BeginFileRun();
    testsupport::TypeConnectionEntries(ui, entries_);
    try {
      app::CreateSchema();
    } catch (const rt::ProgramHalted& halted) {
      exitCode_ = halted.exitCode;
    }
  }
  std::string Data() const { return "Driver={SQLite3};Database=" + entries_.dbData; }
  std::string Server() const { return "Driver={SQLite3};Database=" + entries_.dbServer; }

  fs::path dir_, previousDir_;
  testsupport::ConnectionEntries entries_;
  std::optional<testsupport::MigrationPrelude> prelude_;
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
  Exec("XRefereExtCove.TPS", CoveFile("XRefereExtCove", 1));
  Exec("XRefereExtCove.tps", CoveFile("XRefereExtCove", 1001));
  Exec("XRefereExtCoveEq.TPS", CoveFile("XRefereExtCoveEq", 1));
  Exec("xrefereextcoveeq.tps", CoveFile("XRefereExtCoveEq", 2001));
  Exec("XUSUAR_EXT.TPS", UsersFile("A"));
  Exec("xusuar_ext.TPS", UsersFile("B"));
  const auto before = Folder(dir_);

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
  EXPECT_EQ(Folder(dir_), before);
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
  Exec("XRefereExtCove.TPS", CoveFile("XRefereExtCove", 1));
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
  const auto before = Folder(dir_);
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
    EXPECT_EQ(Folder(dir_), before);
    EXPECT_FALSE(fs::exists(entries_.dbData));
  }
}

}  // namespace
