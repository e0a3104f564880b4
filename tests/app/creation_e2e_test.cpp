// The whole creation through the real ODBC driver manager, against SQLite files,
// the tests' SQL Server stand-in and a PostgreSQL server: every table of the
// creation list created in the database of its owner, a second run that creates
// nothing, and a refused connection that ends the program after its message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "app/connect.h"
#include "app/create_schema.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "dictionary/tables.h"
#include "runtime/program.h"
#include "runtime/sql_driver.h"
#include "support/connection_entries.h"
#include "support/database_probe.h"
#include "support/fake_ui.h"

namespace {

std::string Prop(testing_support::FakeWindowRecord& w, int control, int prop) {
  return w.properties[std::make_pair(control, prop)];
}

// What the user types into "Crea Esquema", and how the test reads the result.
struct Backend {
  std::string odbcDriver;
  std::string server, dbServer, dbData, login, password;
  std::string dataConnection, serverConnection;
};

class Creation : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("ortavia-e2e-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    if (GetParam() == "SQLite") {
      b_.odbcDriver = "SQLite3";
      b_.server = "localhost";
      b_.dbData = (dir_ / "data.db").string();
      b_.dbServer = (dir_ / "server.db").string();
      b_.login = "admin";
      b_.dataConnection = "Driver={SQLite3};Database=" + b_.dbData;
      b_.serverConnection = "Driver={SQLite3};Database=" + b_.dbServer;
    } else if (GetParam() == "SqlServerStandIn") {
      // The tests' SQL Server stand-in, found by the program's own driver choice.
      b_.odbcDriver = "SQL Server";
      b_.server = "servidor";
      b_.dbData = (dir_ / "data.db").string();
      b_.dbServer = (dir_ / "server.db").string();
      b_.login = "sa";
      b_.password = "clave";
      b_.dataConnection = "Driver={SQL Server Stand-in};Database=" + b_.dbData;
      b_.serverConnection = "Driver={SQL Server Stand-in};Database=" + b_.dbServer;
    } else {
      const auto pg = testing_support::UsePgTestServer();
      if (!pg) GTEST_SKIP() << "no PostgreSQL test server";
      b_.odbcDriver = "PostgreSQL Unicode";
      b_.server = "127.0.0.1";
      b_.dbData = "ortavia_data";
      b_.dbServer = "ortavia_server";
      b_.login = pg->login;
      b_.password = pg->password;  // holds a comma
      b_.dataConnection = pg->ConnectionString(b_.dbData);
      b_.serverConnection = pg->ConnectionString(b_.dbServer);
      ASSERT_TRUE(testing_support::EmptySchema(b_.dataConnection));
      ASSERT_TRUE(testing_support::EmptySchema(b_.serverConnection));
    }
    ::setenv("ORTAVIA_SQL_DRIVER", b_.odbcDriver.c_str(), 1);
    rt::RegisterSqlDriver();
    app::ProgramErrors().Setup(state_);
    dict::SetReporter(&app::ProgramErrors());
    dict::DictionaryInit();
    rt::SetHaltHandler([this](int code) { exitCode_ = code; });
  }
  void TearDown() override {
    rt::SetHaltHandler({});
    dict::DictionaryKill();
    for (const auto& t : dict::Tables())
      if (rt::HasThreadFile(t.decl)) rt::ReleaseThreadFile(t.decl);
    ::unsetenv("ORTAVIA_SQL_DRIVER");
    std::filesystem::remove_all(dir_);
  }

  // One press of the schema button with the entries typed in and "&Aceptar".
  void RunOnce(testing_support::FakeWindowLayer& ui, const Backend& b) {
    testing_support::TypeConnectionEntries(ui, {b.server, b.dbServer, b.dbData, b.login, b.password});
    try {
      app::CreateSchema();
    } catch (const rt::ProgramHalted& halted) {
      exitCode_ = halted.exitCode;
    }
  }

  classlib::ThreadErrorState state_;
  std::filesystem::path dir_;
  Backend b_;
  int exitCode_ = -1;
};

