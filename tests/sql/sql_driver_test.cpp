// The SQL driver's check, creation, retries and pass-through against a stand-in
// that answers as SQL Server does.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "runtime/files/files.h"
#include "runtime/sql/sql_driver.h"
#include "sql/sql_fixtures.h"
#include "support/program_state.h"
#include "support/sqlserver_double.h"

using namespace rt;
using namespace testsupport;

namespace {

class SqlDriverOnServer : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_ = std::make_shared<SqlDriver>(server_.Factory());
    state_.emplace(ProgramState::Options{.drivers = true, .sql = driver_, .halt = Halt::kAsIs});
  }
  void TearDown() override { state_.reset(); }
  std::optional<ProgramState> state_;

  std::vector<std::string>& Log() { return server_.state().log; }
  std::vector<std::string> LogSince(size_t from) {
    return std::vector<std::string>(Log().begin() + static_cast<long>(from), Log().end());
  }

  testsupport::SqlServerDouble server_;
  std::shared_ptr<SqlDriver> driver_;
};

const char* kOwner = "srv,datos,admin,pw";

}  // namespace

TEST_F(SqlDriverOnServer, MissingTableIsCreatedThenFound) {
  auto decl = Hdscrap().Decl("HDSCRAP", kOwner);
  FileBlock f(*decl);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileNotFound);
  EXPECT_TRUE(Log().empty());  // the catalog call is no statement
  CREATE(f);
  ASSERT_EQ(LastErrorCode(), kNoError);
  ASSERT_EQ(Log().size(), 7u);
  EXPECT_EQ(Log()[0].rfind("CREATE TABLE HDSCRAP (PK_CONTROL int NOT NULL,", 0), 0u);
  EXPECT_EQ(GET_PROPERTY(f, FilePropSql), "CREATE INDEX HDS_KEY_TRANSPORTE ON HDSCRAP (TRANSPORTE )");
  EXPECT_EQ(GET_PROPERTY(f, FilePropDriver), "MSSQL");
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kNoError);
  EXPECT_EQ(Log().size(), 7u);  // an existing table is only opened
  EXPECT_EQ(server_.state().connects, 1);
  EXPECT_EQ(server_.state().owners, std::vector<std::string>{kOwner});
}

TEST_F(SqlDriverOnServer, DeclaredColumnMissingOnTheServer) {
  // The field is named by its entry number in the record, groups and their
  // members counted: MODULO is entry 13, the 9th top-level field, the 7th column.
  struct Case {
    std::vector<std::string> columns;
    const char* text;
  } cases[] = {
      {{"unico", "USUARIO"}, "Field 3"},  // EMPRESA, the first one not reported
      {{"UNICO", "USUARIO", "EMPRESA", "ACCION", "FECHA_SUCESO_SQLDATEHANDLE", "HORA_SUCESO_SQLDATEHANDLE"},
       "Field 13"},
  };
  for (const Case& c : cases) {
    server_.state().tables["LOGS"] = c.columns;
    auto decl = Logs().Decl("LOGS", kOwner);
    FileBlock f(*decl);
    OPEN(f);
    EXPECT_EQ(LastErrorCode(), kInvalidRecordDeclaration) << c.text;
    EXPECT_EQ(LastFileErrorText(), c.text);
  }
  EXPECT_TRUE(Log().empty());
}

TEST_F(SqlDriverOnServer, ExistingTableTheCheckDidNotSeeIsDroppedAndCreatedAgain) {
  server_.state().tables["IMAGENES"] = {"VIEJA"};
  server_.state().hiddenFromCatalog.insert("IMAGENES");
  auto decl = Imagenes().Decl("IMAGENES", kOwner);
  FileBlock f(*decl);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileNotFound);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kNoError);
  ASSERT_EQ(Log().size(), 3u);
  EXPECT_EQ(Log()[0], Log()[2]);
  EXPECT_EQ(Log()[1], "DROP TABLE IMAGENES");
  EXPECT_EQ(server_.state().tables["IMAGENES"].back(), "IMAGEN");
}

TEST_F(SqlDriverOnServer, ExistingIndexIsDroppedAndCreatedAgain) {
  server_.state().indexes.insert("LOG_KEY_ORDEN");
  auto decl = Logs().Decl("LOGS", kOwner);
  FileBlock f(*decl);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kNoError);
  ASSERT_EQ(Log().size(), 4u);
  EXPECT_EQ(Log()[1].rfind("CREATE INDEX LOG_KEY_ORDEN", 0), 0u);
  EXPECT_EQ(Log()[2], "DROP INDEX LOG_KEY_ORDEN");
  EXPECT_EQ(Log()[3], Log()[1]);
}

