// A table on the server that lacks one declared column, wherever it stands in
// the record, is refused with error 47 naming that field, by either look at
// the table (the catalog, or a SELECT of no rows), on each backend.
#include "sql/odbc_backends.h"
#include "sql/sql_fixtures.h"

using namespace rt;
using namespace testsupport;

namespace {

class MissingColumn : public OdbcBackends {};

TEST_P(MissingColumn, EachDeclaredColumnIsLookedFor) {
  const std::string probe = Probe(Database("a"));
  TableBuilder parts("PRT");
  parts.Long("PRIMERA").CStr("MEDIA", 5).Long("ULTIMA");
  struct Case {
    const char* missing;  // the declared column the server's table lacks; "" none
    const char* columns;
    int error;
    const char* field;
  } cases[] = {
      {"", "PRIMERA int, MEDIA varchar(4), ULTIMA int", kNoError, ""},
      {"PRIMERA", "MEDIA varchar(4), ULTIMA int", kInvalidRecordDeclaration, "Field 1"},
      {"MEDIA", "PRIMERA int, ULTIMA int", kInvalidRecordDeclaration, "Field 2"},
      {"ULTIMA", "PRIMERA int, MEDIA varchar(4)", kInvalidRecordDeclaration, "Field 3"},
  };
  for (const char* options : {"/LOGONSCREEN=FALSE", "/LOGONSCREEN=FALSE /VERIFYVIASELECT=TRUE"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(options) + ", missing " + (*c.missing ? c.missing : "none"));
      ASSERT_TRUE(Execute(probe, std::string("CREATE TABLE PARTES (") + c.columns + ")"));
      // A connection of its own: one that looked at the table before it was
      // made again elsewhere may be answered from what it saw then.
      UseNewDriver();
      auto decl = parts.Decl("PARTES", Owner("a"), options);
      FileBlock f(*decl);
      OPEN(f);
      EXPECT_EQ(LastErrorCode(), c.error) << ErrorTextForMessage();
      if (c.error == kInvalidRecordDeclaration) {
        EXPECT_EQ(LastFileErrorText(), c.field);
      }
      CLOSE(f);
      ASSERT_TRUE(Execute(probe, "DROP TABLE PARTES"));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, MissingColumn, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
