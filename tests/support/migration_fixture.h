// The migration's fixture, shared by the migration tests: the program's state
// right before the migration on SQLite databases or the SQL Server stand-in,
// local files in a directory of the test's own, drivers that log what they
// open and send, and looks at the databases beside the program.
#pragma once

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/create_schema.h"
#include "app/migrate.h"
#include "runtime/base/datetime.h"
#include "runtime/base/program.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/connection_entries.h"
#include "support/fake_ui.h"
#include "support/migration_prelude.h"
#include "support/program_state.h"
#include "support/sqlite_files.h"
#include "support/standin_modes.h"

namespace testsupport::migration {

namespace fs = std::filesystem;

// The SQL driver, with a log of the statements written to FilePropSql and of
// the tables opened.
class LoggingSqlDriver : public rt::SqlDriver {
 public:
  int SetProperty(rt::FileBlock& file, int prop, const std::string& value) override {
    if (prop == rt::FilePropSql) statements.push_back(file.decl().label + ": " + value);
    return SqlDriver::SetProperty(file, prop, value);
  }
  int Open(rt::FileBlock& file, int mode) override {
    opened.push_back(file.decl().label);
    return SqlDriver::Open(file, mode);
  }
  // The refuseAt-th ADD to table refuseIn is refused as a server would refuse it.
  int Add(rt::FileBlock& file) override {
    if (file.decl().label == refuseIn && ++adds == refuseAt) {
      rt::SetFileError("HY000", "Refused by the server");
      return refuseWith;
    }
    return SqlDriver::Add(file);
  }
  std::vector<std::string> statements, opened;
  std::string refuseIn;
  int refuseAt = 0, adds = 0, refuseWith = rt::kFileSystemError;
};

// The local-file driver, with a log of the files opened.
class LoggingLocalDriver : public rt::SqliteFileDriver {
 public:
  int Open(rt::FileBlock& file, int mode) override {
    opened.push_back(file.decl().TableName());
    return SqliteFileDriver::Open(file, mode);
  }
  std::vector<std::string> opened;
};

// Rows of a query on an SQLite database, each as its columns' texts joined by '|'.
inline std::vector<std::string> Query(const fs::path& db, const std::string& sql) {
  sqlite3* h = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << db;
    sqlite3_close(h);
    return rows;
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    rows.push_back(std::string("error: ") + sqlite3_errmsg(h));
  } else {
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const unsigned char* t = sqlite3_column_text(st, i);
        row += (i ? "|" : "") + (t ? std::string(reinterpret_cast<const char*>(t)) : std::string("NULL"));
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(h);
  return rows;
}

// A change made beside the program, between its runs: the next run reads the databases afresh.
inline void Exec(const fs::path& db, const std::string& sql) {
  rt::BeginFileRun();
  ExecSql(db, sql);
}

inline std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline bool HasTable(const fs::path& db, const std::string& name) {
  return Query(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '" + name +
                       "' COLLATE NOCASE") == std::vector<std::string>{"1"};
}

// A record being written through a declaration: fields set by name.
class Record {
 public:
  explicit Record(rt::FileBlock& file) : file_(file) { file_.ClearRecord(); }
  Record& Long(const char* name, int32_t v) { return Put(name, &v, 4); }
  Record& Byte(const char* name, uint8_t v) { return Put(name, &v, 1); }
  Record& Real(const char* name, double v) { return Put(name, &v, 8); }
  Record& Text(const char* name, const std::string& v) {
    const rt::TypeEntry& e = Entry(name);
    std::memset(file_.buffer() + e.offset, 0, e.size);
    std::memcpy(file_.buffer() + e.offset, v.data(), std::min<size_t>(v.size(), e.size - 1));
    return *this;
  }
  Record& Date(const char* name, rt::DateStorage d) {
    d.Store(file_.buffer() + Entry(name).offset);
    return *this;
  }
  Record& Time(const char* name, rt::TimeStorage t) {
    t.Store(file_.buffer() + Entry(name).offset);
    return *this;
  }

 private:
  const rt::TypeEntry& Entry(const char* name) {
    for (const rt::ValueField& f : rt::ValueFieldsOf(*file_.decl().record))
      if (f.name == name) return file_.decl().record->entry(f.entry);
    throw std::logic_error(std::string("no field ") + name);
  }
  Record& Put(const char* name, const void* v, size_t n) {
    std::memcpy(file_.buffer() + Entry(name).offset, v, n);
    return *this;
  }
  rt::FileBlock& file_;
};

// Where an old table is made: before the migration renames it (under its own
// name), or as a rename leaves it (under the name with an "X" in front).
enum class Where { kBeforeRename, kRenamed };

class Migration : public ::testing::TestWithParam<std::string> {
 protected:
  // The stand-in, plain or in one of its modes ("SqlServerStandIn_<mode>").
  bool StandIn() const { return GetParam().starts_with("SqlServerStandIn"); }

