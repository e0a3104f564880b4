// The tests' SQL Server stand-in, an ODBC driver over SQLite files, reached
// through the real driver manager: the program's own driver choice finds it,
// and it answers as SQL Server does in what the program relies on.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "runtime/files/files.h"
#include "runtime/sql/odbc_session.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "sql/sql_fixtures.h"
#include "support/database_probe.h"
#include "support/sqlserver_double.h"

using namespace rt;
using namespace testsupport;

namespace {

constexpr const char* kStandIn = "SQL Server Stand-in";

// One raw ODBC connection to the stand-in, at the ODBC version asked for.
class RawConnection {
 public:
  RawConnection(const std::string& connection, SQLINTEGER version) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(version)), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    connected_ = SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS, nullptr, 0,
                                                nullptr, SQL_DRIVER_NOPROMPT));
  }
  ~RawConnection() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  bool connected() const { return connected_; }
  SQLHDBC dbc() const { return dbc_; }

  // SQLSTATE and message of the statement's answer; empty state when it succeeded.
  std::pair<std::string, std::string> Exec(const std::string& sql) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
    SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
    std::pair<std::string, std::string> out;
    if (rc == SQL_ERROR) out = Diagnostic(SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return out;
  }

  // TYPE_NAME and DATA_TYPE of every row of SQLGetTypeInfo(type).
  std::vector<std::pair<std::string, int>> TypeInfo(SQLSMALLINT type) {
    std::vector<std::pair<std::string, int>> rows;
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
    if (SQL_SUCCEEDED(SQLGetTypeInfo(st, type))) {
      while (SQL_SUCCEEDED(SQLFetch(st))) {
        char name[128] = {};
        SQLINTEGER code = 0;
        SQLLEN len;
        SQLGetData(st, 1, SQL_C_CHAR, name, sizeof name, &len);
        SQLGetData(st, 2, SQL_C_SLONG, &code, 0, &len);
        rows.emplace_back(name, code);
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return rows;
  }

  std::string InfoText(SQLUSMALLINT item) {
    char buf[4096] = {};
    SQLSMALLINT len = 0;
    SQLGetInfo(dbc_, item, buf, sizeof buf, &len);
    return buf;
  }

  static std::pair<std::string, std::string> Diagnostic(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {}, msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len);
    return {reinterpret_cast<char*>(state), reinterpret_cast<char*>(msg)};
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSqlDriver();
    dir_ = std::filesystem::temp_directory_path() / ("ortavia-standin-" + std::to_string(getpid()) + "-" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    const char* old = std::getenv("ORTAVIA_SQL_DRIVER");
    if (old) oldPrefix_ = old;
    ::unsetenv("ORTAVIA_SQL_DRIVER");  // the program's own choice
  }
  void TearDown() override {
    if (oldPrefix_) ::setenv("ORTAVIA_SQL_DRIVER", oldPrefix_->c_str(), 1);
    std::filesystem::remove_all(dir_);
  }
  std::string File() const { return (dir_ / "data.db").string(); }
  // The owner text the creation procedure builds: server, database, login, password.
  std::string Owner() const { return "servidor," + OwnerPart(File()) + ",sa,clave"; }
  std::string Connection() const { return std::string("Driver={") + kStandIn + "};Database=" + File(); }
  // The SQLite file itself, read beside the stand-in.
  std::vector<std::string> Sqlite(const std::string& query) const {
    return testsupport::Rows("Driver={SQLite3};Database=" + File(), query);
  }

  std::filesystem::path dir_;
  std::optional<std::string> oldPrefix_;
};

TEST_F(StandIn, TheProgramsDriverChoiceFindsItAndItAnswersAsSqlServer) {
  EXPECT_EQ(ChooseOdbcDriver(InstalledOdbcDrivers(), ""), kStandIn);
  EXPECT_EQ(ChooseOdbcDriver(InstalledOdbcDrivers(), "SQL Server"), kStandIn);

  SqlResult<std::unique_ptr<SqlSession>> connected = OdbcConnect(Owner());
  ASSERT_TRUE(connected) << connected.error().state << " " << connected.error().message;
  std::unique_ptr<SqlSession>& session = *connected;
  SqlResult<std::vector<TypeInfoRow>> typeList = session->TypeInfo();
  ASSERT_TRUE(typeList) << typeList.error().message;
  const std::vector<TypeInfoRow>& rows = *typeList;
  const std::vector<TypeInfoRow>& want = testsupport::SqlServerTypeRows();
  ASSERT_EQ(rows.size(), want.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].typeName, want[i].typeName) << i;
    EXPECT_EQ(rows[i].dataType, want[i].dataType) << want[i].typeName;
    EXPECT_EQ(rows[i].createParams, want[i].createParams) << want[i].typeName;
  }
  ServerInfo info = session->Info(), sqlServer = testsupport::SqlServerInfo();
  EXPECT_EQ(info.identifierQuote, sqlServer.identifierQuote);
  EXPECT_EQ(info.quotedCaseSensitive, sqlServer.quotedCaseSensitive);
  EXPECT_EQ(info.nonNullableColumns, sqlServer.nonNullableColumns);
  EXPECT_EQ(info.identifierCase, sqlServer.identifierCase);
  EXPECT_EQ(info.keywords, sqlServer.keywords);
  EXPECT_EQ(info.searchPatternEscape, sqlServer.searchPatternEscape);
  EXPECT_EQ(info.Dialect().name, "SQL Server") << info.dbmsName;

  RawConnection raw(Connection(), SQL_OV_ODBC3);
  ASSERT_TRUE(raw.connected());
  EXPECT_EQ(raw.InfoText(SQL_DBMS_NAME), "SQL Server");
  // The multiple-active-result-sets attribute is taken.
  EXPECT_EQ(SQLSetConnectAttr(raw.dbc(), 1224, reinterpret_cast<SQLPOINTER>(1), SQL_IS_UINTEGER), SQL_SUCCESS);
  // ODBC 3 callers get the ODBC 3 date-time code, and one type asked for gives only its rows.
  EXPECT_EQ(raw.TypeInfo(SQL_TYPE_TIMESTAMP),
            (std::vector<std::pair<std::string, int>>{{"datetime", 93}, {"smalldatetime", 93}}));
  EXPECT_EQ(raw.TypeInfo(SQL_VARCHAR), (std::vector<std::pair<std::string, int>>{{"varchar", 12}}));
}

