// The missing-table check through the real ODBC driver manager on SQLite files,
// the SQL Server stand-in and the PostgreSQL test server: its answers come from
// one catalog read per connection and run, kept current for the tables the
// driver creates, and stay those of a look at each table (missing, error 47
// with the field's number, existing); a table another connection made during
// the run is opened, never dropped.
#include "sql/odbc_backends.h"
#include "sql/sql_fixtures.h"

using namespace rt;
using namespace testsupport;

namespace {

class Catalog : public OdbcBackends {
 protected:
  void SetUp() override {
    OdbcBackends::SetUp();
    BeginFileRun();
  }
  std::string Owner() const { return OdbcBackends::Owner("a"); }
  std::string Probe() const { return OdbcBackends::Probe(Database("a")); }
  bool Dropped() const {
    for (const std::string& s : observer_->statements)
      if (s.rfind("DROP TABLE", 0) == 0) return true;
    return false;
  }
};

TEST_P(Catalog, AnswersComeFromOneReadPerRunAndStayThoseOfEachTable) {
  auto hds = Hdscrap().Decl("HDSCRAP", Owner());
  auto logs = Logs().Decl("LOGS", Owner());
  auto images = Imagenes().Decl("IMAGENES", Owner());
  TableBuilder tasas("DSTT");
  tasas.CStr("CVE", 3).CStr("DESCRIPCION", 51).Key("KEY_CODIGO", kPrimaryOpt, {"CVE"});
  auto ap = tasas.Decl("ApTiposTasas", Owner());
  FileBlock h(*hds), l(*logs), i(*images), a(*ap);

  // A table the driver creates is found by the opens after it without asking again.
  OPEN(h);
  EXPECT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  CREATE(h);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  OPEN(h);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(observer_->catalogListings, 1);
  EXPECT_EQ(observer_->tableLookups, 0);

  // Made by another connection: a table lacking a declared column, and one
  // whose name is written in another letter case.
  ASSERT_TRUE(testsupport::Execute(Probe(), "CREATE TABLE LOGS (UNICO int, usuario varchar(2))"));
  ASSERT_TRUE(testsupport::Execute(Probe(), "CREATE TABLE apTiposTasas (CVE varchar(2), DESCRIPCION int)"));

  // The next run reads the catalog once for all its checks.
  BeginFileRun();
  struct Case {
    FileBlock* file;
    int error;
    const char* fileText;
  } cases[] = {{&h, kNoError, ""}, {&l, kInvalidRecordDeclaration, "Field 3"}, {&i, kFileNotFound, ""},
               {&a, kNoError, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file->decl().tableName);
    OPEN(*c.file);
    EXPECT_EQ(LastErrorCode(), c.error) << ErrorTextForMessage();
    if (c.error == kInvalidRecordDeclaration) {
      EXPECT_EQ(LastFileErrorText(), c.fileText);
    }
  }
  EXPECT_EQ(observer_->catalogListings, 2);
  // Only a name listed in another letter case, on a server that tells case, is looked at by itself.
  EXPECT_LE(observer_->tableLookups, 1);

  // A statement sent through the pass-through and a removal are followed by a new read.
  const int listings = observer_->catalogListings;
  SET_PROPERTY(l, FilePropSql, "DROP TABLE LOGS");
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  OPEN(l);
  EXPECT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  EXPECT_EQ(observer_->catalogListings, listings + 1);
  REMOVE(h);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  OPEN(h);
  EXPECT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  EXPECT_EQ(observer_->catalogListings, listings + 2);
}

TEST_P(Catalog, TableMadeByAnotherConnectionDuringTheRunIsOpenedNotDropped) {
  struct Case {
    const char* name;
    TableBuilder table;
    const char* tableName;
    const char* otherCreate;
    int open;  // the answer of the open after the creation
  } cases[] = {
      {"all declared columns", Hdscrap(), "HDSCRAP",
       "CREATE TABLE HDSCRAP (PK_CONTROL int, FK_CONTROL int, TRANSPORTE int, FECHAI_SQLDATEHANDLE int, "
       "REFERENCIA int, FECHA_SQLDATEHANDLE int, USUARIO int, PROCESO int, TURNO int, CHK_EXPO int, "
       "FECHA_MOD_SQLDATEHANDLE int, HORA_MOD_SQLDATEHANDLE int, USER_MOD int, HORA_MODX int, MIN_MODX int)",
       kNoError},
      {"a declared column missing", Logs(), "LOGS", "CREATE TABLE LOGS (UNICO int, USUARIO int)",
       kInvalidRecordDeclaration},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto decl = c.table.Decl(c.tableName, Owner());
    FileBlock f(*decl);
    OPEN(f);
    ASSERT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
    // Between the check and the creation another connection makes the table and fills it.
    ASSERT_TRUE(testsupport::Execute(Probe(), c.otherCreate));
    ASSERT_TRUE(testsupport::Execute(Probe(), std::string("INSERT INTO ") + c.tableName + " (" +
                                                      (c.open ? "UNICO" : "PK_CONTROL") + ") VALUES (7)"));
    observer_->statements.clear();
    CREATE(f);
    EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    EXPECT_FALSE(Dropped());
    OPEN(f);
    EXPECT_EQ(LastErrorCode(), c.open) << ErrorTextForMessage();
    EXPECT_EQ(testsupport::Rows(Probe(), std::string("SELECT count(*) FROM ") + c.tableName),
              std::vector<std::string>{"1"});
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Catalog, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
