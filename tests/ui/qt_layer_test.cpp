// The Qt window layer: layouts, control kinds, event loop, properties, entries,
// message boxes, cursor, geometry.
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <cstring>
#include <set>
#include <stdexcept>
#include <tuple>

#include "runtime/qt/qt_layer.h"
#include "runtime/qt/qt_window.h"
#include "runtime/qt/test_hooks.h"
#include "ui/ui_support.h"

namespace testsupport {
void RegisterAllKinds();
}

namespace {
namespace ui = rt::ui;
using rt::qt::QtWindow;

struct LayoutCase {
  const char* module;
  const char* label;
  bool frame;
  std::set<std::string> kinds;  // exactly the kinds its module registers
  size_t vars;
};

const LayoutCase kLayouts[] = {
    {"Ortavia$Ortav001", "P1$APPFRAME", true, {"button", "panel"}, 0},
    {"Ortavia$Ortav003", "P1$WINDOW", false, {"entry", "button", "prompt", "panel"}, 5},
    {"Ortavia$Ortav004", "P1$WIN_CREA", false, {"string", "image", "group", "progress"}, 0},
};

struct Vars {
  char server[51] = "", dbServer[51] = "", dbData[51] = "", usuario[51] = "", pwd[21] = "";
  std::vector<ui::BoundVar> Bind() {
    return {{"SERVER", server, sizeof server}, {"DB_SERVER", dbServer, sizeof dbServer},
            {"DB_DATA", dbData, sizeof dbData}, {"USUARIO", usuario, sizeof usuario}, {"PWD", pwd, sizeof pwd}};
  }
};

class QtLayerTest : public ::testing::Test {
 protected:
  void TearDown() override { testsupport::RegisterAllKinds(); }
  std::unique_ptr<ui::Window> Build(const char* module, const char* label, std::vector<ui::BoundVar> vars = {},
                                    bool frame = false) {
    return ui::Layer().BuildWindow(module, label, std::move(vars), frame);
  }
  std::unique_ptr<ui::Window> Connect(Vars& v) { return Build("Ortavia$Ortav003", "P1$WINDOW", v.Bind()); }
  static QtWindow& Qt(ui::Window& w) { return dynamic_cast<QtWindow&>(w); }

