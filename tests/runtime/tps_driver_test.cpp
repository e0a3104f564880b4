// The local-file driver on real SQLite files: key order, stored dates and times
// read as they are, the name found in any letter case, and the files it refuses
// to open (missing, not a database, columns that do not fit, written elsewhere),
// each left as it was.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "runtime/base/datetime.h"
#include "runtime/files/disk_files.h"
#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"
#include "support/sqlite_files.h"

namespace rt {
namespace {

namespace fs = std::filesystem;
using testsupport::ExecSql;
using testsupport::Field;

// UNICO LONG; NOMBRE CSTRING(6); TASA REAL; FECHA date pair; HORA TIME.
FileDecl LocalDecl(const std::string& name) {
  FileDecl d;
  d.label = "LOC";
  d.driver = "TOPSPEED";
  d.tableName = name;
  FieldSpec group = Field(FieldType::Group, "L:FECHA_SQLDATEGROUP");
  group.adjust = -8;
  group.members = {Field(FieldType::Date, "L:FECHA"), Field(FieldType::Time, "L:FECHA_SQLDATETIMEFIELD")};
  d.record = std::make_shared<TypeRecord>(TypeRecord::Encode({
      Field(FieldType::Long, "L:UNICO"), Field(FieldType::CString, "L:NOMBRE", 6), Field(FieldType::Real, "L:TASA"),
      Field(FieldType::String, "L:FECHA_SQLDATEHANDLE", 8), group, Field(FieldType::Time, "L:HORA")}));
  d.keys = {KeyDescriptor{"", "L:KEY_UNICO", kKeyPrimary, {1}, nullptr},
            KeyDescriptor{"", "L:KEY_NOMBRE", kKeyDup | kKeyNoCase, {2, -1}, nullptr},
            KeyDescriptor{"", "L:KEY_FECHA", kKeyDup, {6, -8}, nullptr},
            KeyDescriptor{"", "L:KEY_DIA", kKeyDup, {6}, nullptr},
            KeyDescriptor{"", "L:KEY_HORA", kKeyDup, {8}, nullptr}};
  return d;
}

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const char* kCreate =
    "CREATE TABLE %s (UNICO INTEGER, NOMBRE TEXT, TASA REAL, FECHA TEXT, FECHA_SQLDATETIMEFIELD TEXT, HORA TEXT);";

std::string CreateTable(const std::string& table) {
  char buf[256];
  std::snprintf(buf, sizeof buf, kCreate, table.c_str());
  return buf;
}

class LocalFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSqliteFileDriver();
    dir_ = fs::temp_directory_path() / ("ortavia-tps-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    files_.clear();
    fs::remove_all(dir_);
  }
  FileBlock& Instance(const std::string& name) {
    decls_.push_back(std::make_unique<FileDecl>(LocalDecl((dir_ / name).string())));
    files_.push_back(std::make_unique<FileBlock>(*decls_.back()));
    return *files_.back();
  }
  // Reads the whole sequence of a key; each record as "UNICO NOMBRE".
  std::vector<std::string> ReadAll(FileBlock& f, int key) {
    SETkey(f.keys()[key]);
    EXPECT_EQ(LastErrorCode(), 0);
    std::vector<std::string> out;
    for (NEXT(f); LastErrorCode() == 0; NEXT(f)) {
      int32_t unico;
      std::memcpy(&unico, f.buffer(), 4);
      out.push_back(std::to_string(unico) + " " + reinterpret_cast<const char*>(f.buffer() + 4));
    }
    EXPECT_EQ(LastErrorCode(), kRecordNotAvailable);
    return out;
  }