TEST_F(StandIn, StatementsAnswerWithSqlServersStatesAndMessages) {
  SqlResult<std::unique_ptr<SqlSession>> connected = OdbcConnect(Owner());
  ASSERT_TRUE(connected) << connected.error().message;
  std::unique_ptr<SqlSession>& s = *connected;
  struct Case {
    const char* sql;
    const char* state;  // empty: accepted
    const char* message;
  };
  const Case cases[] = {
      {"CREATE TABLE T (a int,b varchar(3),PRIMARY KEY (a ))", "", ""},
      {"CREATE TABLE t (a int)", "S0001", "There is already an object named 't' in the database."},
      {"CREATE INDEX IX ON T (b DESC )", "", ""},
      {"CREATE INDEX IX ON T (b )", "S0011",
       "The operation failed because an index or statistics with name 'IX' already exists on table 'dbo.T'."},
      {"DROP INDEX IX", "37000", "Must specify the table name and index name for the DROP INDEX statement."},
      {"DROP INDEX T.IX", "", ""},
      {"DROP INDEX t.ix", "S0002", "Cannot drop the index 't.ix', because it does not exist or you do not have permission."},
      {"CREATE INDEX IX ON T (b )", "", ""},
      {"SP_RENAME T,XT", "", ""},
      // Index names belong to their table: the renamed table keeps its IX, the new one gets its own.
      {"CREATE TABLE T (a int,PRIMARY KEY (a ))", "", ""},
      {"CREATE INDEX IX ON T (a )", "", ""},
      {"SP_RENAME Nada,X", "37000", "Either the parameter @objname is ambiguous or the claimed @objtype ((null)) is wrong."},
      {"SP_RENAME T,xt", "37000",
       "Error: The new name 'xt' is already in use as a object name and would cause a duplicate that is not permitted."},
      {"DROP INDEX XT.IX", "", ""},
      {"drop table XT", "", ""},
      {"drop table XT", "S0002", "Cannot drop the table 'XT', because it does not exist or you do not have permission."},
      {"INSERT INTO T (a) VALUES (1)", "", ""},
  };
  for (const Case& c : cases) {
    const SqlStatus ran = s->Exec(c.sql, {});
    const SqlError e = ran ? SqlError{} : ran.error();
    EXPECT_EQ(ran.ok(), !*c.state) << c.sql << ": " << e.state << " " << e.message;
    EXPECT_EQ(e.state, c.state) << c.sql;
    EXPECT_EQ(e.message, c.message) << c.sql;
  }
  const SqlResult<std::unique_ptr<SqlCursor>> missing = s->Query("SELECT * FROM XT WHERE 0 = 1", {}, {});
  EXPECT_FALSE(missing);
  const SqlError e = missing ? SqlError{} : missing.error();
  EXPECT_EQ(e.state, "S0002");
  EXPECT_EQ(e.message, "Invalid object name 'XT'.");

  // The catalog lists a table's columns by its name in any letter case, and nothing for a gone table.
  SqlResult<std::vector<std::string>> columns = s->Columns("", "t");
  ASSERT_TRUE(columns);
  EXPECT_EQ(*columns, (std::vector<std::string>{"a"}));
  columns = s->Columns("", "XT");
  ASSERT_TRUE(columns);
  EXPECT_TRUE(columns->empty());
  EXPECT_EQ(Sqlite("SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name"),
            (std::vector<std::string>{"T.IX"}));

  // ODBC 3 callers get ODBC 3 states; messages carry the driver's bracketed tags.
  RawConnection raw(Connection(), SQL_OV_ODBC3);
  ASSERT_TRUE(raw.connected());
  EXPECT_EQ(raw.Exec("CREATE TABLE T (a int)"),
            std::make_pair(std::string("42S01"),
                           std::string("[Stand-in][SQL Server]There is already an object named 'T' in the database.")));
  EXPECT_EQ(raw.Exec("CREATE INDEX IX ON T (a )").first, "42S11");
  EXPECT_EQ(raw.Exec("drop table Nada").first, "42S02");
  EXPECT_EQ(raw.Exec("DROP INDEX IX").first, "42000");
  EXPECT_EQ(raw.Exec("INSERT INTO T (a) VALUES (1)").first, "23000");
}

