// The whole creation through the real ODBC driver manager, against SQLite files,
// the tests' SQL Server stand-in and a PostgreSQL server: every table of the
// creation list created in the database of its owner, a second run that creates
// nothing, and a refused connection that ends the program after its message.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "app/connect.h"
#include "app/create_schema.h"
#include "app/program.h"
#include "classlib/error_reporter.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "dictionary/tables.h"
#include "runtime/base/program.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/connection_entries.h"
#include "support/program_state.h"
#include "support/database_probe.h"
#include "support/dictionary_counts.h"
#include "support/fake_ui.h"
#include "support/observed_odbc.h"

namespace {

std::string Prop(testsupport::FakeWindowRecord& w, int control, int prop) {
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
    if (GetParam() == "SQLite" || GetParam() == "SqlServerStandIn") {
      // The tests' SQL Server stand-in is found by the program's own driver choice.
      const bool standIn = GetParam() == "SqlServerStandIn";
      const std::string driver = standIn ? "SQL Server Stand-in" : "SQLite3";
      b_.odbcDriver = standIn ? "SQL Server" : "SQLite3";
      b_.server = standIn ? "servidor" : "localhost";
      b_.login = standIn ? "sa" : "admin";
      b_.password = standIn ? "clave" : "";
      other_ = b_;
      // Each set of databases is two SQLite files.
      for (auto [b, suffix] : {std::pair{&b_, ""}, std::pair{&other_, "_b"}}) {
        b->dbData = (dir_ / ("data" + std::string(suffix) + ".db")).string();
        b->dbServer = (dir_ / ("server" + std::string(suffix) + ".db")).string();
        b->dataConnection = "Driver={" + driver + "};Database=" + b->dbData;
        b->serverConnection = "Driver={" + driver + "};Database=" + b->dbServer;
      }
    } else {
      const auto pg = testsupport::UsePgTestServer();
      if (!pg) GTEST_SKIP() << "no PostgreSQL test server";
      b_.odbcDriver = "PostgreSQL Unicode";
      b_.server = "127.0.0.1";
      b_.dbData = "ortavia_data";
      b_.dbServer = "ortavia_server";
      b_.login = pg->login;
      b_.password = pg->password;  // holds a comma
      b_.dataConnection = pg->ConnectionString(b_.dbData);
      b_.serverConnection = pg->ConnectionString(b_.dbServer);
      other_ = b_;
      other_.dbData = "ortavia_data_b";
      other_.dbServer = "ortavia_server_b";
      other_.dataConnection = pg->ConnectionString(other_.dbData);
      other_.serverConnection = pg->ConnectionString(other_.dbServer);
      for (const Backend* b : {&b_, &other_}) {
        ASSERT_TRUE(testsupport::EmptySchema(b->dataConnection));
        ASSERT_TRUE(testsupport::EmptySchema(b->serverConnection));
      }
    }
    state_.emplace(testsupport::ProgramState::Options{
        .sqlDriver = b_.odbcDriver, .drivers = true, .dictionary = true, .exitCode = &exitCode_});
  }
  void TearDown() override {
    state_.reset();
    std::filesystem::remove_all(dir_);
  }

  // One press of the schema button with the entries typed in and "&Aceptar".
  void RunOnce(testsupport::FakeWindowLayer& ui, const Backend& b) {
    testsupport::TypeConnectionEntries(ui, {b.server, b.dbServer, b.dbData, b.login, b.password});
    state_->Run(app::CreateSchema);
  }

  // The driver under "MSSQL" from now on: connections of its own, noted in a new observer.
  std::shared_ptr<testsupport::OdbcObserver> ObserveDriver() {
    auto observer = std::make_shared<testsupport::OdbcObserver>();
    rt::RegisterDriver(std::make_shared<rt::SqlDriver>(testsupport::ObservedOdbc(observer)));
    return observer;
  }
  // The run ended well: no message, the last text shown, the program not ended.
  void ExpectCompleted(testsupport::FakeWindowLayer& ui) {
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;
    EXPECT_EQ(exitCode_, -1);
    EXPECT_EQ(Prop(*ui.Latest("P1$WIN_CREA"), app::kProgressText, rt::ui::PROP_Text), "Proceso terminado.");
  }
  std::pair<std::set<std::string>, std::set<std::string>> Schema(const Backend& b) {
    return {testsupport::TablesIn(b.dataConnection), testsupport::TablesIn(b.serverConnection)};
  }