  void SetUp() override {
    // The stand-in is found by the program's own driver choice, as a real server's driver is.
    if (const size_t mode = GetParam().find('_'); StandIn() && mode != std::string::npos)
      StandInModes::Set(GetParam().substr(mode + 1));
    dir_ = ProgramState::FolderOf("ortavia-migration-");
    state_.emplace(ProgramState::Options{.folder = "ortavia-migration-",
                                         .sqlDriver = StandIn() ? "SQL Server" : "SQLite3",
                                         .drivers = true,
                                         .sql = sql_,
                                         .local = local_,
                                         .owners = SqliteOwners(Data().string(), Server().string()),
                                         .exitCode = &exitCode_});
    entries_ = {"localhost", Server().string(), Data().string(), "admin", ""};
  }
  void TearDown() override {
    state_.reset();
    StandInModes::Clear();
  }

  // The migration alone, as the creation procedure runs it once the owners are set.
  void Migrate() {
    sql_->statements.clear();
    sql_->opened.clear();
    local_->opened.clear();
    migrated_ = false;
    state_->Run([&] { migrated_ = app::MigrateStructures(); });
  }
  // The migration with the at-th ADD to table refused (with code), as a server
  // refuses a record; later runs are let through.
  void MigrateRefusingAdd(const std::string& table, int at, int code = rt::kFileSystemError) {
    sql_->refuseIn = table;
    sql_->refuseAt = at;
    sql_->adds = 0;
    sql_->refuseWith = code;
    Migrate();
    sql_->refuseIn.clear();
  }
  // One press of the schema button: migration and creation loop.
  void PressSchemaButton(testsupport::FakeWindowLayer& ui) {
    sql_->statements.clear();
    sql_->opened.clear();
    local_->opened.clear();
    testsupport::TypeConnectionEntries(ui, entries_);
    state_->Run(app::CreateSchema);
  }

  // A table of an old layout on the server, made through the SQL driver as the
  // old program made it; returns a record writer for it. SQLite cannot rename,
  // so there it is always made as a rename leaves it.
  rt::FileBlock& OldTable(const char* label, Where where = Where::kBeforeRename) {
    rt::FileDecl& decl = state_->Keep(std::make_unique<rt::FileDecl>(app::MigrationFile(label).decl));
    decl.attrs |= rt::kFileCreate;
    if (where == Where::kBeforeRename && StandIn()) decl.tableName.erase(0, 1);
    rt::FileBlock& f = rt::ThreadFile(decl);
    rt::CREATE(f);
    EXPECT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
    rt::OPEN(f);
    EXPECT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
    return f;
  }
  static void Add(rt::FileBlock& f) {
    rt::ADD(f);
    EXPECT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
  }

  fs::path Data() const { return dir_ / "data.db"; }
  fs::path Server() const { return dir_ / "server.db"; }
  size_t Sent(const std::string& statement) const {
    return std::count(sql_->statements.begin(), sql_->statements.end(), statement);
  }
  // The statements that name a table (its rename or drop), by its exact name.
  size_t SentAbout(const std::string& table) const {
    return std::count_if(sql_->statements.begin(), sql_->statements.end(), [&](const std::string& s) {
      return s.ends_with(" " + table) || s.find(" " + table + ",") != std::string::npos ||
             s.ends_with("X" + table);
    });
  }
  // A run after a finished migration: nothing sent about the table, nothing said.
  void ExpectAnotherRunDoesNothingTo(const std::string& table) {
    testsupport::FakeWindowLayer ui;
    Migrate();
    EXPECT_TRUE(migrated_);
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
    EXPECT_EQ(SentAbout(table), 0u);
  }
  bool Opened(const std::string& label) const {
    return std::count(sql_->opened.begin(), sql_->opened.end(), label) > 0;
  }

  fs::path dir_;
  std::optional<ProgramState> state_;
  testsupport::ConnectionEntries entries_;
  std::shared_ptr<LoggingSqlDriver> sql_ = std::make_shared<LoggingSqlDriver>();
  std::shared_ptr<LoggingLocalDriver> local_ = std::make_shared<LoggingLocalDriver>();
  int exitCode_ = -1;
  bool migrated_ = false;  // what the last Migrate's MigrateStructures answered
};

}  // namespace testsupport::migration