TEST_F(StandIn, TheProgramsDriverCreatesRetriesRenamesAndDrops) {
  auto hds = Hdscrap().Decl("HDSCRAP", Owner());
  FileBlock f(*hds);
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  CREATE(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage() << " / " << GET_PROPERTY(f, FilePropSql);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  CLOSE(f);
  const std::vector<std::string> indexes = {"HDSCRAP.HDS_KEY_FKTRANSPORTE", "HDSCRAP.HDS_KEY_PROCESO",
                                            "HDSCRAP.HDS_KEY_REFERENCIA", "HDSCRAP.HDS_KEY_TRANSPORTE",
                                            "HDSCRAP.HDS_KEY_TURNO", "HDSCRAP.HDS_KEY_USUARIO"};
  const std::string listIndexes = "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL AND "
                                  "tbl_name = 'HDSCRAP' ORDER BY name";
  EXPECT_EQ(Sqlite(listIndexes), indexes);

  // A table of that name the check did not see: "S0001", dropped, created anew.
  SET_PROPERTY(f, FilePropSql, "DROP TABLE HDSCRAP");
  SET_PROPERTY(f, FilePropSql, "CREATE TABLE HDSCRAP (viejo int)");
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  ASSERT_NO_FATAL_FAILURE(CreateOpenAndClose(f));
  EXPECT_EQ(Sqlite(listIndexes), indexes);

  // The migration's statements on the table's connection: the renamed table
  // keeps its rows and indexes, the missing name is created again with its own.
  SET_PROPERTY(f, FilePropSql, "INSERT INTO HDSCRAP (PK_CONTROL) VALUES (7)");
  SET_PROPERTY(f, FilePropSql, "SP_RENAME HDSCRAP,XHDSCRAP");
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  CREATE(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(Sqlite(listIndexes), indexes);
  EXPECT_EQ(Sqlite("SELECT PK_CONTROL FROM XHDSCRAP"), (std::vector<std::string>{"7"}));
  EXPECT_EQ(Sqlite("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name LIKE 'XHDSCRAP.%'"),
            (std::vector<std::string>{"6"}));
  SET_PROPERTY(f, FilePropSql, "drop table XHDSCRAP");
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  SET_PROPERTY(f, FilePropSql, "drop table XHDSCRAP");
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  EXPECT_EQ(LastFileErrorCode(), "S0002");
  EXPECT_EQ(LastFileErrorText(),
            "Cannot drop the table 'XHDSCRAP', because it does not exist or you do not have permission.");
  REMOVE(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_TRUE(Sqlite(listIndexes).empty());
}

TEST_F(StandIn, AConnectionWithoutADatabaseIsRefused) {
  RawConnection raw(std::string("Driver={") + kStandIn + "};Server=servidor;UID=sa;PWD=clave", SQL_OV_ODBC3);
  EXPECT_FALSE(raw.connected());
  auto [state, message] = RawConnection::Diagnostic(SQL_HANDLE_DBC, raw.dbc());
  EXPECT_EQ(state, "08001");
  EXPECT_EQ(message.rfind("[Stand-in][SQL Server]", 0), 0u) << message;
}

}  // namespace
