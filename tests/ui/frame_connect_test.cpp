// The main frame and the connection window, driven offscreen as the user would.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <cstring>
#include <functional>
#include <optional>

#include "app/connect.h"
#include "app/create_schema.h"
#include "app/frame.h"
#include "app/program.h"
#include "app/test_hooks.h"
#include "classlib/ini_store.h"
#include "dictionary/names.h"
#include "runtime/qt/qt_window.h"
#include "ui/ui_support.h"

namespace {
namespace ui = rt::ui;
using testsupport::WhenShown;

const QString kFrameTitle = QStringLiteral("Quorvex SQL 13.2");
const QString kConnectTitle = QStringLiteral("Crea Esquema");

std::optional<std::string> Ini(const char* key) {
  return classlib::ProfileFile::Load("Ortavia.INI").Get("Main", key);
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override { app::ProgramIni().Setup("Ortavia.INI"); }
  void TearDown() override {
    app::ProgramIni().Teardown();
    app::SetSchemaButtonAction({});
  }
  testsupport::TempCwd cwd_;
};

TEST_F(FrameTest, ShowsTitleAndToolbarAndExitButtonSavesSectionMain) {
  bool seen = false;
  WhenShown(kFrameTitle, [&](QWidget* frame) {
    seen = true;
    auto* schema = testsupport::Control<QPushButton>(frame, "?BUTTON1");
    auto* exit = testsupport::Control<QPushButton>(frame, "?BUTTON2");
    ASSERT_TRUE(schema && exit);
    EXPECT_FALSE(schema->icon().isNull());
    EXPECT_FALSE(exit->icon().isNull());
    EXPECT_NE(frame->findChild<QWidget*>("?PANEL1"), nullptr);
    exit->click();
  });
  EXPECT_FALSE(Ini("XPos"));
  app::Main();
  EXPECT_TRUE(seen);
  EXPECT_EQ(testsupport::TopWindow(kFrameTitle), nullptr);
  for (const char* key : {"XPos", "YPos", "Width", "Height"}) EXPECT_TRUE(Ini(key)) << key;
  EXPECT_EQ(Ini("Maximize"), "No");
  EXPECT_EQ(Ini("Minimize"), "No");
  EXPECT_EQ(Ini("Width"), "505");
  EXPECT_EQ(Ini("Height"), "318");
}

TEST_F(FrameTest, SchemaButtonRunsTheCreationEachTimeWhileTheFrameWaits) {
  int runs = 0;
  app::SetSchemaButtonAction([&] {
    ++runs;
    EXPECT_EQ(ui::AcceptedControl(), app::kSchemaButton);
    EXPECT_NE(testsupport::TopWindow(kFrameTitle), nullptr);
  });
  WhenShown(kFrameTitle, [&](QWidget* frame) {
    testsupport::Click(frame, "?BUTTON1");
    testsupport::Click(frame, "?BUTTON1");
    testsupport::Click(frame, "?BUTTON2");
  });
  app::Main();
  EXPECT_EQ(runs, 2);
}

// Presses the schema button with the creation procedure behind it, fills the
// connection window and leaves it by a button; answers the message box that
// follows and ends the program. Returns the box's "caption|text".
QString MessageAfterConnectWindow(const std::function<void(QWidget*)>& fill, const char* button) {
  app::SetSchemaButtonAction(app::CreateSchema);
  QString message;
  WhenShown(kFrameTitle, [&](QWidget* frame) {
    WhenShown(kConnectTitle, [&](QWidget* connect) {
      fill(connect);
      testsupport::Click(connect, button);
      testsupport::When([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        message = box->windowTitle() + "|" + box->text();
        box->button(QMessageBox::Ok)->click();
        WhenShown(kFrameTitle, [](QWidget* f) { testsupport::Click(f, "?BUTTON2"); });
      });
    });
    testsupport::Click(frame, "?BUTTON1");
  });
  app::Main();
  return message;
}

TEST_F(FrameTest, SchemaButtonThenCancelarShowsTheMissingDataMessageAndReturnsToTheFrame) {
  const QString message = MessageAfterConnectWindow(
      [](QWidget* connect) { testsupport::Type(testsupport::Control(connect, "?SERVER"), "srv"); }, "?CANCELBUTTON");
  EXPECT_EQ(message, QString::fromUtf8("Error|No se pudo iniciar creación de bases de datos. Datos faltantes"));
  EXPECT_STREQ(app::SERVER, "");
}

TEST_F(FrameTest, EntryTheCodePageCannotHoldIsRefusedWithItsMessage) {
  dict::DataOwner.Set("before");
  const QString message = MessageAfterConnectWindow(
      [](QWidget* connect) {
        testsupport::Type(testsupport::Control(connect, "?SERVER"), "srv");
        testsupport::Type(testsupport::Control(connect, "?DB_SERVER"), QString::fromUtf8("a\xC3\xB1o"));  // the code page holds it
        testsupport::Type(testsupport::Control(connect, "?DB_DATA"),
                     QString::fromUtf8("\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5.db"));
      },
      "?OKBUTTON");
  EXPECT_EQ(message,
            QString::fromUtf8("Error|No se pudo iniciar creación de bases de datos. Caracteres no válidos en Base de Datos - DATA"));
  EXPECT_EQ(dict::DataOwner.Get(), "before");
  EXPECT_STREQ(app::DB_SERVER, "a\xF1o");
}

TEST_F(FrameTest, NextStartRestoresPositionAndSize) {
  WhenShown(kFrameTitle, [](QWidget* frame) {
    frame->move(90, 60);
    frame->resize(640, 420);
    testsupport::Click(frame, "?BUTTON2");
  });
  app::Main();
  const auto x = Ini("XPos"), y = Ini("YPos"), w = Ini("Width"), h = Ini("Height");
  ASSERT_TRUE(x && y && w && h);
  EXPECT_NE(*w, "505");

  QPoint pos;
  QSize size;
  WhenShown(kFrameTitle, [&](QWidget* frame) {
    pos = frame->pos();
    size = frame->size();
    frame->close();  // the system menu's close saves as well
  });
  app::Main();
  // Within the rounding of one layout unit of where the first run left it.
  EXPECT_NEAR(pos.x(), 90, 2);
  EXPECT_NEAR(pos.y(), 60, 2);
  EXPECT_NEAR(size.width(), 640, 2);
  EXPECT_NEAR(size.height(), 420, 2);
  EXPECT_EQ(Ini("XPos"), x);
  EXPECT_EQ(Ini("YPos"), y);
  EXPECT_EQ(Ini("Width"), w);
  EXPECT_EQ(Ini("Height"), h);
}

TEST_F(FrameTest, ClosedMaximisedOpensMaximised) {
  WhenShown(kFrameTitle, [](QWidget* frame) {
    frame->showMaximized();
    testsupport::Click(frame, "?BUTTON2");
  });
  app::Main();
  EXPECT_EQ(Ini("Maximize"), "Yes");
  bool maximised = false;
  WhenShown(kFrameTitle, [&](QWidget* frame) {
    maximised = frame->isMaximized();
    frame->showNormal();
    testsupport::Click(frame, "?BUTTON2");
  });
  app::Main();
  EXPECT_TRUE(maximised);
  EXPECT_EQ(Ini("Maximize"), "No");
}

class ConnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (char* v : {app::SERVER, app::DB_SERVER, app::DB_DATA, app::USUARIO}) v[0] = '\0';
    app::PWD[0] = '\0';
  }
  struct Shown {
    QString server, dbServer, dbData, usuario, pwd;
  };
  // Runs the window; records what it shows, then acts.
  Shown RunWindow(const std::function<void(QWidget*)>& act) {
    Shown s;
    WhenShown(kConnectTitle, [&](QWidget* w) {
      s = {testsupport::Text(w, "?SERVER"), testsupport::Text(w, "?DB_SERVER"), testsupport::Text(w, "?DB_DATA"),
           testsupport::Text(w, "?USUARIO"), testsupport::Text(w, "?PWD")};
      act(w);
    });
    app::Window_Conect();
    EXPECT_EQ(testsupport::TopWindow(kConnectTitle), nullptr);
    return s;
  }
  static void Fill(QWidget* w) {
    testsupport::Type(testsupport::Control(w, "?SERVER"), "srv1");
    testsupport::Type(testsupport::Control(w, "?DB_SERVER"), "sys");
    testsupport::Type(testsupport::Control(w, "?DB_DATA"), "data");
    testsupport::Type(testsupport::Control(w, "?PWD"), "clave");
  }
};

