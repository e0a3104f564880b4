// The SQL driver through the real ODBC driver manager: SQLite always,
// PostgreSQL when the test script started a server (ORTAVIA_PG_PORT).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "runtime/files/files.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "sql/sql_fixtures.h"

using namespace rt;
using namespace testsupport;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Restores ORTAVIA_SQL_DRIVER after a test.
class DriverPrefix {
 public:
  explicit DriverPrefix(const std::string& value) : old_(Env("ORTAVIA_SQL_DRIVER")) {
    setenv("ORTAVIA_SQL_DRIVER", value.c_str(), 1);
  }
  ~DriverPrefix() { setenv("ORTAVIA_SQL_DRIVER", old_.c_str(), 1); }

 private:
  std::string old_;
};

std::string Sql(FileBlock& f) { return GET_PROPERTY(f, FilePropSql); }

void PutDate(FileBlock& f, const char* label, int day, int month, int year) {
  int n = f.decl().record->FindLabel(label);
  uint8_t* p = f.buffer() + f.decl().record->entry(n).offset;
  p[0] = static_cast<uint8_t>(day);
  p[1] = static_cast<uint8_t>(month);
  p[2] = static_cast<uint8_t>(year & 0xFF);
  p[3] = static_cast<uint8_t>(year >> 8);
}
void PutTime(FileBlock& f, const char* label, int h, int m, int s, int hs) {
  int n = f.decl().record->FindLabel(label);
  uint8_t* p = f.buffer() + f.decl().record->entry(n).offset;
  p[0] = static_cast<uint8_t>(hs);
  p[1] = static_cast<uint8_t>(s);
  p[2] = static_cast<uint8_t>(m);
  p[3] = static_cast<uint8_t>(h);
}
uint8_t* At(FileBlock& f, const char* label) {
  return f.buffer() + f.decl().record->entry(f.decl().record->FindLabel(label)).offset;
}
void PutLong(FileBlock& f, const char* label, int32_t v) { std::memcpy(At(f, label), &v, 4); }
int32_t GetLong(FileBlock& f, const char* label) {
  int32_t v;
  std::memcpy(&v, At(f, label), 4);
  return v;
}
void PutText(FileBlock& f, const char* label, const std::string& s) {
  int n = f.decl().record->FindLabel(label);
  const TypeEntry& e = f.decl().record->entry(n);
  uint8_t* p = f.buffer() + e.offset;
  std::memset(p, e.type == FieldType::String ? ' ' : 0, e.size);
  std::memcpy(p, s.data(), std::min<size_t>(s.size(), e.type == FieldType::String ? e.size : e.size - 1));
}
std::string GetText(FileBlock& f, const char* label) {
  int n = f.decl().record->FindLabel(label);
  const TypeEntry& e = f.decl().record->entry(n);
  const char* p = reinterpret_cast<const char*>(f.buffer() + e.offset);
  return e.type == FieldType::String ? std::string(p, e.size) : std::string(p, strnlen(p, e.size));
}

// A small table with a text handle, a date-time set, a blob and three keys.
TableBuilder Sample() {
  TableBuilder t("SMP");
  t.Long("UNICO").CStr("NOMBRE", 11).Str("CLAVE", 4).Byte("NIVEL").Real("MONTO").DatePair("FECHA");
  t.Key("KEY_UNICO", kPrimaryOpt, {"UNICO"})
      .Key("KEY_NOMBRE", kDupOpt, {"NOMBRE", "-FECHA"})
      .Key("KEY_CLAVE", rt::kKeyOpt, {"CLAVE"})
      .Blob("FOTO");
  return t;
}

class OdbcBackend : public ::testing::Test {
 protected:
  void SetUp() override { RegisterSqlDriver(); }

