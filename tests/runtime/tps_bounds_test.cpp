// The local-file driver at the edges of what a field holds: each whole-number
// kind takes its lowest and highest value and refuses one past either; a NUL
// inside a text is refused wherever it stands; the table's column names are
// matched in any letter case.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"

namespace rt {
namespace {

namespace fs = std::filesystem;

// UNICO LONG (the key), CHICO BYTE, CORTO SHORT, SINSIGNO USHORT, LARGO LONG,
// ENORME ULONG, TEXTO CSTRING(6).
constexpr const char* kColumns[] = {"UNICO", "CHICO", "CORTO", "SINSIGNO", "LARGO", "ENORME", "TEXTO"};

FileDecl EdgesDecl(const std::string& name) {
  auto field = [](FieldType t, const char* column, uint32_t size = 0) {
    FieldSpec f;
    f.type = t;
    f.label = std::string("E:") + column;
    f.size = size;
    return f;
  };
  FileDecl d;
  d.label = "EDGES";
  d.driver = "TOPSPEED";
  d.tableName = name;
  d.record = std::make_shared<TypeRecord>(TypeRecord::Encode(
      {field(FieldType::Long, "UNICO"), field(FieldType::Byte, "CHICO"), field(FieldType::Short, "CORTO"),
       field(FieldType::UShort, "SINSIGNO"), field(FieldType::Long, "LARGO"), field(FieldType::ULong, "ENORME"),
       field(FieldType::CString, "TEXTO", 6)}));
  d.keys = {KeyDescriptor{"", "E:KEY_UNICO", kKeyPrimary, {1}, nullptr}};
  return d;
}

class LocalFileEdges : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSqliteFileDriver();
    dir_ = fs::temp_directory_path() / ("ortavia-tps-edges-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A file EDGES holding one record, UNICO 1 and the columns set as given
  // ("COLUMN = sql value, ..."), its columns named as given; opened, the
  // record read (its answer).
  int ReadOne(const std::vector<std::string>& columns, const std::string& set) {
    file_.reset();
    const fs::path path = dir_ / "EDGES.TPS";
    fs::remove(path);
    std::string sql = "CREATE TABLE EDGES (";
    for (size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + columns[i];
    sql += "); INSERT INTO EDGES (UNICO) VALUES (1);";
    if (!set.empty()) sql += "UPDATE EDGES SET " + set + ";";
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);

    decl_ = std::make_unique<FileDecl>(EdgesDecl((dir_ / "EDGES").string()));
    file_ = std::make_unique<FileBlock>(*decl_);
    OPEN(*file_);
    if (LastErrorCode() != kNoError) return LastErrorCode();
    NEXT(*file_);
    return LastErrorCode();
  }
  std::vector<std::string> DeclaredColumns() const { return {std::begin(kColumns), std::end(kColumns)}; }
  // The bytes of a field of the record read.
  const uint8_t* Field(const std::string& column) const {
    const TypeRecord& rec = *decl_->record;
    return file_->buffer() + rec.entry(rec.FindLabel("E:" + column)).offset;
  }

  fs::path dir_;
  std::unique_ptr<FileDecl> decl_;
  std::unique_ptr<FileBlock> file_;
};

// The field's value read back as its kind.
int64_t Stored(FieldType type, const uint8_t* p) {
  switch (type) {
    case FieldType::Byte: return *p;
    case FieldType::Short: { int16_t v; std::memcpy(&v, p, 2); return v; }
    case FieldType::UShort: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case FieldType::Long: { int32_t v; std::memcpy(&v, p, 4); return v; }
    default: { uint32_t v; std::memcpy(&v, p, 4); return v; }
  }
}

TEST_F(LocalFileEdges, EachWholeNumberKindHoldsItsRangeAndNothingPast) {
  struct Kind {
    const char* column;
    FieldType type;
    int64_t low, high;
  };
  const Kind kinds[] = {
      {"CHICO", FieldType::Byte, 0, 255},
      {"CORTO", FieldType::Short, -32768, 32767},
      {"SINSIGNO", FieldType::UShort, 0, 65535},
      {"LARGO", FieldType::Long, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
      {"ENORME", FieldType::ULong, 0, std::numeric_limits<uint32_t>::max()},
  };
  for (const Kind& k : kinds) {
    // Just outside, at and just inside each end.
    const struct {
      int64_t value;
      bool held;
    } values[] = {{k.low - 1, false}, {k.low, true},  {k.low + 1, true},
                  {k.high - 1, true}, {k.high, true}, {k.high + 1, false}};
    for (const auto& v : values) {
      const std::string value = std::to_string(v.value);
      SCOPED_TRACE(std::string(k.column) + " " + value);
      const int read = ReadOne(DeclaredColumns(), std::string(k.column) + " = " + value);
      if (v.held) {
        ASSERT_EQ(read, kNoError) << LastFileErrorText();
        EXPECT_EQ(Stored(k.type, Field(k.column)), v.value);
      } else {
        EXPECT_EQ(read, kFileSystemError);
        EXPECT_EQ(LastFileErrorText(), "Record UNICO 1, column " + std::string(k.column) + ": " + value +
                                           " is outside the field's range (" + std::to_string(k.low) + " to " +
                                           std::to_string(k.high) + ").");
      }
    }
  }
}

TEST_F(LocalFileEdges, ANulInsideATextIsRefusedWhereverItStands) {
  struct Case {
    const char* hex;   // the UTF-8 bytes stored
    std::string text;  // as the record or the message holds them
    bool held;
  };
  const Case cases[] = {
      {"616263", "abc", true},
      {"006263", std::string("\0bc", 3), false},
      {"610063", std::string("a\0c", 3), false},
      {"616200", std::string("ab\0", 3), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    const int read = ReadOne(DeclaredColumns(), std::string("TEXTO = CAST(X'") + c.hex + "' AS TEXT)");
    if (c.held) {
      ASSERT_EQ(read, kNoError) << LastFileErrorText();
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(Field("TEXTO"))), c.text);
    } else {
      EXPECT_EQ(read, kFileSystemError);
      EXPECT_EQ(LastFileErrorText(), "Record UNICO 1, column TEXTO: \"" + c.text + "\" holds a NUL character.");
    }
  }
}

TEST_F(LocalFileEdges, ColumnNamesMatchInAnyLetterCase) {
  struct Case {
    const char* name;
    std::vector<std::string> columns;
  };
  const Case cases[] = {
      {"as declared", DeclaredColumns()},
      {"lower case", {"unico", "chico", "corto", "sinsigno", "largo", "enorme", "texto"}},
      {"mixed case", {"Unico", "cHICO", "Corto", "SinSigno", "largO", "Enorme", "TeXtO"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A value in every column, each found under the name the file writes it.
    const std::vector<std::string>& n = c.columns;
    ASSERT_EQ(ReadOne(n, n[1] + " = 200, " + n[2] + " = -300, " + n[3] + " = 60000, " + n[4] + " = -7, " + n[5] +
                             " = 4000000000, " + n[6] + " = 'uno'"),
              kNoError)
        << LastFileErrorText();
    EXPECT_EQ(Stored(FieldType::Long, Field("UNICO")), 1);
    EXPECT_EQ(Stored(FieldType::Byte, Field("CHICO")), 200);
    EXPECT_EQ(Stored(FieldType::Short, Field("CORTO")), -300);
    EXPECT_EQ(Stored(FieldType::UShort, Field("SINSIGNO")), 60000);
    EXPECT_EQ(Stored(FieldType::Long, Field("LARGO")), -7);
    EXPECT_EQ(Stored(FieldType::ULong, Field("ENORME")), 4000000000);
    EXPECT_STREQ(reinterpret_cast<const char*>(Field("TEXTO")), "uno");
    CLOSE(*file_);
  }
}

}  // namespace
}  // namespace rt