TEST_P(Creation, CreatesEveryMissingTableInItsOwnersDatabaseThenNothing) {
  testing_support::FakeWindowLayer ui;
  RunOnce(ui, b_);
  ASSERT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;

  auto progress = ui.Latest("P1$WIN_CREA");
  ASSERT_TRUE(progress);
  const size_t count = dict::CreationList().size();
  EXPECT_EQ(count, 333u);
  EXPECT_EQ(Prop(*progress, app::kProgressBar, rt::ui::PROP_RangeHigh), std::to_string(count));
  EXPECT_EQ(Prop(*progress, app::kProgressBar, rt::ui::PROP_Progress), std::to_string(count));
  EXPECT_EQ(Prop(*progress, app::kProgressText, rt::ui::PROP_Text), "Proceso terminado.");
  EXPECT_EQ(progress->redraws.size(), count + 1);
  EXPECT_EQ(progress->refreshes, 1);
  EXPECT_TRUE(progress->destroyed);

  const std::set<std::string> data = testing_support::TablesIn(b_.dataConnection);
  const std::set<std::string> server = testing_support::TablesIn(b_.serverConnection);
  EXPECT_EQ(data.size(), 322u);  // every data table but D_SQL
  EXPECT_EQ(server.size(), 10u);
  for (const dict::CreationEntry& e : dict::CreationList()) {
    const rt::FileDecl& decl = dict::DeclOf(e.label);
    std::string name = decl.TableName();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    const bool inServer = decl.ownerVar == &dict::ServerOwner;
    if (e.label == "D_SQL") {
      EXPECT_FALSE(data.count(name)) << "D_SQL is never checked, so never created";
      continue;
    }
    EXPECT_TRUE((inServer ? server : data).count(name)) << e.label << " as " << name;
    EXPECT_FALSE((inServer ? data : server).count(name)) << e.label << " in the wrong database";
  }

  // Over the existing schema nothing is created and the run still ends well.
  testing_support::FakeWindowLayer again;
  RunOnce(again, b_);
  EXPECT_TRUE(again.boxes.empty());
  EXPECT_EQ(testing_support::TablesIn(b_.dataConnection), data);
  EXPECT_EQ(testing_support::TablesIn(b_.serverConnection), server);
  EXPECT_EQ(Prop(*again.Latest("P1$WIN_CREA"), app::kProgressText, rt::ui::PROP_Text), "Proceso terminado.");
}

TEST_P(Creation, RefusedConnectionEndsTheProgramAfterItsMessageKeepingEarlierTables) {
  // The server database cannot be reached: the migration creates the two changed
  // tables of the data database, then cannot make USUAR_EXT and the program ends.
  Backend b = b_;
  if (GetParam() != "PostgreSQL") {
    b.dbServer = (dir_ / "missing" / "server.db").string();
  } else {
    b.dbServer = "no_such_database";
  }
  testing_support::FakeWindowLayer ui;
  RunOnce(ui, b);
  EXPECT_EQ(exitCode_, 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "File Access Error");
  EXPECT_EQ(ui.boxes[0].text.rfind("File USUAR_EXT could not be opened.  Error: ", 0), 0u) << ui.boxes[0].text;
  const std::string suffix = "  Press OK to end this application";
  EXPECT_EQ(ui.boxes[0].text.substr(ui.boxes[0].text.size() - suffix.size()), suffix);

  const std::set<std::string> data = testing_support::TablesIn(b_.dataConnection);
  EXPECT_TRUE(data.count("refereextcove"));
  EXPECT_TRUE(data.count("refereextcoveeq"));
  EXPECT_FALSE(data.count("hdscrap"));  // the creation loop never ran
}

INSTANTIATE_TEST_SUITE_P(Backends, Creation, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
