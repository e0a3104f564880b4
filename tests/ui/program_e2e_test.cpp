// The whole program on the real windows, driven as a user would: the schema
// button, the connection window typed in and accepted, the progress window
// watched table by table and closed, a second press over the existing schema,
// then the exit button. Against SQLite files, the tests' SQL Server stand-in and
// a PostgreSQL server; on the stand-in also an old-layout table migrated with
// its rows and a local file's records.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include <sql.h>
#include <sqlext.h>

#include "app/connect.h"
#include "app/create_schema.h"
#include "app/migrate.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "runtime/base/program.h"
#include "runtime/decl/file_block.h"
#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/database_probe.h"
#include "support/dictionary_counts.h"
#include "support/migration_prelude.h"
#include "support/program_state.h"
#include "ui/ui_support.h"

namespace {

const QString kFrameTitle = QStringLiteral("Quorvex SQL 13.2");
const QString kConnectTitle = QStringLiteral("Crea Esquema");
const QString kDone = QStringLiteral("Proceso terminado.");

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

void EmptySchema(const std::string& connection) {
  ASSERT_TRUE(testsupport::EmptySchema(connection)) << "cannot connect: " << connection;
}

// What the progress window showed each time its text was painted.
struct Shown {
  QString text;
  int value;
  int high;
  bool operator==(const Shown&) const = default;
};

// Records the progress window's text and bar as painted, the way the user sees them.
class ProgressWatcher : public QObject {
 public:
  std::vector<Shown> seen;

 protected:
  bool eventFilter(QObject* obj, QEvent* ev) override {
    if (ev->type() == QEvent::Paint && obj->objectName() == QLatin1String("?STRING1")) {
      auto* label = qobject_cast<QLabel*>(obj);
      auto* bar = label ? label->window()->findChild<QProgressBar*>(QStringLiteral("?PROGOUTLOOK")) : nullptr;
      if (bar) {
        const Shown now{label->text(), bar->value(), bar->maximum()};
        if (seen.empty() || !(seen.back() == now)) seen.push_back(now);
      }
    }
    return false;
  }
};

// The visible progress window once its text reads "Proceso terminado.", else nullptr.
QWidget* FinishedProgressWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible()) continue;
    auto* label = w->findChild<QLabel*>(QStringLiteral("?STRING1"));
    if (label && label->text() == kDone) return w;
  }
  return nullptr;
}

bool ProgressWindowShown() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->findChild<QProgressBar*>(QStringLiteral("?PROGOUTLOOK"))) return true;
  return false;
}

// One table of the creation list: its label, its name on the server, its database.
struct ListEntry {
  std::string label, table;
  bool inServer;
};

// One press of the schema button, up to the progress window closed again.
struct Pass {
  // Server, server database, data database, login, password: as the window
  // opened, and as accepted.
  QStringList connectShown, accepted;
  std::vector<Shown> painted;
  Shown finalState{};
  QString barText;
  std::vector<ListEntry> list;
  std::set<std::string> dataTables, serverTables;  // read right after the window closed
};