TEST_F(SqlDriverOnServer, FailedIndexStopsTheSequenceAndDropsTheTable) {
  server_.state().refuseOnce.push_back({"CREATE INDEX HDS_KEY_TURNO", {"37000", 102, "Incorrect syntax near 'X'."}});
  auto decl = Hdscrap().Decl("HDSCRAP", kOwner);
  FileBlock f(*decl);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "37000");
  EXPECT_EQ(LastFileErrorText(), "Incorrect syntax near 'X'.");
  ASSERT_EQ(Log().size(), 5u);
  EXPECT_EQ(Log()[3].rfind("CREATE INDEX HDS_KEY_TURNO", 0), 0u);
  EXPECT_EQ(Log()[4], "DROP TABLE HDSCRAP");
  EXPECT_FALSE(server_.state().tables.count("HDSCRAP"));
}

TEST_F(SqlDriverOnServer, IndexThatKeepsExistingIsGivenUpOnAndTheTableDropped) {
  server_.state().phantomIndexExists = 1000;
  auto decl = Logs().Decl("LOGS", kOwner);
  FileBlock f(*decl);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "S0011");
  size_t creates = 0;
  for (const std::string& sql : Log()) creates += sql.rfind("CREATE INDEX LOG_KEY_ORDEN ", 0) == 0;
  EXPECT_GT(creates, 1u);
  EXPECT_LT(creates, 100u);
  EXPECT_EQ(Log().back(), "DROP TABLE LOGS");
  EXPECT_FALSE(server_.state().tables.count("LOGS"));
}

// A server answering with the ODBC 3 SQLSTATEs is treated as one answering with
// the ODBC 2 ones: an existing table or index is dropped and created again, a
// missing table found missing by the select.
TEST_F(SqlDriverOnServer, Odbc3StatesAreActedOnAlike) {
  server_.state().odbc3States = true;
  server_.state().tables["IMAGENES"] = {"VIEJA"};
  server_.state().hiddenFromCatalog.insert("IMAGENES");
  auto imagenes = Imagenes().Decl("IMAGENES", kOwner);
  FileBlock i(*imagenes);
  CREATE(i);
  EXPECT_EQ(LastErrorCode(), kNoError) << LastFileErrorCode();
  EXPECT_EQ(Log(), (std::vector<std::string>{Log()[0], "DROP TABLE IMAGENES", Log()[0]}));

  server_.state().indexes.insert("LOG_KEY_ORDEN");
  auto logs = Logs().Decl("LOGS", kOwner);
  FileBlock l(*logs);
  size_t from = Log().size();
  CREATE(l);
  EXPECT_EQ(LastErrorCode(), kNoError) << LastFileErrorCode();
  ASSERT_EQ(LogSince(from).size(), 4u);
  EXPECT_EQ(Log()[from + 2], "DROP INDEX LOG_KEY_ORDEN");

  server_.state().catalogFails = true;
  auto missing = DetEmpcertmd().Decl("DET_EMPCERTMD", kOwner);
  FileBlock m(*missing);
  OPEN(m);
  EXPECT_EQ(LastErrorCode(), kFileNotFound) << LastFileErrorCode();
}

TEST_F(SqlDriverOnServer, IndexWhoseDropFailsAnswersTheDropError) {
  server_.state().indexes.insert("LOG_KEY_ORDEN");
  server_.state().refuseOnce.push_back({"DROP INDEX", {"42000", 3704, "Permission denied."}});
  auto decl = Logs().Decl("LOGS", kOwner);
  FileBlock f(*decl);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "42000");
  EXPECT_EQ(Log().back(), "DROP TABLE LOGS");
}

TEST_F(SqlDriverOnServer, RefusedCreateTableSendsNothingElse) {
  server_.state().refuseOnce.push_back({"CREATE TABLE", {"42000", 262, "CREATE TABLE permission denied."}});
  auto decl = Hdscrap().Decl("HDSCRAP", kOwner);
  FileBlock f(*decl);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(Log().size(), 1u);
  // A table that keeps "existing" after each drop is given up on.
  server_.state().phantomTableExists = 1000;
  Log().clear();
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "S0001");
  EXPECT_LT(Log().size(), 100u);
}

TEST_F(SqlDriverOnServer, CreateNeedsTheAttributeAndStorableTypes) {
  auto decl = Logs().Decl("LOGS", kOwner);
  decl->attrs = kFileThread | kFileOwner;
  FileBlock f(*decl);
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kNoCreateAttribute);

  TableBuilder t("T");
  t.Long("A");
  auto withTime = t.Decl("T", kOwner);
  std::vector<FieldSpec> fields(2);
  fields[0].type = FieldType::Long;
  fields[0].label = "T:A";
  fields[1].type = FieldType::Time;
  fields[1].label = "T:HORA";
  withTime->record = std::make_shared<const TypeRecord>(TypeRecord::Encode(fields));
  FileBlock g(*withTime);
  CREATE(g);
  EXPECT_EQ(LastErrorCode(), kInvalidFieldTypeDescriptor);
  EXPECT_TRUE(Log().empty());
}