  fs::path dir_;
  std::vector<std::unique_ptr<FileDecl>> decls_;
  std::vector<std::unique_ptr<FileBlock>> files_;
};

TEST_F(LocalFiles, NextFollowsTheKeyWithItsDirectionsAndCase) {
  ExecSql(dir_ / "ORDEN.TPS", CreateTable("ORDEN") +
                              "INSERT INTO ORDEN (UNICO, NOMBRE, FECHA, HORA) VALUES"
                              " (3, 'beta', '2015-01-02', '08:00:00.00'), (1, 'Beta', '2014-12-31', '09:00:00.00'),"
                              " (2, 'ALFA', '2015-01-02', '10:30:00.00'), (10, 'alfa', NULL, NULL);");
  FileBlock& f = Instance("ORDEN");
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();

  EXPECT_EQ(ReadAll(f, 0), (std::vector<std::string>{"1 Beta", "2 ALFA", "3 beta", "10 alfa"}));
  // NOMBRE without regard to case, then UNICO descending.
  EXPECT_EQ(ReadAll(f, 1), (std::vector<std::string>{"10 alfa", "2 ALFA", "3 beta", "1 Beta"}));
  // FECHA by year, month and day (the empty date first), then HORA descending.
  EXPECT_EQ(ReadAll(f, 2), (std::vector<std::string>{"10 alfa", "1 Beta", "2 ALFA", "3 beta"}));
  CLOSE(f);
  EXPECT_EQ(LastErrorCode(), 0);
  NEXT(f);
  EXPECT_EQ(LastErrorCode(), kFileNotOpen);
}

TEST_F(LocalFiles, StoredDatesAndTimesArriveAsStored) {
  struct Case {
    const char* date;
    const char* time;
    DateStorage wantDate;
    TimeStorage wantTime;
  };
  const Case cases[] = {
      {"2015-02-30", "24:00:00.00", {30, 2, 2015}, {0, 0, 0, 24}},
      {"2015-13-05", "23:59:59.99", {5, 13, 2015}, {99, 59, 59, 23}},
      {"2015-03-00", "7:05:09.5", {0, 3, 2015}, {50, 9, 5, 7}},
      {"10000-01-01", "12:00:00", {1, 1, 10000}, {0, 0, 0, 12}},
      {"", "", {}, {}},
      {nullptr, nullptr, {}, {}},
  };
  std::string sql = CreateTable("VALORES");
  int n = 0;
  for (const Case& c : cases) {
    auto text = [](const char* v) { return v ? "'" + std::string(v) + "'" : std::string("NULL"); };
    sql += "INSERT INTO VALORES (UNICO, NOMBRE, TASA, FECHA, HORA) VALUES (" + std::to_string(++n) +
           ", 'abcde', 2.5, " + text(c.date) + ", " + text(c.time) + ");";
  }
  ExecSql(dir_ / "VALORES.TPS", sql);
  FileBlock& f = Instance("VALORES");
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
  SETkey(f.keys()[0]);
  const TypeRecord& rec = *f.decl().record;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date ? c.date : "NULL");
    NEXT(f);
    ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
    EXPECT_EQ(DateStorage::Load(f.buffer() + rec.entry(rec.FindLabel("L:FECHA")).offset), c.wantDate);
    EXPECT_EQ(TimeStorage::Load(f.buffer() + rec.entry(rec.FindLabel("L:HORA")).offset), c.wantTime);
    EXPECT_STREQ(reinterpret_cast<const char*>(f.buffer() + 4), "abcde");
    double tasa;
    std::memcpy(&tasa, f.buffer() + 10, 8);
    EXPECT_EQ(tasa, 2.5);
  }
  NEXT(f);
  EXPECT_EQ(LastErrorCode(), kRecordNotAvailable);
  CLOSE(f);

}

