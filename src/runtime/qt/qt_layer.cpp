// The Qt window layer: the application object installed for the process,
// windows built from their layouts, message boxes and the mouse cursor.
#include "runtime/qt/qt_layer.h"

#include <QApplication>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <stdexcept>

#include "runtime/qt/qt_layout.h"
#include "runtime/qt/qt_window.h"
#include "runtime/qt/test_hooks.h"
#include "runtime/ui/ui.h"

// The resources live in a static library: make sure they are linked in.
static void InitOrtaviaResources() { Q_INIT_RESOURCE(resources); }

namespace rt::qt {
namespace ui = rt::ui;

namespace {
// The toolkit allows one application object per process; the layer drawn with it goes with it.
std::unique_ptr<QApplication> g_app;
std::unique_ptr<QtWindowLayer> g_layer;
}  // namespace

void InstallQtLayer(int& argc, char** argv) {
  InitOrtaviaResources();
  if (!QApplication::instance()) {
    g_app = std::make_unique<QApplication>(argc, argv);
    // The toolkit's own texts (standard buttons, an entry's context menu) in the
    // program's language.
    auto* spanish = new QTranslator(g_app.get());
    if (spanish->load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      QCoreApplication::installTranslator(spanish);
  }
  if (!g_layer) g_layer = std::make_unique<QtWindowLayer>();
  rt::ui::SetWindowLayer(g_layer.get());
}

void RemoveQtLayer() {
  if (g_layer && rt::ui::HasLayer() && &rt::ui::Layer() == g_layer.get()) rt::ui::SetWindowLayer(nullptr);
  g_layer.reset();
  // Windows still standing (the program may end from inside one) go before the
  // application object; it goes before the process's exit handlers run. A
  // program window is closed, releasing the widget it owns; any other
  // top-level widget (a message box) is deleted.
  if (g_app) {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) windows.append(w);
    for (const QPointer<QWidget>& w : windows) {
      if (!w) continue;  // a window closed before may have owned it
      if (auto* surface = dynamic_cast<Surface*>(w.data()); surface && surface->owner) surface->owner->Close();
      else delete w.data();
    }
  }
  g_app.reset();
}

QtWindowLayer* InstalledQtLayer() { return g_layer.get(); }

void ClearControlKinds(QtWindowLayer& layer) { layer.kinds_.clear(); }

std::unique_ptr<ui::Window> QtWindowLayer::BuildWindow(std::string_view moduleKey, std::string_view label,
                                                       std::vector<ui::BoundVar> vars, bool frame) {
  const QJsonObject layout = LoadLayout(moduleKey, label);
  if (frame != (layout.value("kind").toString() == QStringLiteral("frame")))
    throw std::logic_error("window layout " + std::string(label) + (frame ? " is no frame" : " is a frame"));
  return std::make_unique<QtWindow>(layout, vars);
}

int QtWindowLayer::ShowMessageBox(const std::string& text, const std::string& caption, int icon, int buttons,
                                  int defaultButton, int) {
  QString body = DecodeText(text);
  body.replace('|', '\n');
  // The window the user works in owns the box, else the frame: never a box of its
  // own that the window manager could minimise apart from the program's windows.
  QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : FrameWidget();
  QMessageBox box(owner);
  box.setWindowTitle(DecodeText(caption));
  box.setText(body);
  box.setWindowModality(Qt::ApplicationModal);
  switch (icon) {
    case ui::ICON_Exclamation: box.setIcon(QMessageBox::Warning); break;
    case ui::ICON_Hand: box.setIcon(QMessageBox::Critical); break;
    case ui::ICON_Question: box.setIcon(QMessageBox::Question); break;
    case ui::ICON_Asterisk: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  static constexpr std::pair<int, QMessageBox::StandardButton> kButtons[] = {
      {ui::BUTTON_OK, QMessageBox::Ok},         {ui::BUTTON_Yes, QMessageBox::Yes},
      {ui::BUTTON_No, QMessageBox::No},         {ui::BUTTON_Abort, QMessageBox::Abort},
      {ui::BUTTON_Retry, QMessageBox::Retry},   {ui::BUTTON_Ignore, QMessageBox::Ignore},
      {ui::BUTTON_Cancel, QMessageBox::Cancel}, {ui::BUTTON_Help, QMessageBox::Help}};
  if (buttons == 0) buttons = ui::BUTTON_OK;
  for (const auto& [code, std] : kButtons) {
    if (!(buttons & code)) continue;
    QPushButton* b = box.addButton(std);
    if (code == defaultButton) box.setDefaultButton(b);
  }
  box.exec();
  const QMessageBox::StandardButton chosen = box.standardButton(box.clickedButton());
  for (const auto& [code, std] : kButtons)
    if (std == chosen) return code;
  // Closed without a choice: the default button, else the first offered.
  if (defaultButton & buttons) return defaultButton;
  for (const auto& [code, std] : kButtons)
    if (buttons & code) return code;
  return ui::BUTTON_OK;
}

void QtWindowLayer::SetMouseCursor(int cursor, bool restore) {
  if (restore) {
    if (cursorSet_) QApplication::restoreOverrideCursor();
    cursorSet_ = false;
    return;
  }
  if (cursorSet_) QApplication::restoreOverrideCursor();
  QApplication::setOverrideCursor(cursor == ui::CURSOR_Wait ? Qt::WaitCursor : Qt::ArrowCursor);
  cursorSet_ = true;
}

void QtWindowLayer::RegisterControlKind(const std::string& kind) { kinds_.insert(kind); }

void QtWindowLayer::KeepPainted() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

}  // namespace rt::qt