  // Runs the record operations on a fresh sample table of the owner.
  void RecordOperations(const std::string& owner) {
    auto decl = Sample().Decl("Muestra", owner);
    FileBlock f(*decl);
    SET_PROPERTY(f, FilePropSql, "DROP TABLE Muestra");
    OPEN(f);
    ASSERT_EQ(LastErrorCode(), kFileNotFound) << LastFileErrorText();
    CREATE(f);
    ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage() << " / " << Sql(f);
    OPEN(f);
    ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();

    struct Row { int unico; const char* nombre; const char* clave; int day; };
    for (Row r : {Row{3, "beta", "C3", 5}, Row{1, "alfa", "C1", 7}, Row{2, "alfa", "C2", 9}}) {
      f.ClearRecord();
      PutLong(f, "SMP:UNICO", r.unico);
      PutText(f, "SMP:NOMBRE", r.nombre);
      PutText(f, "SMP:CLAVE", r.clave);
      At(f, "SMP:NIVEL")[0] = 200;
      double monto = r.unico * 1.25;
      std::memcpy(At(f, "SMP:MONTO"), &monto, 8);
      PutDate(f, "SMP:FECHA", r.day, 3, 2015);
      PutTime(f, "SMP:FECHA_SQLDATETIMEFIELD", 10, 20, 30, 0);
      f.blobData().assign(1, std::vector<uint8_t>{0, 1, 2, 0xFF, static_cast<uint8_t>(r.unico)});
      ADD(f);
      ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage() << " / " << Sql(f);
    }
    // Values travel as parameters: quotes in the data are data.
    ADD(f);
    EXPECT_EQ(LastErrorCode(), kCreatesDuplicateKey) << ErrorTextForMessage();

    // Ascending by the primary key.
    SETkey(f.keys()[0]);
    std::vector<int> order;
    while (true) {
      NEXT(f);
      if (LastErrorCode()) break;
      order.push_back(GetLong(f, "SMP:UNICO"));
    }
    EXPECT_EQ(LastErrorCode(), kRecordNotAvailable) << ErrorTextForMessage();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

    // NOMBRE ascending, FECHA descending.
    SETkey(f.keys()[1]);
    order.clear();
    for (NEXT(f); LastErrorCode() == 0; NEXT(f)) order.push_back(GetLong(f, "SMP:UNICO"));
    EXPECT_EQ(order, (std::vector<int>{2, 1, 3}));

    // GET by the unique key brings back every column.
    f.ClearRecord();
    f.blobData().clear();
    PutText(f, "SMP:CLAVE", "C2");
    GET(f, f.keys()[2]);
    ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage() << " / " << Sql(f);
    EXPECT_EQ(GetLong(f, "SMP:UNICO"), 2);
    EXPECT_EQ(GetText(f, "SMP:NOMBRE"), "alfa");
    EXPECT_EQ(GetText(f, "SMP:CLAVE"), "C2  ");
    EXPECT_EQ(At(f, "SMP:NIVEL")[0], 200);
    double monto = 0;
    std::memcpy(&monto, At(f, "SMP:MONTO"), 8);
    EXPECT_EQ(monto, 2.5);
    const uint8_t wantStamp[8] = {9, 3, 2015 & 0xFF, 2015 >> 8, 0, 30, 20, 10};
    EXPECT_EQ(std::memcmp(At(f, "SMP:FECHA_SQLDATEHANDLE"), wantStamp, 8), 0);
    ASSERT_EQ(f.blobData().size(), 1u);
    EXPECT_EQ(f.blobData()[0], (std::vector<uint8_t>{0, 1, 2, 0xFF, 2}));

    // PUT rewrites the record read, found by its primary key.
    PutText(f, "SMP:NOMBRE", "it's; --");
    PutDate(f, "SMP:FECHA", 0, 0, 0);
    PutTime(f, "SMP:FECHA_SQLDATETIMEFIELD", 0, 0, 0, 0);
    PUT(f);
    ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage() << " / " << Sql(f);
    f.ClearRecord();
    PutLong(f, "SMP:UNICO", 2);
    GET(f, f.keys()[0]);
    ASSERT_EQ(LastErrorCode(), kNoError);
    EXPECT_EQ(GetText(f, "SMP:NOMBRE"), "it's; --");
    const uint8_t empty[8] = {};
    EXPECT_EQ(std::memcmp(At(f, "SMP:FECHA_SQLDATEHANDLE"), empty, 8), 0);  // empty date-time: NULL

    // A change that collides with another row's unique key.
    PutText(f, "SMP:CLAVE", "C1");
    PUT(f);
    EXPECT_EQ(LastErrorCode(), kCreatesDuplicateKey);

    f.ClearRecord();
    PutLong(f, "SMP:UNICO", 99);
    GET(f, f.keys()[0]);
    EXPECT_EQ(LastErrorCode(), kRecordNotFound);
    CLOSE(f);
    SET_PROPERTY(f, FilePropSql, "DROP TABLE Muestra");
  }

