// The whole creation against SQLite database files through the real ODBC driver
// manager: every table of the creation list created in the database of its owner,
// and a second run that creates nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include <sql.h>
#include <sqlext.h>

#include "app/connect.h"
#include "app/create_schema.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "dictionary/tables.h"
#include "runtime/program.h"
#include "runtime/sql_driver.h"
#include "support/fake_ui.h"

namespace {

std::string Prop(testing_support::FakeWindowRecord& w, int control, int prop) {
  return w.properties[std::make_pair(control, prop)];
}

void Put(char* var, size_t size, const std::string& text) {
  std::memset(var, 0, size);
  std::strncpy(var, text.c_str(), size - 1);
}

// Names of the tables in one SQLite file, read with the driver manager.
std::set<std::string> TablesIn(const std::string& file) {
  std::set<std::string> names;
  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT st;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string cs = "Driver={SQLite3};Database=" + file;
  if (SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                     SQL_DRIVER_NOPROMPT))) {
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLExecDirect(st, (SQLCHAR*)"SELECT name FROM sqlite_master WHERE type='table'", SQL_NTS);
    char name[256];
    SQLLEN len;
    while (SQL_SUCCEEDED(SQLFetch(st))) {
      SQLGetData(st, 1, SQL_C_CHAR, name, sizeof name, &len);
      names.insert(name);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return names;
}

class CreationOnSqlite : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("ortavia-e2e-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    ::setenv("ORTAVIA_SQL_DRIVER", "SQLite3", 1);
    rt::RegisterSqlDriver();
    app::ProgramErrors().Setup(state_);
    dict::SetReporter(&app::ProgramErrors());
    dict::DictionaryInit();
  }
  void TearDown() override {
    dict::DictionaryKill();
    for (const auto& t : dict::Tables())
      if (rt::HasThreadFile(t.decl)) rt::ReleaseThreadFile(t.decl);
    ::unsetenv("ORTAVIA_SQL_DRIVER");
    std::filesystem::remove_all(dir_);
  }

  // One run of the schema button with the entries typed in.
  void RunOnce(testing_support::FakeWindowLayer& ui) {
    const std::string data = (dir_ / "data.db").string(), server = (dir_ / "server.db").string();
    ui.onBuild = [=](testing_support::FakeWindowRecord& w) {
      if (w.label == "P1$WINDOW") {
        w.afterEvent = [=](testing_support::FakeWindow& win, const rt::ui::Event& ev) {
          if (ev.event != rt::ui::EVENT_OpenWindow) return;
          Put(app::SERVER, sizeof app::SERVER, "localhost");
          Put(app::DB_SERVER, sizeof app::DB_SERVER, server);
          Put(app::DB_DATA, sizeof app::DB_DATA, data);
          Put(app::PWD, sizeof app::PWD, "");
          win.RequestClose();
        };
      }
    };
    app::CreateSchema();
  }

  classlib::ThreadErrorState state_;
  std::filesystem::path dir_;
};

TEST_F(CreationOnSqlite, CreatesEveryMissingTableInItsOwnersDatabaseThenNothing) {
  testing_support::FakeWindowLayer ui;
  RunOnce(ui);
  ASSERT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;

  auto progress = ui.Latest("P1$WIN_CREA");
  ASSERT_TRUE(progress);
  const size_t count = dict::CreationList().size();
  EXPECT_EQ(Prop(*progress, app::kProgressBar, rt::ui::PROP_RangeHigh), std::to_string(count));
  EXPECT_EQ(Prop(*progress, app::kProgressBar, rt::ui::PROP_Progress), std::to_string(count));
  EXPECT_EQ(Prop(*progress, app::kProgressText, rt::ui::PROP_Text), "Proceso terminado.");
  EXPECT_EQ(progress->redraws.size(), count + 1);
  EXPECT_TRUE(progress->destroyed);

  std::set<std::string> data = TablesIn((dir_ / "data.db").string());
  std::set<std::string> server = TablesIn((dir_ / "server.db").string());
  for (const dict::CreationEntry& e : dict::CreationList()) {
    const rt::FileDecl& decl = dict::DeclOf(e.label);
    const std::string name = decl.TableName();
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
  RunOnce(again);
  EXPECT_TRUE(again.boxes.empty());
  EXPECT_EQ(TablesIn((dir_ / "data.db").string()), data);
  EXPECT_EQ(Prop(*again.Latest("P1$WIN_CREA"), app::kProgressText, rt::ui::PROP_Text), "Proceso terminado.");
}

}  // namespace