class ProgramEndToEnd : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "SQLite") {
      odbcDriver_ = "SQLite3";
      server_ = "localhost";
      dbData_ = (cwd_.dir() / "data.db").string();
      dbServer_ = (cwd_.dir() / "server.db").string();
      login_ = "admin";
      dataConnection_ = "Driver={SQLite3};Database=" + dbData_;
      serverConnection_ = "Driver={SQLite3};Database=" + dbServer_;
    } else if (GetParam() == "SqlServerStandIn") {
      // Found by the program's own choice of a driver whose name begins with "SQL Server".
      odbcDriver_ = "SQL Server";
      server_ = "servidor";
      dbData_ = (cwd_.dir() / "data.db").string();
      dbServer_ = (cwd_.dir() / "server.db").string();
      login_ = "sa";
      password_ = "clave";
      dataConnection_ = "Driver={SQL Server Stand-in};Database=" + dbData_;
      serverConnection_ = "Driver={SQL Server Stand-in};Database=" + dbServer_;
    } else {
      const auto pg = testsupport::UsePgTestServer();
      if (!pg) GTEST_SKIP() << "no PostgreSQL test server";
      odbcDriver_ = "PostgreSQL Unicode";
      server_ = "127.0.0.1";
      dbData_ = "ortavia_data";
      dbServer_ = "ortavia_server";
      login_ = pg->login;
      password_ = pg->password;
      dataConnection_ = pg->ConnectionString(dbData_);
      serverConnection_ = pg->ConnectionString(dbServer_);
      EmptySchema(dataConnection_);
      EmptySchema(serverConnection_);
    }
    state_.emplace(testsupport::ProgramState::Options{
        .sqlDriver = odbcDriver_, .drivers = true, .halt = testsupport::Halt::kAsIs});
    // The entries start empty, as at the program's start, whatever an earlier test typed.
    for (char* entry : {app::SERVER, app::DB_SERVER, app::DB_DATA, app::USUARIO, app::PWD}) entry[0] = '\0';
    qApp->installEventFilter(&watcher_);
  }
  void TearDown() override {
    qApp->removeEventFilter(&watcher_);
    state_.reset();
  }
  std::optional<testsupport::ProgramState> state_;

  // Records what the window shows, types the entries on the first pass (on the
  // second it shows them kept) and the login whenever it is not "admin", the
  // login the window shows each time it opens.
  void FillConnection(QWidget* w, Pass& pass, bool typeIn) {
    for (const char* entry : {"?SERVER", "?DB_SERVER", "?DB_DATA", "?USUARIO", "?PWD"})
      pass.connectShown << testsupport::Text(w, entry);
    if (typeIn) {
      testsupport::Type(testsupport::Control(w, "?SERVER"), QString::fromStdString(server_));
      testsupport::Type(testsupport::Control(w, "?DB_SERVER"), QString::fromStdString(dbServer_));
      testsupport::Type(testsupport::Control(w, "?DB_DATA"), QString::fromStdString(dbData_));
      testsupport::Type(testsupport::Control(w, "?PWD"), QString::fromStdString(password_));
    }
    if (login_ != "admin") {
      auto* login = testsupport::Control<QLineEdit>(w, "?USUARIO");
      login->selectAll();
      testsupport::PressKey(login, Qt::Key_Delete);
      testsupport::Type(login, QString::fromStdString(login_));
    }
    for (const char* entry : {"?SERVER", "?DB_SERVER", "?DB_DATA", "?USUARIO", "?PWD"})
      pass.accepted << testsupport::Text(w, entry);
    testsupport::Click(w, "?OKBUTTON");
  }

  // Presses the schema button; when the progress window has finished, records
  // it and closes it with Escape; then goes on with then().
  void PressSchemaButton(QWidget* frame, Pass& pass, bool typeIn, std::function<void()> then) {
    testsupport::WhenShown(kConnectTitle, [this, &pass, typeIn](QWidget* w) { FillConnection(w, pass, typeIn); });
    testsupport::When([] { return FinishedProgressWindow() != nullptr; }, [this, &pass, then] {
      QWidget* w = FinishedProgressWindow();
      auto* bar = w->findChild<QProgressBar*>(QStringLiteral("?PROGOUTLOOK"));
      pass.finalState = {w->findChild<QLabel*>(QStringLiteral("?STRING1"))->text(), bar->value(), bar->maximum()};
      pass.painted = std::move(watcher_.seen);
      watcher_.seen.clear();
      for (const dict::CreationEntry& e : dict::CreationList()) {
        const rt::FileDecl& decl = dict::DeclOf(e.label);
        pass.list.push_back({std::string(e.label), Lower(decl.TableName()), decl.ownerVar == &dict::ServerOwner});
      }
      testsupport::PressKey(w, Qt::Key_Escape);
      testsupport::When([] { return !ProgressWindowShown() && testsupport::TopWindow(kFrameTitle); }, [this, &pass, then] {
        pass.dataTables = testsupport::TablesIn(dataConnection_);
        pass.serverTables = testsupport::TablesIn(serverConnection_);
        then();
      });
    });
    testsupport::Click(frame, "?BUTTON1");
  }

  // Runs the program from its process entry to its end, as its main does.
  int RunProgram() {
    testsupport::ProgramState state({.resetModules = true});
    state.Run(app::ProgramEntry);
    return state.exitCode();
  }

  // Any message box is a failure here: notes it in boxes and answers it so the run ends.
  static void AnswerBoxes(QTimer& watch, QStringList& boxes) {
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&boxes] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes << box->windowTitle() + ": " + box->text();
        box->button(QMessageBox::Ok)->click();
      }
    });
    watch.start();
  }

  testsupport::TempCwd cwd_;
  ProgressWatcher watcher_;
  std::string odbcDriver_, server_, dbServer_, dbData_, login_, password_;
  std::string dataConnection_, serverConnection_;
};

