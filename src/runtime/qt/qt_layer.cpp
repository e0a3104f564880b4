#include "runtime/qt/qt_layer.h"

#include <QApplication>

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
  if (!QApplication::instance()) g_app = std::make_unique<QApplication>(argc, argv);
  if (!g_layer) g_layer = std::make_unique<QtWindowLayer>();
  rt::ui::SetWindowLayer(g_layer.get());
}

void RemoveQtLayer() {
  if (g_layer && rt::ui::HasLayer() && &rt::ui::Layer() == g_layer.get()) rt::ui::SetWindowLayer(nullptr);
  g_layer.reset();
  g_app.reset();
}

}  // namespace rt::qt