  std::optional<testsupport::ProgramState> state_;
  std::filesystem::path dir_;
  Backend b_, other_;
  int exitCode_ = -1;
};

TEST_P(Creation, CreatesEveryMissingTableInItsOwnersDatabaseThenNothing) {
  testsupport::FakeWindowLayer ui;
  RunOnce(ui, b_);
  ASSERT_TRUE(ui.boxes.empty()) << ui.boxes[0].caption << ": " << ui.boxes[0].text;

  auto progress = ui.Latest("P1$WIN_CREA");
  ASSERT_TRUE(progress);
  const size_t count = dict::CreationList().size();
  EXPECT_EQ(count, testsupport::SqlTableCount());
  EXPECT_EQ(Prop(*progress, app::kProgressBar, rt::ui::PROP_RangeHigh), std::to_string(count));
  EXPECT_EQ(Prop(*progress, app::kProgressBar, rt::ui::PROP_Progress), std::to_string(count));
  EXPECT_EQ(Prop(*progress, app::kProgressText, rt::ui::PROP_Text), "Proceso terminado.");
  EXPECT_EQ(progress->redraws.size(), count + 1);
  EXPECT_EQ(progress->refreshes, 1);
  EXPECT_TRUE(progress->destroyed);

  const std::set<std::string> data = testsupport::TablesIn(b_.dataConnection);
  const std::set<std::string> server = testsupport::TablesIn(b_.serverConnection);
  EXPECT_EQ(data.size(), testsupport::TablesCreatedFor(dict::DataOwner));  // every data table but D_SQL
  EXPECT_EQ(server.size(), testsupport::TablesCreatedFor(dict::ServerOwner));
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
  testsupport::FakeWindowLayer again;
  RunOnce(again, b_);
  EXPECT_TRUE(again.boxes.empty());
  EXPECT_EQ(testsupport::TablesIn(b_.dataConnection), data);
  EXPECT_EQ(testsupport::TablesIn(b_.serverConnection), server);
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
  testsupport::FakeWindowLayer ui;
  RunOnce(ui, b);
  EXPECT_EQ(exitCode_, classlib::kFatalExitCode);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "File Access Error");
  EXPECT_EQ(ui.boxes[0].text.rfind("File USUAR_EXT could not be opened.  Error: ", 0), 0u) << ui.boxes[0].text;
  const std::string suffix = "  Press OK to end this application";
  EXPECT_EQ(ui.boxes[0].text.substr(ui.boxes[0].text.size() - suffix.size()), suffix);

  const std::set<std::string> data = testsupport::TablesIn(b_.dataConnection);
  EXPECT_TRUE(data.count("refereextcove"));
  EXPECT_TRUE(data.count("refereextcoveeq"));
  EXPECT_FALSE(data.count("hdscrap"));  // the creation loop never ran
}

// A password typed into another entry reaches the driver inside that entry's
// value, and the driver's refusal echoes it: neither the trace nor the message
// shown gives it away.
TEST_P(Creation, PasswordTypedIntoAnotherEntryIsNeitherTracedNorShown) {
  if (GetParam() != "PostgreSQL") GTEST_SKIP() << "the file databases echo no entry";
  const std::string secret = "InServ3rSecret";
  const std::pair<const char*, std::string Backend::*> entries[] = {
      {"server", &Backend::server}, {"data database", &Backend::dbData}, {"login", &Backend::login}};
  ::setenv("ORTAVIA_SQL_TRACE", "1", 1);
  for (const auto& [name, entry] : entries) {
    SCOPED_TRACE(name);
    Backend b = b_;
    b.*entry += ";PWD=" + secret;
    testsupport::FakeWindowLayer ui;
    exitCode_ = -1;
    ::testing::internal::CaptureStderr();
    RunOnce(ui, b);
    const std::string trace = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(exitCode_, classlib::kFatalExitCode);
    ASSERT_EQ(ui.boxes.size(), 1u);
    const std::string& shown = ui.boxes[0].text;
    EXPECT_NE(shown.find("PWD=********"), std::string::npos) << "the driver's message echoes the entry: " << shown;
    EXPECT_EQ(shown.find(secret), std::string::npos) << shown;
    EXPECT_EQ(trace.find(secret), std::string::npos) << trace;
  }
  ::unsetenv("ORTAVIA_SQL_TRACE");
}

