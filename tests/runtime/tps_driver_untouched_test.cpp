// The local-file driver never changes a file: one a writer left a journal or a
// write-ahead log beside is not read and stays as it is, one kept in
// write-ahead-log mode is read without making its log files; and records
// equal in a key keep the file's order whatever its columns are named.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"
#include "support/sqlite_files.h"

namespace rt {
namespace {

namespace fs = std::filesystem;
using testsupport::ExecSql;
using testsupport::Field;
using testsupport::FolderBytes;

// UNICO LONG; NOMBRE CSTRING(6), read by NOMBRE, a key that allows duplicates.
FileDecl Decl(const std::string& path) {
  FileDecl d;
  d.label = "LOC";
  d.driver = "TOPSPEED";
  d.tableName = path;
  d.record = std::make_shared<TypeRecord>(
      TypeRecord::Encode({Field(FieldType::Long, "L:UNICO"), Field(FieldType::CString, "L:NOMBRE", 6)}));
  d.keys = {KeyDescriptor{"", "L:KEY_UNICO", kKeyPrimary, {1}, nullptr},
            KeyDescriptor{"", "L:KEY_NOMBRE", kKeyDup, {2}, nullptr}};
  return d;
}

class UntouchedLocalFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSqliteFileDriver();
    dir_ = fs::temp_directory_path() / ("ortavia-tps-untouched-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    files_.clear();
    fs::remove_all(dir_);
  }
  FileBlock& Instance(const std::string& name) {
    decls_.push_back(std::make_unique<FileDecl>(Decl((dir_ / name).string())));
    files_.push_back(std::make_unique<FileBlock>(*decls_.back()));
    return *files_.back();
  }
  // The UNICO of each record by NOMBRE's order.
  std::vector<int32_t> ByName(FileBlock& f) {
    SETkey(f.keys()[1]);
    std::vector<int32_t> out;
    for (NEXT(f); LastErrorCode() == 0; NEXT(f)) {
      int32_t unico;
      std::memcpy(&unico, f.buffer(), 4);
      out.push_back(unico);
    }
    EXPECT_EQ(LastErrorCode(), kRecordNotAvailable) << LastFileErrorText();
    return out;
  }

  fs::path dir_;
  std::vector<std::unique_ptr<FileDecl>> decls_;
  std::vector<std::unique_ptr<FileBlock>> files_;
};

// A writer of the file stops in the middle of a transaction: in rollback mode
// its journal is left beside the file (a hot journal), in write-ahead-log
// mode its log.
void WriterStopsMidway(const fs::path& path, bool writeAheadLog) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, writeAheadLog ? "PRAGMA journal_mode=WAL" : "PRAGMA cache_size=1", nullptr, nullptr, nullptr);
    sqlite3_exec(db,
                 "BEGIN; INSERT INTO T (UNICO, NOMBRE) WITH RECURSIVE n(x) AS (SELECT 10 UNION ALL SELECT x + 1 FROM n"
                 " WHERE x < 2000) SELECT x, hex(randomblob(100)) FROM n;",
                 nullptr, nullptr, nullptr);
    if (writeAheadLog) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    ::_exit(0);  // no rollback, no close
  }
  int status = 0;
  ::waitpid(child, &status, 0);
}

TEST_F(UntouchedLocalFiles, AFileAWriterLeftUnfinishedIsNotReadAndStaysAsItIs) {
  for (const bool writeAheadLog : {false, true}) {
    SCOPED_TRACE(writeAheadLog ? "a write-ahead log" : "a hot journal");
    const fs::path path = dir_ / "T.TPS";
    for (const auto& e : fs::directory_iterator(dir_)) fs::remove(e.path());
    ExecSql(path, "CREATE TABLE T (UNICO INTEGER, NOMBRE TEXT); INSERT INTO T VALUES (1, 'a');");
    WriterStopsMidway(path, writeAheadLog);
    const std::map<std::string, std::string> before = FolderBytes(dir_);
    ASSERT_EQ(before.count(writeAheadLog ? "T.TPS-wal" : "T.TPS-journal"), 1u);
    FileBlock& f = Instance("T");
    OPEN(f, kAccessReadWriteDenyWrite);
    EXPECT_EQ(LastErrorCode(), kAccessDenied);
    EXPECT_EQ(LastFileErrorText(), "Another process is writing the file.");
    EXPECT_FALSE(f.opened);
    CLOSE(f);
    EXPECT_EQ(FolderBytes(dir_), before);
  }
}