  // Check and creation of catalogue tables, error 47, pass-through and refusals.
  void CheckAndCreate(const std::string& owner) {
    auto hds = Hdscrap().Decl("HDSCRAP", owner);
    auto tasas = TableBuilder("DSTT");
    tasas.CStr("CVE", 3).CStr("DESCRIPCION", 51)
        .Key("KEY_CODIGO", kPrimaryOpt, {"CVE"}).Key("KEY_DESCRIPCION", kDupOpt, {"DESCRIPCION"});
    auto ap = tasas.Decl("ApTiposTasas", owner);
    for (auto* d : {hds.get(), ap.get()}) {
      FileBlock f(*d);
      SET_PROPERTY(f, FilePropSql, "DROP TABLE " + d->tableName);
      OPEN(f);
      EXPECT_EQ(LastErrorCode(), kFileNotFound) << d->tableName << ": " << ErrorTextForMessage();
      CREATE(f);
      ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage() << " / " << Sql(f);
      OPEN(f);
      EXPECT_EQ(LastErrorCode(), kNoError) << d->tableName << ": " << ErrorTextForMessage();
      // The index exists: creating it again is refused.
      if (d == hds.get()) {
        SET_PROPERTY(f, FilePropSql, "CREATE INDEX HDS_KEY_TURNO ON HDSCRAP (TURNO )");
        EXPECT_EQ(LastErrorCode(), kFileSystemError);
      }
      FileBlock again(*d);  // a second instance finds it too
      OPEN(again);
      EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    }

    // A table whose columns differ from the declaration.
    auto logs = Logs().Decl("LOGS", owner);
    FileBlock l(*logs);
    SET_PROPERTY(l, FilePropSql, "DROP TABLE LOGS");
    SET_PROPERTY(l, FilePropSql, "CREATE TABLE LOGS (UNICO int, usuario varchar(2))");
    ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    OPEN(l);
    EXPECT_EQ(LastErrorCode(), kInvalidRecordDeclaration) << ErrorTextForMessage();
    EXPECT_EQ(LastFileErrorText(), "Field 3");
    SET_PROPERTY(l, FilePropSql, "DROP TABLE LOGS");
    EXPECT_EQ(LastErrorCode(), kNoError);

    // The catalog is asked for the name itself, not a pattern: "L_GS" is not "LOGS".
    SET_PROPERTY(l, FilePropSql, "CREATE TABLE LOGS (UNICO int)");
    auto pattern = Logs().Decl("L_GS", owner);
    FileBlock p(*pattern);
    OPEN(p);
    EXPECT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
    SET_PROPERTY(l, FilePropSql, "DROP TABLE LOGS");

    // A statement the server refuses.
    SET_PROPERTY(l, FilePropSql, "SELEC nada");
    EXPECT_EQ(LastErrorCode(), kFileSystemError);
    EXPECT_EQ(LastFileErrorCode().size(), 5u) << LastFileErrorCode();
    EXPECT_FALSE(LastFileErrorText().empty());
    EXPECT_NE(LastFileErrorText()[0], '[') << LastFileErrorText();

    for (auto* d : {hds.get(), ap.get()}) {
      FileBlock f(*d);
      REMOVE(f);
      EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    }
  }
};

class SqliteBackend : public OdbcBackend {
 protected:
  void SetUp() override {
    OdbcBackend::SetUp();
    dir_ = std::filesystem::temp_directory_path() / ("ortavia-sql-" + std::to_string(getpid()) + "-" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Owner(const std::string& db = "data.db") { return "x," + OwnerPart((dir_ / db).string()) + ",ortavia"; }

  std::filesystem::path dir_;
  DriverPrefix prefix_{"SQLite3"};
};

}  // namespace

TEST_F(SqliteBackend, CheckAndCreate) { CheckAndCreate(Owner()); }
TEST_F(SqliteBackend, RecordOperations) { RecordOperations(Owner()); }

TEST_F(SqliteBackend, RealColumnTakesTheDoubleTypeOfTheServersList) {
  // The server lists "float" before "double": a REAL is still a double column.
  TableBuilder t("R");
  t.Long("A").Real("MONTO").Key("KEY_A", kPrimaryOpt, {"A"});
  auto decl = t.Decl("Montos", Owner());
  FileBlock f(*decl);
  CREATE(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(Sql(f), "CREATE TABLE Montos (A integer NOT NULL,MONTO double,PRIMARY KEY (A ))");
}

// The same through the tests' SQL Server stand-in, which keeps SQLite files.
class StandInBackend : public SqliteBackend {
  DriverPrefix standIn_{"SQL Server"};
};

TEST_F(StandInBackend, CheckAndCreate) { CheckAndCreate(Owner()); }
TEST_F(StandInBackend, RecordOperations) { RecordOperations(Owner()); }

TEST_F(SqliteBackend, DriverNotInstalled) {
  DriverPrefix none("NoSuchDriver");
  auto decl = Logs().Decl("LOGS", Owner());
  FileBlock f(*decl);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "1");
  EXPECT_EQ(LastFileErrorText(), "Driver Not Installed");
  SET_PROPERTY(f, FilePropSql, "SELECT 1");
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorText(), "Driver Not Installed");
}