// Each value arrives in its field exactly, or the record stops the sequence
// with a text naming the record by its key, the column and the value.
TEST_F(LocalFiles, AValueItsFieldCannotHoldExactlyStopsTheSequence) {
  struct Case {
    const char* column;
    const char* value;  // SQL literal
    const char* error;  // "" when the value is held
  };
  const Case cases[] = {
      {"NOMBRE", "'\u00C1vila'", ""},
      {"NOMBRE", "'5 \u20AC'", ""},
      {"NOMBRE", "'\u00FF\u00FF\u00FF\u00FF\u00FF'", ""},
      {"NOMBRE", "'\u0416uk'", "\"?uk\" holds a character that Windows-1252 cannot hold (U+0416)."},
      {"NOMBRE", "'abcdef'", "\"abcdef\" has 6 characters, more than the field's 5."},
      {"NOMBRE", "CAST(X'C3' AS TEXT)", "\"?\" is not UTF-8 text."},
      {"NOMBRE", "X'41'", "binary data of 1 bytes is binary data, not text."},
      {"UNICO", "4294967297", "4294967297 is outside the field's range (-2147483648 to 2147483647)."},
      {"UNICO", "-2147483648", ""},
      {"UNICO", "'abc'", "\"abc\" is not a whole number."},
      {"UNICO", "'4x'", "\"4x\" is not a whole number."},
      {"UNICO", "7.5", "7.5 is not a whole number."},
      {"UNICO", "'12'", ""},
      {"UNICO", "''", ""},
      {"TASA", "'abc'", "\"abc\" is text in a number column."},
      {"TASA", "9e999", "Inf is not a finite number."},
      {"TASA", "'2.25'", ""},
      {"FECHA", "'abc'", "\"abc\" is not a date written year-month-day."},
      {"FECHA", "'2015-02-300'", "\"2015-02-300\" is not a date written year-month-day."},
      {"FECHA", "CAST(20150230 AS INTEGER)", "\"20150230\" is not a date written year-month-day."},
      {"HORA", "'7:5'", "\"7:5\" is not a time written hours:minutes:seconds.hundredths."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " " + c.value);
    const fs::path path = dir_ / "VALOR.TPS";
    fs::remove(path);
    ExecSql(path, CreateTable("VALOR") + "INSERT INTO VALOR (UNICO, NOMBRE) VALUES (1, 'uno');" +
                  "INSERT INTO VALOR (UNICO, NOMBRE) VALUES (7, 'siete'); UPDATE VALOR SET " + c.column + " = " +
                  c.value + " WHERE rowid = 2;");
    FileBlock& f = Instance("VALOR");
    OPEN(f);
    ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
    NEXT(f);
    ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
    NEXT(f);
    if (*c.error) {
      EXPECT_EQ(LastErrorCode(), kFileSystemError);
      const std::string unico = std::string(c.column) == "UNICO" ? c.value[0] == '\'' ? "\"" + std::string(c.value + 1, std::strlen(c.value) - 2) + "\"" : c.value : "7";
      EXPECT_EQ(LastFileErrorText(), "Record UNICO " + unico + ", column " + c.column + ": " + c.error);
      NEXT(f);
      EXPECT_EQ(LastErrorCode(), kRecordNotAvailable);
    } else {
      EXPECT_EQ(LastErrorCode(), 0) << LastFileErrorText();
    }
    CLOSE(f);
  }
  // What is held arrives in the code page, numbers as written.
  const fs::path path = dir_ / "TEXTOS.TPS";
  ExecSql(path, CreateTable("TEXTOS") + "INSERT INTO TEXTOS (UNICO, NOMBRE, TASA, FECHA) VALUES ('12', '\u00C1vila', '2.25', '');");
  FileBlock& f = Instance("TEXTOS");
  const TypeRecord& rec = *f.decl().record;
  OPEN(f);
  NEXT(f);
  ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
  int32_t unico;
  std::memcpy(&unico, f.buffer(), 4);
  double tasa;
  std::memcpy(&tasa, f.buffer() + rec.entry(rec.FindLabel("L:TASA")).offset, 8);
  EXPECT_EQ(unico, 12);
  EXPECT_STREQ(reinterpret_cast<const char*>(f.buffer() + 4), "\xC1vila");
  EXPECT_EQ(tasa, 2.25);
  CLOSE(f);
}

// A date orders by year, month and day, a time by hours, minutes, seconds and
// hundredths (".5" being 50); the empty value first; equal values in the file's order.
TEST_F(LocalFiles, DatesAndTimesFollowTheirNumbersFromTheLargestUnit) {
  ExecSql(dir_ / "TIEMPO.TPS", CreateTable("TIEMPO") +
                               "INSERT INTO TIEMPO (UNICO, FECHA, HORA) VALUES"
                               " (1, '2015-02-01', '10:00:00.5'), (2, '2015-01-31', '09:00:00.90'),"
                               " (3, '2015-1-5', '10:00:00.25'), (4, NULL, ''), (5, '', NULL),"
                               " (6, '2015-02-01', '9:59:59.99'), (7, '2014-12-31', '23:00:01');");
  FileBlock& f = Instance("TIEMPO");
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
  EXPECT_EQ(ReadAll(f, 3), (std::vector<std::string>{"4 ", "5 ", "7 ", "3 ", "2 ", "1 ", "6 "}));
  EXPECT_EQ(ReadAll(f, 4), (std::vector<std::string>{"4 ", "5 ", "2 ", "6 ", "3 ", "1 ", "7 "}));
  CLOSE(f);
}