  // Runs the window's loop, recording each event; act runs on OpenWindow.
  std::vector<ui::Event> Run(ui::Window& w, const std::function<void(const ui::Event&)>& onEvent = {}) {
    std::vector<ui::Event> seen;
    w.Open();
    w.RunAcceptLoop([&](const ui::Event& ev) {
      EXPECT_EQ(ui::CurrentEvent(), ev.event);
      EXPECT_EQ(ui::AcceptedControl(), ev.event == ui::EVENT_Accepted ? ev.control : 0);
      seen.push_back(ev);
      if (onEvent) onEvent(ev);
    });
    return seen;
  }
};

std::vector<std::pair<int, int>> Pairs(const std::vector<ui::Event>& evs) {
  std::vector<std::pair<int, int>> out;
  for (const auto& e : evs) out.emplace_back(e.event, e.control);
  return out;
}

TEST_F(QtLayerTest, EachWindowBuildsWithExactlyItsModulesKindsAndNotWithoutOne) {
  auto* layer = rt::qt::InstalledQtLayer();
  ASSERT_NE(layer, nullptr);
  for (const auto& c : kLayouts) {
    SCOPED_TRACE(c.label);
    Vars v;
    std::vector<ui::BoundVar> vars = c.vars ? v.Bind() : std::vector<ui::BoundVar>{};
    rt::qt::ClearControlKinds(*layer);
    for (const auto& k : c.kinds) layer->RegisterControlKind(k);
    EXPECT_NO_THROW(layer->BuildWindow(c.module, c.label, vars, c.frame));
    for (const auto& missing : c.kinds) {
      rt::qt::ClearControlKinds(*layer);
      for (const auto& k : c.kinds)
        if (k != missing) layer->RegisterControlKind(k);
      EXPECT_THROW(layer->BuildWindow(c.module, c.label, vars, c.frame), std::logic_error) << missing;
    }
  }
}

TEST_F(QtLayerTest, UnknownLayoutWrongBindingsAndFrameMismatchAreErrors) {
  Vars v;
  EXPECT_THROW(Build("Ortavia$Ortav003", "P1$NOPE"), std::logic_error);
  EXPECT_THROW(Build("Ortavia$Ortav003", "P1$WINDOW", {}), std::logic_error);  // five entries, none bound
  EXPECT_THROW(Build("Ortavia$Ortav001", "P1$APPFRAME", {}, false), std::logic_error);
  EXPECT_THROW(Build("Ortavia$Ortav003", "P1$WINDOW", v.Bind(), true), std::logic_error);
}

TEST_F(QtLayerTest, EveryImageTheLayoutsNameIsAResource) {
  for (const char* path : {":/layouts/Ortavia$Ortav001/P1$APPFRAME", ":/layouts/Ortavia$Ortav003/P1$WINDOW",
                           ":/layouts/Ortavia$Ortav004/P1$WIN_CREA"}) {
    QFile f(QString::fromLatin1(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    const QJsonObject layout = QJsonDocument::fromJson(f.readAll()).object();
    std::vector<QString> names{layout.value("wallpaper").toString(),
                               layout.value("toolbar").toObject().value("wallpaper").toString()};
    auto collect = [&](const QJsonArray& controls) {
      for (const auto& c : controls) {
        names.push_back(c.toObject().value("picture").toString());
        names.push_back(c.toObject().value("icon").toString());
      }
    };
    collect(layout.value("controls").toArray());
    collect(layout.value("toolbar").toObject().value("controls").toArray());
    for (const QString& n : names) {
      if (n.isEmpty() || n.startsWith('@')) continue;
      EXPECT_FALSE(QPixmap(rt::qt::ImageResourcePath(n)).isNull()) << n.toStdString();
    }
  }
  EXPECT_EQ(rt::qt::ImageResourcePath("C:\\iconsistema\\BACK.BMP"), ":/images/back.png");
  EXPECT_EQ(rt::qt::ImageResourcePath("c:\\iconsistema\\ora_Copy.ico"), ":/images/ora_copy.png");
  EXPECT_EQ(rt::qt::ImageResourcePath("botonEsquema.bmp"), ":/images/botonesquema.png");
  EXPECT_EQ(rt::qt::ImageResourcePath("stock:cross"), ":/images/stock-cross.png");
}

TEST_F(QtLayerTest, TextsCrossTheLayerAsWindows1252) {
  EXPECT_EQ(rt::qt::DecodeText("creaci\xF3n"), QString::fromUtf8("creación"));
  EXPECT_EQ(rt::qt::DecodeText("a\xC3\xB1o"), QString::fromUtf8("a\xC3\x83\xC2\xB1o"));  // bytes of the code page, never UTF-8
  EXPECT_EQ(rt::qt::DecodeText("\x80 \x93x\x94"), QString::fromUtf8("€ “x”"));
  EXPECT_EQ(rt::qt::EncodeText(QString::fromUtf8("Contraseña € ☃")), "Contrase\xF1" "a \x80 ?");
}

TEST_F(QtLayerTest, ConnectionWindowLayout) {
  Vars v;
  auto w = Connect(v);
  QWidget* top = Qt(*w).Widget();
  EXPECT_EQ(w->Title(), "Crea Esquema");
  EXPECT_FALSE(w->Resizable());
  EXPECT_EQ(top->font().family(), "Liberation Sans");
  EXPECT_EQ(top->size(), QSize(Qt(*w).UnitsToPixelsX(237), Qt(*w).UnitsToPixelsY(126)));
  const std::pair<const char*, const char*> prompts[] = {{"?SERVER:PROMPT", "Servidor:"},
                                                          {"?BASEDATOS:PROMPT", "Base de Datos - SERVER:"},
                                                          {"?DB_DATA:PROMPT", "Base de Datos - DATA:"},
                                                          {"?USUARIO:PROMPT", "Usuario:"},
                                                          {"?PASSWD:PROMPT", "Contraseña:"}};
  for (const auto& [label, text] : prompts)
    EXPECT_EQ(testsupport::Control<QLabel>(top, label)->text(), QString::fromUtf8(text));
  EXPECT_EQ(w->GetProperty(10, ui::PROP_Text), "Contrase\xF1" "a:");
  const std::pair<const char*, int> entries[] = {
      {"?SERVER", 50}, {"?DB_SERVER", 50}, {"?DB_DATA", 50}, {"?USUARIO", 50}, {"?PWD", 20}};
  for (const auto& [label, len] : entries) {
    auto* e = testsupport::Control<QLineEdit>(top, label);
    EXPECT_EQ(e->maxLength(), len) << label;
    EXPECT_EQ(e->echoMode(), std::string(label) == "?PWD" ? QLineEdit::Password : QLineEdit::Normal) << label;
  }
  auto* ok = testsupport::Control<QPushButton>(top, "?OKBUTTON");
  auto* cancel = testsupport::Control<QPushButton>(top, "?CANCELBUTTON");
  EXPECT_EQ(ok->text(), "&Aceptar");
  EXPECT_EQ(cancel->text(), "&Cancelar");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_FALSE(cancel->isDefault());
  EXPECT_FALSE(ok->icon().isNull());
  EXPECT_FALSE(cancel->icon().isNull());
  // Controls are numbered in layout order; the entry of ?SERVER is control 3.
  EXPECT_EQ(Qt(*w).ControlWidget(3)->objectName(), "?SERVER");
  EXPECT_EQ(Qt(*w).ControlWidget(3)->geometry(),
            QRect(Qt(*w).UnitsToPixelsX(102), Qt(*w).UnitsToPixelsY(17), Qt(*w).UnitsToPixelsX(122),
                  Qt(*w).UnitsToPixelsY(10)));
  EXPECT_EQ(Qt(*w).ControlWidget(14), nullptr);
}

// Every control of the three windows in its place and size (layout units; a
// control without a size keeps only its place) and in the window's font.
TEST_F(QtLayerTest, EveryControlInItsPlaceSizeAndFont) {
  struct Control {
    int number;
    const char* label;
    int x, y, width, height;  // width and height -1: sized by its content
  };
  struct Window {
    const char* module;
    const char* label;
    bool frame;
    int width, height;
    std::vector<Control> controls;
  } windows[] = {
      {"Ortavia$Ortav001", "P1$APPFRAME", true, 505, 318,
       {{-1, "?BUTTON1", 5, 7, 125, 37}, {-2, "?BUTTON2", 131, 7, 55, 37}, {-3, "?PANEL1", 5, 6, 478, 37}}},
      {"Ortavia$Ortav003", "P1$WINDOW", false, 237, 126,
       {{1, "?PANEL1", 3, 7, 229, 89},
        {2, "?SERVER:PROMPT", 9, 17, -1, -1},
        {3, "?SERVER", 102, 17, 122, 10},
        {4, "?BASEDATOS:PROMPT", 9, 34, -1, -1},
        {5, "?DB_SERVER", 102, 33, 122, 10},
        {6, "?DB_DATA:PROMPT", 9, 47, -1, -1},
        {7, "?DB_DATA", 102, 46, 122, 10},
        {8, "?USUARIO:PROMPT", 9, 62, -1, -1},
        {9, "?USUARIO", 102, 61, 122, 10},
        {10, "?PASSWD:PROMPT", 9, 77, -1, -1},
        {11, "?PWD", 102, 77, 122, 10},
        {12, "?OKBUTTON", 104, 100, 65, 22},
        {13, "?CANCELBUTTON", 167, 100, 65, 22}}},
      {"Ortavia$Ortav004", "P1$WIN_CREA", false, 236, 43,
       {{1, "?IMGOUT", 8, 7, -1, -1},
        {2, "?PROGOUTLOOK", 38, 9, 164, 9},
        {3, "?GROUP1", 38, 21, 164, 9},
        {4, "?STRING1", 50, 21, -1, -1}}},
  };
  for (const Window& win : windows) {
    SCOPED_TRACE(win.label);
    Vars v;
    auto w = Build(win.module, win.label, std::string(win.label) == "P1$WINDOW" ? v.Bind() : std::vector<ui::BoundVar>{},
                   win.frame);
    QtWindow& q = Qt(*w);
    QWidget* top = q.Widget();
    EXPECT_EQ(top->font().pointSize(), 8);
    EXPECT_EQ(top->size(), QSize(q.UnitsToPixelsX(win.width), q.UnitsToPixelsY(win.height)));
    for (const Control& c : win.controls) {
      SCOPED_TRACE(c.label);
      QWidget* widget = q.ControlWidget(c.number);
      ASSERT_NE(widget, nullptr);
      EXPECT_EQ(widget->objectName(), c.label);
      // A control inside a group is placed in window units like the others.
      const QPoint at = widget->parentWidget() == top || win.frame ? widget->pos()
                                                                   : widget->mapTo(top, QPoint(0, 0));
      EXPECT_EQ(at, QPoint(q.UnitsToPixelsX(c.x), q.UnitsToPixelsY(c.y)));
      if (c.width >= 0) {
        EXPECT_EQ(widget->size(), QSize(q.UnitsToPixelsX(c.width), q.UnitsToPixelsY(c.height)));
      }
      EXPECT_EQ(widget->font().pointSize(), 8);
      EXPECT_EQ(widget->font().family(), top->font().family());
    }
  }
}

TEST_F(QtLayerTest, FrameLayoutHasItsToolbar) {
  auto w = Build("Ortavia$Ortav001", "P1$APPFRAME", {}, true);
  QWidget* top = Qt(*w).Widget();
  EXPECT_EQ(w->Title(), "Quorvex SQL 13.2");
  EXPECT_TRUE(w->Resizable());
  EXPECT_EQ(top->size(), QSize(Qt(*w).UnitsToPixelsX(505), Qt(*w).UnitsToPixelsY(318)));
  QWidget* toolbar = top->findChild<QWidget*>("toolbar");
  ASSERT_NE(toolbar, nullptr);
  EXPECT_EQ(toolbar->height(), Qt(*w).UnitsToPixelsY(46));
  const std::pair<int, const char*> controls[] = {{-1, "?BUTTON1"}, {-2, "?BUTTON2"}, {-3, "?PANEL1"}};
  for (const auto& [number, label] : controls) {
    QWidget* c = Qt(*w).ControlWidget(number);
    ASSERT_NE(c, nullptr) << label;
    EXPECT_EQ(c->objectName(), label);
    EXPECT_EQ(c->parentWidget(), toolbar);
  }
  for (int n : {-1, -2}) {
    auto* b = qobject_cast<QPushButton*>(Qt(*w).ControlWidget(n));
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->text().isEmpty());
    EXPECT_FALSE(b->icon().isNull());
  }
  EXPECT_EQ(Qt(*w).ControlWidget(-2)->geometry(),
            QRect(Qt(*w).UnitsToPixelsX(131), Qt(*w).UnitsToPixelsY(7), Qt(*w).UnitsToPixelsX(55),
                  Qt(*w).UnitsToPixelsY(37)));
  // The panel lies behind the buttons.
  const QObjectList& kids = toolbar->children();
  EXPECT_LT(kids.indexOf(Qt(*w).ControlWidget(-3)), kids.indexOf(Qt(*w).ControlWidget(-1)));
  EXPECT_EQ(Qt(*w).ControlWidget(1), nullptr);
}

TEST_F(QtLayerTest, ProgressWindowPropertiesReadBackFromTheControls) {
  auto w = Build("Ortavia$Ortav004", "P1$WIN_CREA");
  EXPECT_EQ(w->Title(), "");
  EXPECT_EQ(w->GetProperty(4, ui::PROP_Text), "INICIANDO");
  EXPECT_EQ(w->GetProperty(2, ui::PROP_RangeHigh), "100");
  EXPECT_EQ(w->GetProperty(2, ui::PROP_Progress), "0");
  w->SetProperty(2, ui::PROP_RangeHigh, "333");
  w->SetProperty(2, ui::PROP_Progress, "12");
  EXPECT_EQ(w->GetProperty(2, ui::PROP_RangeHigh), "333");
  EXPECT_EQ(w->GetProperty(2, ui::PROP_Progress), "12");
  w->SetProperty(2, ui::PROP_Progress, "400");  // beyond the range: held at its end
  EXPECT_EQ(w->GetProperty(2, ui::PROP_Progress), "333");
  w->SetProperty(2, ui::PROP_Progress, "x");  // not a number: unchanged
  EXPECT_EQ(w->GetProperty(2, ui::PROP_Progress), "333");
  // A text control grows with its text.
  auto* label = qobject_cast<QLabel*>(Qt(*w).ControlWidget(4));
  const int before = label->width();
  w->SetProperty(4, ui::PROP_Text, "Creando archivo: ARCHIVO_RECONCILIACION ");
  EXPECT_EQ(w->GetProperty(4, ui::PROP_Text), "Creando archivo: ARCHIVO_RECONCILIACION ");
  EXPECT_GT(label->width(), before);
  // ... but not past the group it lies in: the longest label stays inside, whole as a property.
  const char* longest = "Creando archivo: PASOS_ENSAMBLE_PRODUCCION_Y_MAS_TEXTO_QUE_NINGUNA ";
  w->SetProperty(4, ui::PROP_Text, longest);
  EXPECT_EQ(w->GetProperty(4, ui::PROP_Text), longest);
  EXPECT_LE(label->geometry().right(), Qt(*w).ControlWidget(3)->geometry().right());
  w->SetProperty(0, ui::PROP_Text, "Proceso");
  EXPECT_EQ(w->Title(), "Proceso");
  EXPECT_EQ(w->GetProperty(99, ui::PROP_Text), "");
  w->Open();
  w->RedrawControls(0, 0);
  w->RefreshNow();
  EXPECT_TRUE(w->IsOpen());
  w->Close();
  EXPECT_FALSE(w->IsOpen());
}

TEST_F(QtLayerTest, LoopStartsWithOpenWindowAndDeliversPostedEventsInOrder) {
  auto w = Build("Ortavia$Ortav004", "P1$WIN_CREA");
  w->PostEvent({ui::EVENT_Accepted, 4});
  const auto seen = Run(*w, [&](const ui::Event& ev) {
    if (ev.event == ui::EVENT_OpenWindow) {
      w->PostEvent({0x444, 0});
      w->RequestClose();
    }
  });
  // The event posted before the open stays first in the queue.
  const std::vector<std::pair<int, int>> want{
      {ui::EVENT_Accepted, 4}, {ui::EVENT_OpenWindow, 0}, {0x444, 0}, {ui::EVENT_CloseWindow, 0}};
  EXPECT_EQ(Pairs(seen), want);
  EXPECT_FALSE(w->IsOpen());
  EXPECT_EQ(ui::CurrentEvent(), 0);
}

TEST_F(QtLayerTest, ButtonsAndCloseBoxDeliverTheirEvents) {
  struct Case {
    const char* what;
    std::function<void(QWidget*)> act;
    std::vector<std::pair<int, int>> events;  // after EVENT:OpenWindow
  };
  const Case cases[] = {
      {"ok: close only", [](QWidget* t) { testsupport::Click(t, "?OKBUTTON"); }, {{ui::EVENT_CloseWindow, 0}}},
      {"cancel: accepted, then close",
       [](QWidget* t) { testsupport::Click(t, "?CANCELBUTTON"); },
       {{ui::EVENT_Accepted, 13}, {ui::EVENT_CloseWindow, 0}}},
      {"enter: the default button", [](QWidget* t) { testsupport::PressKey(testsupport::Control(t, "?SERVER"), Qt::Key_Return); },
       {{ui::EVENT_CloseWindow, 0}}},
      {"enter on the focused cancel button",
       [](QWidget* t) { testsupport::PressKey(testsupport::Control(t, "?CANCELBUTTON"), Qt::Key_Return); },
       {{ui::EVENT_Accepted, 13}, {ui::EVENT_CloseWindow, 0}}},
      {"enter on the focused ok button",
       [](QWidget* t) { testsupport::PressKey(testsupport::Control(t, "?OKBUTTON"), Qt::Key_Return); },
       {{ui::EVENT_CloseWindow, 0}}},
      // No system menu: a close request from the window system is the cancel button.
      {"close request", [](QWidget* t) { t->close(); }, {{ui::EVENT_Accepted, 13}, {ui::EVENT_CloseWindow, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Vars v;
    auto w = Connect(v);
    QWidget* top = Qt(*w).Widget();
    auto seen = Run(*w, [&](const ui::Event& ev) {
      if (ev.event == ui::EVENT_OpenWindow) c.act(top);
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().event, ui::EVENT_OpenWindow);
    seen.erase(seen.begin());
    EXPECT_EQ(Pairs(seen), c.events);
    EXPECT_FALSE(w->IsOpen());
  }
}

TEST_F(QtLayerTest, EscapeClosesOnlyAWindowWithoutButtons) {
  auto progress = Build("Ortavia$Ortav004", "P1$WIN_CREA");
  auto seen = Run(*progress, [&](const ui::Event& ev) {
    if (ev.event == ui::EVENT_OpenWindow) testsupport::PressKey(Qt(*progress).Widget(), Qt::Key_Escape);
  });
  EXPECT_EQ(Pairs(seen).back(), std::make_pair(ui::EVENT_CloseWindow, 0));

  Vars v;
  auto w = Connect(v);
  seen = Run(*w, [&](const ui::Event& ev) {
    if (ev.event == ui::EVENT_OpenWindow) {
      testsupport::PressKey(Qt(*w).Widget(), Qt::Key_Escape);
      w->PostEvent({0x600, 0});
    } else if (ev.event == 0x600) {
      w->RequestClose();
    }
  });
  const std::vector<std::pair<int, int>> want{{ui::EVENT_OpenWindow, 0}, {0x600, 0}, {ui::EVENT_CloseWindow, 0}};
  EXPECT_EQ(Pairs(seen), want);
}

TEST_F(QtLayerTest, ToolbarButtonsOfTheFrame) {
  auto w = Build("Ortavia$Ortav001", "P1$APPFRAME", {}, true);
  int pressed = 0;
  auto seen = Run(*w, [&](const ui::Event& ev) {
    if (ev.event == ui::EVENT_OpenWindow || (ev.event == ui::EVENT_Accepted && ++pressed < 2))
      qobject_cast<QPushButton*>(Qt(*w).ControlWidget(-1))->click();
    else if (ev.event == ui::EVENT_Accepted)
      qobject_cast<QPushButton*>(Qt(*w).ControlWidget(-2))->click();
  });
  const std::vector<std::pair<int, int>> want{
      {ui::EVENT_OpenWindow, 0}, {ui::EVENT_Accepted, -1}, {ui::EVENT_Accepted, -1}, {ui::EVENT_CloseWindow, 0}};
  EXPECT_EQ(Pairs(seen), want);
}

TEST_F(QtLayerTest, EntriesEditTheirVariablesAndShowChangesAfterEachEvent) {
  Vars v;
  std::strcpy(v.dbData, "datos");
  auto w = Connect(v);
  QWidget* top = Qt(*w).Widget();
  EXPECT_EQ(testsupport::Text(top, "?DB_DATA"), "datos");
  Run(*w, [&](const ui::Event& ev) {
    if (ev.event == ui::EVENT_OpenWindow) {
      std::strcpy(v.usuario, "admin");  // shown once this event's body has run
      w->PostEvent({0x500, 0});
    } else if (ev.event == 0x500) {
      EXPECT_EQ(testsupport::Text(top, "?USUARIO"), "admin");
      testsupport::Type(testsupport::Control(top, "?SERVER"), QString::fromUtf8("srv ñ"));
      testsupport::Type(testsupport::Control(top, "?PWD"), QString(25, 'x'));
      testsupport::Type(testsupport::Control(top, "?DB_SERVER"), QString(60, 'd'));
      w->RequestClose();
    }
  });
  EXPECT_STREQ(v.server, "srv \xF1");
  EXPECT_EQ(std::string(v.pwd), std::string(20, 'x'));  // a 21st character cannot be typed
  EXPECT_EQ(std::string(v.dbServer), std::string(50, 'd'));
  EXPECT_STREQ(v.usuario, "admin");
  EXPECT_STREQ(v.dbData, "datos");
}

// The lost-characters flag tells of the text the entry holds: typed text that
// the code page cannot hold sets it, and a text the program sets into the entry
// clears it once shown.
TEST_F(QtLayerTest, EntryLostCharactersFlagFollowsTheTextItHolds) {
  Vars v;
  bool lost = false;
  std::vector<ui::BoundVar> vars = v.Bind();
  vars[0].lost = &lost;  // SERVER
  auto w = Build("Ortavia$Ortav003", "P1$WINDOW", vars);
  QWidget* top = Qt(*w).Widget();
  Run(*w, [&](const ui::Event& ev) {
    if (ev.event == ui::EVENT_OpenWindow) {
      testsupport::Type(testsupport::Control(top, "?SERVER"), QString::fromUtf8("srv \xD0\xB4"));
      EXPECT_STREQ(v.server, "srv ?");
      EXPECT_TRUE(lost);
      std::strcpy(v.server, "otro");  // shown once this event's body has run
      w->PostEvent({0x500, 0});
    } else if (ev.event == 0x500) {
      EXPECT_EQ(testsupport::Text(top, "?SERVER"), "otro");
      EXPECT_FALSE(lost);
      w->RequestClose();
    }
  });
}

QJsonObject ConnectLayout() {
  QFile f(QStringLiteral(":/layouts/Ortavia$Ortav003/P1$WINDOW"));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return QJsonDocument::fromJson(f.readAll()).object();
}

// The layout with its list of controls changed by edit.
QJsonObject Edited(QJsonObject layout, const std::function<void(QJsonArray&)>& edit) {
  QJsonArray controls = layout.value("controls").toArray();
  edit(controls);
  layout.insert("controls", controls);
  return layout;
}

qsizetype IndexOf(const QJsonArray& controls, const char* label) {
  for (qsizetype i = 0; i < controls.size(); ++i)
    if (controls[i].toObject().value("label").toString() == QLatin1String(label)) return i;
  ADD_FAILURE() << label;
  return 0;
}

TEST_F(QtLayerTest, EntriesEditTheVariablesTheirLayoutNamesWhereverTheyStand) {
  // The server and password entries trade places (and so numbers) in the layout.
  const QJsonObject layout = Edited(ConnectLayout(), [](QJsonArray& controls) {
    const qsizetype server = IndexOf(controls, "?SERVER"), pwd = IndexOf(controls, "?PWD");
    QJsonObject a = controls[server].toObject(), b = controls[pwd].toObject();
    const QJsonValue number = a.value("number");
    a.insert("number", b.value("number"));
    b.insert("number", number);
    controls[server] = b;
    controls[pwd] = a;
  });
  Vars v;
  QtWindow w(layout, v.Bind());
  QWidget* top = w.Widget();
  ASSERT_EQ(w.ControlWidget(3), top->findChild<QWidget*>("?PWD"));
  testsupport::Type(testsupport::Control(top, "?PWD"), "clave");
  testsupport::Type(testsupport::Control(top, "?SERVER"), "srv1");
  testsupport::Type(testsupport::Control(top, "?USUARIO"), "admin");
  EXPECT_STREQ(v.pwd, "clave");
  EXPECT_STREQ(v.server, "srv1");
  EXPECT_STREQ(v.usuario, "admin");
  EXPECT_EQ(testsupport::Control<QLineEdit>(top, "?PWD")->echoMode(), QLineEdit::Password);
}

TEST_F(QtLayerTest, LayoutAndBoundVariablesThatDisagreeOnNamesAreErrors) {
  using Vs = std::vector<ui::BoundVar>;
  char spare[21] = "";
  const struct Case {
    const char* what;   // a fault the error names
    std::function<void(Vs&)> vars;
    std::function<void(QJsonArray&)> layout;
  } cases[] = {
      {"PWD", [](Vs& vs) { vs.pop_back(); }, {}},                     // the layout names one not bound
      {"PWD", [](Vs& vs) { vs.back().name = "PASSWORD"; }, {}},      // bound under another name
      {"EXTRA", [&](Vs& vs) { vs.push_back({"EXTRA", spare, sizeof spare}); }, {}},  // bound, edited by none
      {"DB_SERVER", [](Vs& vs) { vs[1].name = "SERVER"; }, {}},      // one name bound twice
      {"?PWD", {}, [](QJsonArray& cs) {                             // an entry naming no variable
         QJsonObject pwd = cs[IndexOf(cs, "?PWD")].toObject();
         pwd.remove("use");
         cs[IndexOf(cs, "?PWD")] = pwd;
       }},
      {"?SERVER:PROMPT", {}, [](QJsonArray& cs) {                   // a variable on a prompt
         QJsonObject prompt = cs[IndexOf(cs, "?SERVER:PROMPT")].toObject();
         prompt.insert("use", "SERVER");
         cs[IndexOf(cs, "?SERVER:PROMPT")] = prompt;
       }},
  };
  for (const Case& c : cases) {
    Vars v;
    Vs vars = v.Bind();
    if (c.vars) c.vars(vars);
    const QJsonObject layout = c.layout ? Edited(ConnectLayout(), c.layout) : ConnectLayout();
    try {
      QtWindow w(layout, vars);
      ADD_FAILURE() << "built despite " << c.what;
    } catch (const std::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.what), std::string::npos) << e.what();
    }
  }
}

TEST_F(QtLayerTest, SelectControlFocusesTheFirstEntryFromThere) {
  Vars v;
  auto w = Connect(v);
  QWidget* top = Qt(*w).Widget();
  Run(*w, [&](const ui::Event& ev) {
    if (ev.event != ui::EVENT_OpenWindow) return;
    QApplication::setActiveWindow(top);
    w->SelectControl(1);  // the panel: the server entry takes the focus
    EXPECT_EQ(QApplication::focusWidget(), testsupport::Control(top, "?SERVER"));
    w->SelectControl(8);
    EXPECT_EQ(QApplication::focusWidget(), testsupport::Control(top, "?USUARIO"));
    w->RequestClose();
  });
}

TEST_F(QtLayerTest, MessageBoxIsModalWithIconLinesAndChosenButton) {
  QString text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  testsupport::When([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    text = box->text();
    caption = box->windowTitle();
    icon = box->icon();
    buttons = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::Ok)->click();
  });
  const int chosen = ui::Layer().ShowMessageBox("No se pudo iniciar creaci\xF3n|de bases", "Error",
                                                ui::ICON_Exclamation, ui::BUTTON_OK, ui::BUTTON_OK, 0);
  EXPECT_EQ(chosen, ui::BUTTON_OK);
  EXPECT_EQ(text, QString::fromUtf8("No se pudo iniciar creación\nde bases"));
  EXPECT_EQ(caption, "Error");
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(buttons, 1);

  testsupport::When([] { return QApplication::activeModalWidget() != nullptr; }, [] {
    qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(ui::Layer().ShowMessageBox("?", "Q", ui::ICON_Question, ui::BUTTON_Yes | ui::BUTTON_No, ui::BUTTON_Yes, 0),
            ui::BUTTON_No);
}

TEST_F(QtLayerTest, WaitCursorOnAndBack) {
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  ui::Layer().SetMouseCursor(ui::CURSOR_Wait, false);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ui::Layer().SetMouseCursor(ui::CURSOR_Wait, false);  // loading again replaces, not stacks
  ui::Layer().SetMouseCursor(0, true);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ui::Layer().SetMouseCursor(0, true);  // nothing loaded: nothing to undo
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtLayerTest, GeometryInLayoutUnitsAndState) {
  auto frame = Build("Ortavia$Ortav001", "P1$APPFRAME", {}, true);
  frame->Open();
  frame->SetGeometry({40, 24, 400, 200}, true);
  const ui::Geometry g = frame->GetGeometry();
  EXPECT_EQ(g.x, 40);
  EXPECT_EQ(g.y, 24);
  EXPECT_EQ(g.width, 400);
  EXPECT_EQ(g.height, 200);
  EXPECT_EQ(frame->State(), ui::WindowState::Normal);
  frame->SetState(ui::WindowState::Maximized);
  EXPECT_EQ(frame->State(), ui::WindowState::Maximized);
  frame->SetState(ui::WindowState::Normal);
  EXPECT_EQ(frame->State(), ui::WindowState::Normal);
  frame->Close();

  Vars v;
  auto w = Connect(v);
  const ui::Geometry before = w->GetGeometry();
  w->SetGeometry({10, 10, 500, 500}, true);  // a window of fixed size keeps it
  EXPECT_EQ(w->GetGeometry().width, before.width);
  EXPECT_EQ(w->GetGeometry().height, before.height);
}

// A place and a size set in layout units read back as set, whatever pixels the
// units have (the layout's font gives them): a place saved at each end and
// restored at the next start never drifts.
TEST_F(QtLayerTest, GeometryReadsBackAsSetInTheUnitsOfEveryFontSize) {
  for (int points = 6; points <= 14; ++points) {
    QJsonObject layout = ConnectLayout();
    QJsonObject font = layout.value("font").toObject();
    font.insert("size", points);
    layout.insert("font", font);
    QJsonObject style = layout.value("style").toObject();
    style.insert("resizable", true);
    layout.insert("style", style);
    Vars v;
    QtWindow w(layout, v.Bind());
    for (int u = 0; u < 64; ++u) {
      w.SetGeometry({u, u + 1, 100 + u, 60 + u}, true);
      const ui::Geometry g = w.GetGeometry();
      ASSERT_EQ(std::tie(g.x, g.y, g.width, g.height), std::make_tuple(u, u + 1, 100 + u, 60 + u))
          << points << " points";
    }
  }
}

// A place beyond the screen puts the window against the edges it passed, up to
// their last pixel.
TEST_F(QtLayerTest, PlaceBeyondTheScreenPutsTheWindowAgainstItsEdges) {
  Vars v;
  auto w = Connect(v);
  QWidget* top = Qt(*w).Widget();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  w->Open();
  for (const bool shown : {false, true}) {
    if (shown) QCoreApplication::processEvents();
    SCOPED_TRACE(shown ? "shown" : "not shown yet");
    ASSERT_EQ(top->isVisible(), shown);
    w->SetGeometry({1000000, 1000000, 0, 0}, false);
    EXPECT_EQ(top->frameGeometry().right(), screen.right());
    EXPECT_EQ(top->frameGeometry().bottom(), screen.bottom());
    w->SetGeometry({-1000000, -1000000, 0, 0}, false);
    EXPECT_EQ(top->frameGeometry().topLeft(), screen.topLeft());
  }
  w->Close();
}

}  // namespace