TEST_P(ProgramEndToEnd, SchemaButtonCreatesEveryTableWatchedTableByTableThenNothingOnTheSecondPress) {
  Pass first, second;
  QStringList boxes;
  QTimer boxWatch;
  AnswerBoxes(boxWatch, boxes);
  testsupport::WhenShown(kFrameTitle, [&](QWidget* frame) {
    PressSchemaButton(frame, first, true, [&, frame] {
      PressSchemaButton(frame, second, false, [frame] { testsupport::Click(frame, "?BUTTON2"); });
    });
  });
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_TRUE(boxes.isEmpty()) << boxes.join("\n").toStdString();
  EXPECT_EQ(testsupport::TopWindow(kFrameTitle), nullptr);
  EXPECT_TRUE(std::filesystem::exists(cwd_.dir() / "Ortavia.INI"));

  // The connection window took what was typed; the second time it showed it
  // kept, but for the login, "admin" again.
  const QStringList typed = {QString::fromStdString(server_), QString::fromStdString(dbServer_),
                             QString::fromStdString(dbData_), QString::fromStdString(login_),
                             QString::fromStdString(password_)};
  EXPECT_EQ(first.connectShown, (QStringList{"", "", "", "admin", ""}));
  QStringList kept = typed;
  kept[3] = "admin";
  EXPECT_EQ(second.connectShown, kept);
  EXPECT_EQ(first.accepted, typed);
  EXPECT_EQ(second.accepted, typed);

  const int sqlTables = static_cast<int>(testsupport::SqlTableCount());
  ASSERT_EQ(first.list.size(), static_cast<size_t>(sqlTables));
  for (const Pass* pass : {&first, &second}) {
    // Every table's label with the bar at its place in the list, in list order,
    // each painted before its table was opened; then the end, bar full.
    std::vector<Shown> steps;
    for (const Shown& s : pass->painted)
      if (s.text.startsWith(QStringLiteral("Creando archivo: "))) steps.push_back(s);
    ASSERT_EQ(steps.size(), pass->list.size());
    for (size_t k = 0; k < steps.size(); ++k) {
      const Shown want{QString::fromStdString("Creando archivo: " + pass->list[k].label + " "), int(k) + 1, sqlTables};
      ASSERT_EQ(steps[k], want) << "step " << k + 1 << " shows " << steps[k].text.toStdString();
    }
    EXPECT_EQ(pass->painted.back(), (Shown{kDone, sqlTables, sqlTables}));
    EXPECT_EQ(pass->finalState, (Shown{kDone, sqlTables, sqlTables}));
  }
  // The label shown is the dictionary's, not the table's name on the server.
  EXPECT_EQ(first.list[1].label, "DetEntAutorizaciones");
  EXPECT_EQ(first.list[1].table, "detentaut");

  // After the first press every table but D_SQL is in the database of its owner.
  EXPECT_EQ(first.dataTables.size(), testsupport::TablesCreatedFor(dict::DataOwner));
  EXPECT_EQ(first.serverTables.size(), testsupport::TablesCreatedFor(dict::ServerOwner));
  for (const ListEntry& e : first.list) {
    const auto& own = e.inServer ? first.serverTables : first.dataTables;
    const auto& other = e.inServer ? first.dataTables : first.serverTables;
    if (e.label == "D_SQL") {
      EXPECT_FALSE(first.dataTables.count(e.table)) << "D_SQL is never checked, so never created";
      continue;
    }
    EXPECT_TRUE(own.count(e.table)) << e.label << " as " << e.table;
    EXPECT_FALSE(other.count(e.table)) << e.label << " in the wrong database";
  }
  // The second press created nothing.
  EXPECT_EQ(second.dataTables, first.dataTables);
  EXPECT_EQ(second.serverTables, first.serverTables);
}