TEST_F(SqlDriverOnServer, CatalogFailureFallsBackToSelect) {
  server_.state().catalogFails = true;
  auto decl = DetEmpcertmd().Decl("DET_EMPCERTMD", kOwner);
  FileBlock f(*decl);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileNotFound);  // "S0002" from the select
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0], "SELECT * FROM DET_EMPCERTMD WHERE 0 = 1");
  CREATE(f);
  server_.state().catalogFails = false;
  size_t before = Log().size();
  OPEN(f);  // the select stays in use for this table
  EXPECT_EQ(LastErrorCode(), kNoError);
  EXPECT_EQ(LogSince(before), std::vector<std::string>{"SELECT * FROM DET_EMPCERTMD WHERE 0 = 1"});
}

TEST_F(SqlDriverOnServer, VerifyOptions) {
  struct Case { const char* options; bool checked; bool viaSelect; } cases[] = {
      {"/LOGONSCREEN=FALSE /TURBOSQL=TRUE", false, false},
      {"/NOVERIFY=TRUE", false, false},
      {"/NOVERIFY=FALSE", true, false},
      {"/VERIFYVIASELECT=TRUE", true, true},
  };
  for (const Case& c : cases) {
    auto decl = Logs().Decl("LOGS", kOwner, c.options);
    FileBlock f(*decl);
    Log().clear();
    OPEN(f);
    EXPECT_EQ(LastErrorCode(), c.checked ? kFileNotFound : kNoError) << c.options;
    EXPECT_EQ(Log().size(), c.viaSelect ? 1u : 0u) << c.options;
  }
}

TEST_F(SqlDriverOnServer, ConnectionsPerOwnerAndThread) {
  auto a = Logs().Decl("LOGS", kOwner);
  auto b = Imagenes().Decl("IMAGENES", kOwner);
  auto c = Imagenes().Decl("IMAGENES", "srv,sistema,admin,pw");
  FileBlock fa(*a), fb(*b), fc(*c);
  OPEN(fa);
  OPEN(fb);
  EXPECT_EQ(server_.state().connects, 1);
  OPEN(fc);
  EXPECT_EQ(server_.state().connects, 2);
  std::thread([&] {
    FileBlock other(*a);
    OPEN(other);
  }).join();
  EXPECT_EQ(server_.state().connects, 3);
}

TEST_F(SqlDriverOnServer, RefusedLoginAnswersTheServerError) {
  server_.state().refuseLogin = SqlError{"28000", 18456, "Login failed for user 'admin'."};
  auto decl = Logs().Decl("LOGS", kOwner);
  FileBlock f(*decl);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "28000");
  EXPECT_EQ(LastFileErrorText(), "Login failed for user 'admin'.");
  SET_PROPERTY(f, FilePropSql, "drop table X");
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  server_.state().refuseLogin.reset();
  OPEN(f);  // a refused connection is not kept
  EXPECT_EQ(LastErrorCode(), kFileNotFound);
}

TEST_F(SqlDriverOnServer, PassThroughRunsOnTheOwnersConnection) {
  auto decl = Logs().Decl("REFERE", kOwner);
  FileBlock f(*decl);
  SET_PROPERTY(f, FilePropSql, "");
  EXPECT_EQ(LastErrorCode(), kNoError);
  EXPECT_EQ(server_.state().connects, 0);  // an empty text does nothing
  SET_PROPERTY(f, FilePropSql, "SP_RENAME RefereExtCove,XRefereExtCove");
  EXPECT_EQ(LastErrorCode(), kNoError);
  EXPECT_EQ(Log(), std::vector<std::string>{"SP_RENAME RefereExtCove,XRefereExtCove"});
  EXPECT_EQ(GET_PROPERTY(f, FilePropSql), "SP_RENAME RefereExtCove,XRefereExtCove");
  SET_PROPERTY(f, FilePropSql, "drop table XRefereExtCove");
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "S0002");
  REMOVE(f);
  EXPECT_EQ(Log().back(), "DROP TABLE REFERE");
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
}

TEST_F(SqlDriverOnServer, NamesAreSettledAtTheFirstConnection) {
  NameVar var;
  var.Set("LOGS");
  auto decl = Logs().Decl("", kOwner);
  decl->tableNameVar = &var;
  FileBlock f(*decl);
  OPEN(f);
  var.Set("OTRA");
  CREATE(f);
  EXPECT_EQ(Log()[0].rfind("CREATE TABLE LOGS (", 0), 0u);
  // A reserved word as the table name is quoted and upper-cased.
  auto order = Logs().Decl("Order", kOwner);
  FileBlock g(*order);
  CREATE(g);
  EXPECT_EQ(GET_PROPERTY(g, FilePropSql).rfind("CREATE INDEX LOG_KEY_ORDEN ON \"ORDER\" (", 0), 0u);
}