// On the SQLite driver the database entries are file names, written into the
// connection string without braces: an entry that would need them names
// another file, so it is refused before anything opens; other names are the
// files' names as typed.
TEST_P(Creation, OnSqliteAnEntryThatWouldNameAnotherFileIsRefusedAndOtherNamesAreKept) {
  if (GetParam() != "SQLite") GTEST_SKIP() << "only the SQLite driver reads no braces";
  const auto in = [this](const char* name) { return (dir_ / name).string(); };
  struct Case {
    std::string server, dbServer, dbData;
    const char* prompt;
  } cases[] = {
      {"srv", in("sistema.db"), in("a;b.db"), "Base de Datos - DATA"},
      {"srv", in("sistema.db"), in("{d"), "Base de Datos - DATA"},
      {"srv", in("sistema.db"), in("di\"jo.db"), "Base de Datos - DATA"},
      {"srv", in("x}.db"), in("datos.db"), "Base de Datos - SERVER"},
      {"srv", in("a,b.db"), in("datos.db"), "Base de Datos - SERVER"},
      // The server entry stands before the databases: its attributes would win.
      {"s;Database=" + in("o.db"), in("sistema.db"), in("datos.db"), "Servidor"},
      {"srv", in("a;b.db"), in("{d"), "Base de Datos - DATA"},  // the first in the check's order
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server + "|" + c.dbServer + "|" + c.dbData);
    Backend b = b_;
    b.server = c.server;
    b.dbServer = c.dbServer;
    b.dbData = c.dbData;
    testsupport::FakeWindowLayer ui;
    RunOnce(ui, b);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text,
              std::string("No se pudo iniciar creaci\xC3\xB3n de bases de datos. Caracteres no v\xC3\xA1lidos en ") +
                  c.prompt);
    EXPECT_EQ(exitCode_, -1);
    EXPECT_FALSE(ui.Latest("P1$WIN_CREA")->opened);
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
  }

  // Blanks, accents, brackets, quotes and signs are names like any other; the
  // login is no file name and is not looked at.
  Backend b = b_;
  b.server = "servidor local";
  b.dbData = in("datos (copia) \xC3\xB1.db");
  b.dbServer = in("it's a=b+c-d.db");
  b.login = "admin;x";
  testsupport::FakeWindowLayer ui;
  RunOnce(ui, b);
  ExpectCompleted(ui);
  std::set<std::string> files;
  for (const auto& f : std::filesystem::directory_iterator(dir_)) files.insert(f.path().filename().string());
  EXPECT_EQ(files, (std::set<std::string>{"datos (copia) \xC3\xB1.db", "it's a=b+c-d.db"}));
  EXPECT_EQ(testsupport::TablesIn("Driver={SQLite3};Database=" + b.dbData).size(),
            testsupport::TablesCreatedFor(dict::DataOwner));
}

TEST_P(Creation, EachRunWorksOnTheDatabasesEnteredForIt) {
  auto observer = ObserveDriver();
  testsupport::FakeWindowLayer first;
  RunOnce(first, b_);
  ExpectCompleted(first);
  const auto schema = Schema(b_);
  const std::vector<std::string> creation = observer->statements;
  EXPECT_EQ(schema.first.size(), testsupport::TablesCreatedFor(dict::DataOwner));
  EXPECT_EQ(schema.second.size(), testsupport::TablesCreatedFor(dict::ServerOwner));

  // Other databases: everything is created there, with the same statements.
  observer->statements.clear();
  testsupport::FakeWindowLayer second;
  RunOnce(second, other_);
  ExpectCompleted(second);
  EXPECT_EQ(Schema(other_), schema);
  EXPECT_EQ(observer->statements, creation);
  EXPECT_EQ(observer->connects, 4);

  // The first databases again: found whole, nothing sent, their connections still open.
  observer->statements.clear();
  testsupport::FakeWindowLayer third;
  RunOnce(third, b_);
  ExpectCompleted(third);
  EXPECT_TRUE(observer->statements.empty()) << observer->statements.front();
  EXPECT_EQ(observer->connects, 4);
  EXPECT_EQ(Schema(b_), schema);
}