TEST_F(UntouchedLocalFiles, AFileInWriteAheadLogModeIsReadWithoutMakingItsLog) {
  const fs::path path = dir_ / "T.TPS";
  ExecSql(path, "PRAGMA journal_mode=WAL; CREATE TABLE T (UNICO INTEGER, NOMBRE TEXT); INSERT INTO T VALUES (2, 'b'),"
            " (1, 'a');");
  const std::map<std::string, std::string> before = FolderBytes(dir_);
  ASSERT_EQ(before.size(), 1u);
  FileBlock& f = Instance("T");
  OPEN(f, kAccessReadWriteDenyWrite);
  ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
  EXPECT_EQ(ByName(f), (std::vector<int32_t>{1, 2}));
  CLOSE(f);
  EXPECT_EQ(FolderBytes(dir_), before);
}

// Records 1 to 3 share a name and lie in the file in that order; a column may
// take a name SQLite also gives the file's order.
TEST_F(UntouchedLocalFiles, RecordsEqualInTheKeyKeepTheFilesOrderWhateverItsColumnsAreNamed) {
  struct Case {
    const char* name;
    const char* columns;  // beyond UNICO and NOMBRE
    const char* values;   // for records 1, 2, 3
    const char* refused;  // the reason, or null when read
  };
  const Case cases[] = {
      {"no such column", "", "", nullptr},
      {"a column rowid", ", rowid INTEGER", ", 30|, 20|, 10", nullptr},
      {"columns rowid and _rowid_", ", rowid INTEGER, _rowid_ INTEGER", ", 30, 3|, 20, 2|, 10, 1", nullptr},
      {"columns ROWID, _ROWID_ and OID", ", ROWID INTEGER, _ROWID_ INTEGER, OID INTEGER",
       ", 30, 3, 9|, 20, 2, 8|, 10, 1, 7",
       "Its table T has columns named rowid, _rowid_ and oid, which hide the order of its records."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_ / "T.TPS");
    std::string values = c.values, inserts;
    for (int unico = 1; unico <= 3; ++unico) {
      const size_t bar = values.find('|');
      inserts += (unico == 1 ? "" : ", ") + std::string("(") + std::to_string(unico) + ", 'x'" + values.substr(0, bar) +
                 ")";
      values = bar == std::string::npos ? "" : values.substr(bar + 1);
    }
    ExecSql(dir_ / "T.TPS", std::string("CREATE TABLE T (UNICO INTEGER, NOMBRE TEXT") + c.columns + "); INSERT INTO T VALUES " +
                            inserts + ";");
    FileBlock& f = Instance("T");
    OPEN(f);
    if (c.refused) {
      EXPECT_EQ(LastErrorCode(), kInvalidRecordDeclaration);
      EXPECT_EQ(LastFileErrorText(), c.refused);
      continue;
    }
    ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
    EXPECT_EQ(ByName(f), (std::vector<int32_t>{1, 2, 3}));
    CLOSE(f);
  }
}

TEST_F(UntouchedLocalFiles, ATableWithoutRowidsIsRefusedInWords) {
  ExecSql(dir_ / "T.TPS", "CREATE TABLE T (UNICO INTEGER PRIMARY KEY, NOMBRE TEXT) WITHOUT ROWID;"
                      " INSERT INTO T VALUES (1, 'a');");
  FileBlock& f = Instance("T");
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kInvalidRecordDeclaration);
  EXPECT_EQ(LastFileErrorText(),
            "Its table T keeps no order of its records (a WITHOUT ROWID table or a view): copy them into an ordinary "
            "table.");
  EXPECT_FALSE(f.opened);
}

}  // namespace
}  // namespace rt
