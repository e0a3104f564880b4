// A table another process makes between the program's check and its
// creation, through the real driver manager on each backend: the creation's
// refused CREATE TABLE is rolled back before the table is looked at again, so
// the other process's table is opened as it is, its rows kept, on a server
// whose refusal ends the transaction as on any other.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/files/files.h"
#include "sql/odbc_backends.h"
#include "sql/sql_fixtures.h"
#include "support/database_probe.h"

using namespace rt;
using namespace testsupport;

namespace {

class CreationRace : public OdbcBackends {};

TEST_P(CreationRace, ATableMadeSinceTheCheckIsOpenedAsItIs) {
  auto decl = Hdscrap().Decl("HDSCRAP", Owner("a"));
  const std::string probe = Probe(Database("a"));
  // The other process's table, of the program's layout, kept aside until the check has been made.
  {
    FileBlock made(*decl);
    CREATE(made);
    ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  }
  ASSERT_TRUE(Execute(probe, "INSERT INTO HDSCRAP (PK_CONTROL) VALUES (7)"));
  ASSERT_TRUE(Execute(probe, "ALTER TABLE HDSCRAP RENAME TO HDSAVED"));
  UseNewDriver();
  FileBlock f(*decl);
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  ASSERT_TRUE(Execute(probe, "ALTER TABLE HDSAVED RENAME TO HDSCRAP"));
  observer_->ends.clear();
  CREATE(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(observer_->ends, std::vector<std::string>{"rollback"});
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(Rows(probe, "SELECT PK_CONTROL FROM HDSCRAP"), std::vector<std::string>{"7"});
}

INSTANTIATE_TEST_SUITE_P(Backends, CreationRace, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