TEST_F(ConnectTest, FirstRunShowsOnlyAdminAndAceptarKeepsTheEntries) {
  const Shown s = RunWindow([](QWidget* w) {
    Fill(w);
    testsupport::Click(w, "?OKBUTTON");
  });
  EXPECT_EQ(s.server, "");
  EXPECT_EQ(s.dbServer, "");
  EXPECT_EQ(s.dbData, "");
  EXPECT_EQ(s.usuario, "admin");
  EXPECT_EQ(s.pwd, "");
  EXPECT_STREQ(app::SERVER, "srv1");
  EXPECT_STREQ(app::DB_SERVER, "sys");
  EXPECT_STREQ(app::DB_DATA, "data");
  EXPECT_STREQ(app::USUARIO, "admin");
  EXPECT_STREQ(app::PWD, "clave");
}

TEST_F(ConnectTest, CancelarEmptiesServerAndLoginAndTheNextRunShowsAdminAgain) {
  RunWindow([](QWidget* w) {
    Fill(w);
    auto* login = testsupport::Control<QLineEdit>(w, "?USUARIO");
    login->clear();
    testsupport::Type(login, "otro");
    testsupport::Click(w, "?CANCELBUTTON");
  });
  EXPECT_STREQ(app::SERVER, "");
  EXPECT_STREQ(app::USUARIO, "");
  EXPECT_STREQ(app::DB_SERVER, "sys");
  EXPECT_STREQ(app::DB_DATA, "data");
  EXPECT_STREQ(app::PWD, "clave");

  const Shown again = RunWindow([](QWidget* w) { testsupport::Click(w, "?OKBUTTON"); });
  EXPECT_EQ(again.server, "");
  EXPECT_EQ(again.usuario, "admin");
  EXPECT_EQ(again.dbServer, "sys");
  EXPECT_EQ(again.dbData, "data");
  EXPECT_EQ(again.pwd, "clave");
}

TEST_F(ConnectTest, PasswordTakesTwentyCharactersAndNoMore) {
  RunWindow([](QWidget* w) {
    testsupport::Type(testsupport::Control(w, "?PWD"), "abcdefghijklmnopqrstu");  // 21 characters
    EXPECT_EQ(testsupport::Text(w, "?PWD"), "abcdefghijklmnopqrst");
    testsupport::PressKey(testsupport::Control(w, "?PWD"), Qt::Key_Return);  // the default button
  });
  EXPECT_STREQ(app::PWD, "abcdefghijklmnopqrst");
}

TEST_F(ConnectTest, ProcedureNameIsPushedWhileTheWindowRuns) {
  std::string during;
  RunWindow([&](QWidget* w) {
    during = app::ProgramErrors().CurrentProcedure();
    testsupport::Click(w, "?OKBUTTON");
  });
  EXPECT_EQ(during, "Window_Conect");
  EXPECT_NE(app::ProgramErrors().CurrentProcedure(), "Window_Conect");
}

}  // namespace