TEST_F(LocalFiles, TheNameIsFoundInAnyLetterCase) {
  ExecSql(dir_ / "xrefereextcove.tps", CreateTable("XRefereExtCove") + "INSERT INTO XRefereExtCove (UNICO) VALUES (7);");
  FileBlock& f = Instance("XRefereExtCove");
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
  EXPECT_EQ(ReadAll(f, 0), std::vector<std::string>{"7 "});
  CLOSE(f);

  fs::rename(dir_ / "xrefereextcove.tps", dir_ / "XRefereExtCove.TPS");
  RemoveFileByName((dir_ / "XRefereExtCove.tps").string());
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_FALSE(fs::exists(dir_ / "XRefereExtCove.TPS"));
}

TEST_F(LocalFiles, FilesThatCannotBeReadFailOpenAndStayAsTheyWere) {
  std::ofstream(dir_ / "TEXTO.TPS") << "UNICO,NOMBRE\n1,uno\n";
  ExecSql(dir_ / "COLUMNAS.TPS", "CREATE TABLE COLUMNAS (UNICO INTEGER, NOMBRE TEXT, TASA REAL, FECHA TEXT, HORA TEXT);");
  ExecSql(dir_ / "OTRA.TPS", CreateTable("DISTINTA"));
  struct Case {
    const char* name;
    int code;
    const char* text;
  };
  const Case cases[] = {
      {"FALTA", kFileNotFound, "The file does not exist."},
      {"TEXTO", kFileSystemError, "The file is not an SQLite database."},
      {"COLUMNAS", kInvalidRecordDeclaration, "Its table COLUMNAS has no column FECHA_SQLDATETIMEFIELD."},
      {"OTRA", kInvalidRecordDeclaration, "It holds no table OTRA."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir_ / (std::string(c.name) + ".TPS");
    const std::string before = fs::exists(path) ? Bytes(path) : "";
    FileBlock& f = Instance(c.name);
    OPEN(f);
    EXPECT_EQ(LastErrorCode(), c.code);
    EXPECT_EQ(LastFileErrorText(), c.text);
    EXPECT_EQ(GET_PROPERTY(f, FilePropName), path.string());
    EXPECT_FALSE(f.opened);
    EXPECT_EQ(fs::exists(path) ? Bytes(path) : "", before);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
}

TEST_F(LocalFiles, WhileOpenOthersMayReadButNotWrite) {
  const fs::path path = dir_ / "TOMADO.TPS";
  ExecSql(path, CreateTable("TOMADO") + "INSERT INTO TOMADO (UNICO) VALUES (1);");
  const std::string shell = "sqlite3 " + path.string() + " ";
  FileBlock& f = Instance("TOMADO");
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), 0) << LastFileErrorText();
  EXPECT_EQ(std::system((shell + "'SELECT count(*) FROM TOMADO' >/dev/null").c_str()), 0);
  EXPECT_NE(std::system((shell + "'INSERT INTO TOMADO (UNICO) VALUES (2)' 2>/dev/null").c_str()), 0);
  CLOSE(f);
  EXPECT_EQ(std::system((shell + "'INSERT INTO TOMADO (UNICO) VALUES (2)'").c_str()), 0);

  // A process in the middle of writing it: OPEN is refused until it is done.
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "BEGIN IMMEDIATE; INSERT INTO TOMADO (UNICO) VALUES (3);", nullptr, nullptr, nullptr);
    char c = 1;
    (void)!::write(ready[1], &c, 1);
    (void)!::read(done[0], &c, 1);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kAccessDenied);
  EXPECT_EQ(LastFileErrorText(), "Another process is writing the file.");
  EXPECT_FALSE(f.opened);
  (void)!::write(done[1], &c, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(ReadAll(f, 0), (std::vector<std::string>{"1 ", "2 "}));
  CLOSE(f);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}

}  // namespace
}  // namespace rt