INSTANTIATE_TEST_SUITE_P(Backends, ProgramEndToEnd, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

// The schema button over an old-layout RefereExtCove holding rows, with a local
// file of the old layout beside the program: the server's own rename, every row
// and record in the new table, the renamed table dropped, the file removed.
class ProgramMigration : public ProgramEndToEnd {};

TEST_P(ProgramMigration, SchemaButtonCarriesAnOldRefereExtCoveAndALocalFileLosingNoRow) {
  {
    // Made through the SQL driver, as the old program made it.
    rt::FileDecl old = app::MigrationFile("XRefereExtCove1").decl;
    old.tableName = "RefereExtCove";
    old.attrs |= rt::kFileCreate;
    dict::DataOwner.Set(rt::BuildOwner(server_.c_str(), dbData_.c_str(), login_.c_str(), password_.c_str()));
    rt::CREATE(rt::ThreadFile(old));
    ASSERT_EQ(rt::LastErrorCode(), 0) << rt::ErrorTextForMessage();
    rt::ReleaseThreadFile(old);
  }
  testsupport::Rows(dataConnection_, "INSERT INTO RefereExtCove (UNICO, FACTURA, INDUSTRIAAUTOMOTRIZ) VALUES "
                                         "(2, 'T-2', 1), (1, 'T-1', 1)");
  const std::string localFile = "Driver={SQLite3};Database=" + (cwd_.dir() / "XRefereExtCove.TPS").string();
  testsupport::Rows(localFile, testsupport::LocalCoveTable("XRefereExtCove"));
  testsupport::Rows(localFile, "INSERT INTO XRefereExtCove (UNICO, FACTURA) VALUES (3, 'L-3')");
  ASSERT_EQ(testsupport::Rows(dataConnection_, "SELECT count(*) FROM RefereExtCove"),
            std::vector<std::string>{"2"});

  Pass pass;
  QStringList boxes;
  QTimer boxWatch;
  AnswerBoxes(boxWatch, boxes);
  testsupport::WhenShown(kFrameTitle, [&](QWidget* frame) {
    PressSchemaButton(frame, pass, true, [frame] { testsupport::Click(frame, "?BUTTON2"); });
  });
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_TRUE(boxes.isEmpty()) << boxes.join("\n").toStdString();
  const int sqlTables = static_cast<int>(testsupport::SqlTableCount());
  EXPECT_EQ(pass.finalState, (Shown{kDone, sqlTables, sqlTables}));
  EXPECT_EQ(testsupport::Rows(dataConnection_, "SELECT UNICO || '|' || FACTURA || '|' || UNICOHCOVE"
                                                   " FROM RefereExtCove ORDER BY UNICO"),
            (std::vector<std::string>{"1|T-1|0", "2|T-2|0", "3|L-3|0"}));
  EXPECT_TRUE(pass.dataTables.count("refereextcove"));
  EXPECT_FALSE(pass.dataTables.count("xrefereextcove"));
  EXPECT_FALSE(std::filesystem::exists(cwd_.dir() / "XRefereExtCove.TPS"));
}

INSTANTIATE_TEST_SUITE_P(StandIn, ProgramMigration, ::testing::Values("SqlServerStandIn"),
                         [](const auto& info) { return info.param; });

}  // namespace