TEST_F(SqliteBackend, DatabasePartCannotAddAnAttribute) {
  // The database part carries a second Database attribute: it stays inside the
  // first value (this driver does not read brace-quoted values, so it refuses
  // the path) and the other database is never opened.
  std::string other = (dir_ / "other.db").string();
  std::string owner = "x," + OwnerPart((dir_ / "a").string() + ";Database=" + other) + ",ortavia";
  auto decl = Logs().Decl("LOGS", owner);
  FileBlock f(*decl);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_FALSE(std::filesystem::exists(other));
}

namespace {

class PostgresBackend : public OdbcBackend {
 protected:
  void SetUp() override {
    OdbcBackend::SetUp();
    port_ = Env("ORTAVIA_PG_PORT");
    if (port_.empty()) GTEST_SKIP() << "ORTAVIA_PG_PORT is not set";
    user_ = Env("ORTAVIA_PG_USER").empty() ? "ortavia" : Env("ORTAVIA_PG_USER");
    password_ = Env("ORTAVIA_PG_PASSWORD");
  }
  std::string Owner(const std::string& db, const std::string& user, const std::string& password) {
    return OwnerPart("127.0.0.1") + "," + OwnerPart(db) + "," + OwnerPart(user) + "," + OwnerPart(password) +
           ",Port=" + port_;
  }
  std::string Owner() { return Owner("ortavia_scratch", user_, password_); }

  std::string port_, user_, password_;
  DriverPrefix prefix_{"PostgreSQL Unicode"};
};

}  // namespace

TEST_F(PostgresBackend, CheckAndCreate) { CheckAndCreate(Owner()); }
TEST_F(PostgresBackend, RecordOperations) { RecordOperations(Owner()); }

TEST_F(PostgresBackend, RefusedLogin) {
  auto decl = Logs().Decl("LOGS", Owner("ortavia_scratch", user_, password_ + "-mal"));
  FileBlock f(*decl);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode().size(), 5u) << LastFileErrorCode();
  EXPECT_NE(LastFileErrorText().find("password authentication failed"), std::string::npos) << LastFileErrorText();
  EXPECT_NE(LastFileErrorText()[0], '[');
}

TEST_F(PostgresBackend, PasswordsWithSeparatorsReachTheServerUnchanged) {
  // Roles are made by the cluster's superuser, which logs in without a password on loopback.
  auto admin = Logs().Decl("LOGS", Owner("ortavia_scratch", "postgres", ""));
  FileBlock a(*admin);
  int n = 0;
  for (std::string password : {"p;Database=other", "a,b", "x}y", "q\"uo{te"}) {
    std::string role = "ortavia_inj" + std::to_string(n++);
    std::string quoted;
    for (char c : password) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    SET_PROPERTY(a, FilePropSql, "DROP ROLE IF EXISTS " + role);
    SET_PROPERTY(a, FilePropSql, "CREATE ROLE " + role + " LOGIN PASSWORD '" + quoted + "'");
    ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    auto decl = Logs().Decl("LOGS", Owner("ortavia_scratch", role, password));
    FileBlock f(*decl);
    SET_PROPERTY(f, FilePropSql, "SELECT 1");
    EXPECT_EQ(LastErrorCode(), kNoError) << password << ": " << ErrorTextForMessage();
    // The part after the semicolon did not become an attribute of its own.
    auto wrong = Logs().Decl("LOGS", Owner("ortavia_scratch", role, password.substr(0, 1)));
    FileBlock w(*wrong);
    SET_PROPERTY(w, FilePropSql, "SELECT 1");
    EXPECT_EQ(LastErrorCode(), kFileSystemError) << password;
  }
}