TEST_P(Creation, ServerRestartedBetweenRunsIsReachedAgain) {
  if (GetParam() != "PostgreSQL") GTEST_SKIP() << "a file database has no server to restart";
  auto observer = ObserveDriver();
  testsupport::FakeWindowLayer first;
  RunOnce(first, b_);
  ExpectCompleted(first);
  ASSERT_TRUE(testsupport::RestartPostgres());
  testsupport::FakeWindowLayer second;
  RunOnce(second, b_);
  ExpectCompleted(second);
  EXPECT_EQ(observer->connects, 4);
}

// A run stopped inside the creation of HDSCRAP (a table and six indexes).
struct Interruption {
  const char* name;
  bool killed;      // the process is killed; otherwise its connection is cut
  size_t after;     // HDSCRAP's statements the server took before the stop
};

TEST_P(Creation, InterruptedRunLeavesNoPartOfATableAndTheNextCompletesTheSchema) {
  // The statements of a run never interrupted, on the other databases.
  auto observer = ObserveDriver();
  testsupport::FakeWindowLayer clean;
  RunOnce(clean, other_);
  ExpectCompleted(clean);
  const std::vector<std::string> all = observer->statements;
  const auto hdscrap = std::find_if(all.begin(), all.end(),
                                    [](const std::string& s) { return s.rfind("CREATE TABLE HDSCRAP ", 0) == 0; });
  ASSERT_NE(hdscrap, all.end());
  const std::vector<std::string> rest(hdscrap, all.end());
  const auto full = Schema(other_);

  const Interruption cases[] = {
      {"killed after CREATE TABLE", true, 1},
      {"killed after two indexes", true, 3},
      {"connection lost after two indexes", false, 3},
  };
  for (const Interruption& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.killed && GetParam() != "PostgreSQL") continue;
    for (const std::string& connection : {b_.dataConnection, b_.serverConnection}) {
      if (GetParam() == "PostgreSQL") {
        ASSERT_TRUE(testsupport::EmptySchema(connection));
      } else {
        std::filesystem::remove(connection.substr(connection.find("Database=") + 9));
      }
    }
    auto stopAt = [&, taken = size_t{0}, inside = false](const std::string& sql, bool ok) mutable {
      if (sql.rfind("CREATE TABLE HDSCRAP ", 0) == 0) inside = true;
      if (!inside || !ok || ++taken != c.after) return;
      if (c.killed) ::kill(::getpid(), SIGKILL);
      testsupport::DropPostgresSessions(b_.login);
    };
    if (c.killed) {
      const pid_t child = fork();
      ASSERT_NE(child, -1);
      if (child == 0) {
        ObserveDriver()->afterStatement = stopAt;
        testsupport::FakeWindowLayer ui;
        RunOnce(ui, b_);
        ::_exit(3);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    } else {
      ObserveDriver()->afterStatement = stopAt;
      testsupport::FakeWindowLayer ui;
      RunOnce(ui, b_);
      ASSERT_EQ(ui.boxes.size(), 1u);
      EXPECT_EQ(ui.boxes[0].caption, "File Creation Error");
      EXPECT_NE(ui.boxes[0].text.find("creating HDSCRAP"), std::string::npos) << ui.boxes[0].text;
      exitCode_ = -1;
    }
    EXPECT_FALSE(testsupport::TablesIn(b_.dataConnection).count("hdscrap"));

    // The next run sends exactly what a run never interrupted sends from HDSCRAP on.
    observer = ObserveDriver();
    testsupport::FakeWindowLayer next;
    RunOnce(next, b_);
    ExpectCompleted(next);
    // Before HDSCRAP only the migration's statements, which depend on what the databases hold.
    const auto& sent = observer->statements;
    const auto from = std::find(sent.begin(), sent.end(), rest.front());
    EXPECT_EQ(std::vector<std::string>(from, sent.end()), rest);
    for (auto it = sent.begin(); it != from; ++it) EXPECT_NE(it->rfind("CREATE ", 0), 0u) << *it;
    EXPECT_EQ(Schema(b_), full);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Creation, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
