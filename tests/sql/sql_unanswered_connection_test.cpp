// A server that took a connection and did not answer it within the login
// bound: in the same run every table of that owner is refused at once with the
// same error, instead of waiting the bound again; the next run tries anew.
#include <gtest/gtest.h>

#include <string>

#include "runtime/files/files.h"
#include "runtime/sql/sql_driver.h"
#include "sql/sql_fixtures.h"
#include "support/sqlserver_double.h"

using namespace rt;
using namespace testsupport;

namespace {

TEST(UnansweredConnection, IsNotTriedAgainInTheSameRun) {
  struct Case {
    const char* name;
    bool unanswered;
    size_t attemptsInTheRun;  // after four operations that need the connection
  };
  for (const Case& c : {Case{"the login bound ran out", true, 1}, Case{"the server refused at once", false, 4}}) {
    SCOPED_TRACE(c.name);
    SqlServerDouble server;
    auto driver = std::make_shared<SqlDriver>(server.Factory());
    RegisterDriver(driver);
    BeginFileRun();
    server.state().refuseLogin = SqlError{"S1T00", 0, "Timeout expired", "SQLDriverConnect", c.unanswered};
    const std::string owner = "127.0.0.1,51181,datos,admin";
    auto logs = Logs().Decl("LOGS", owner);
    auto imagenes = Imagenes().Decl("IMAGENES", owner);
    FileBlock a(*logs), b(*imagenes);
    OPEN(a);
    OPEN(a);
    SET_PROPERTY(a, FilePropSql, "SP_RENAME LOGS,XLOGS");
    OPEN(b);
    EXPECT_EQ(LastErrorCode(), kFileSystemError);
    EXPECT_EQ(LastFileErrorCode(), "S1T00");
    EXPECT_EQ(LastFileErrorText(), "Timeout expired");
    EXPECT_EQ(server.state().owners.size(), c.attemptsInTheRun);
    EXPECT_TRUE(server.state().log.empty());
    // The server answers again: one that did not answer is not asked in this run.
    server.state().refuseLogin.reset();
    OPEN(b);
    EXPECT_EQ(LastErrorCode(), c.unanswered ? kFileSystemError : kFileNotFound);
    // Another server is tried; the next run tries this one again and reaches it.
    auto other = Logs().Decl("LOGS", "otro,datos,admin");
    FileBlock o(*other);
    OPEN(o);
    EXPECT_EQ(LastErrorCode(), kFileNotFound);
    BeginFileRun();
    OPEN(b);
    EXPECT_EQ(LastErrorCode(), kFileNotFound);
    EXPECT_EQ(server.state().connects, 2);
    RegisterSqlDriver();
  }
}

}  // namespace
