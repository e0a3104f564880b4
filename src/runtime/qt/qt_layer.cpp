#include "runtime/qt/qt_layer.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "runtime/qt/qt_window.h"
#include "runtime/ui.h"

// The resources live in a static library: make sure they are linked in.
static void InitOrtaviaResources() { Q_INIT_RESOURCE(resources); }

namespace rt::qt {
namespace {
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
  // application object; it goes before the process's exit handlers run.
  if (g_app) {
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) windows.append(w);
    for (const QPointer<QWidget>& w : windows) delete w.data();  // a window may own others
  }
  g_app.reset();
}

}  // namespace rt::qt
