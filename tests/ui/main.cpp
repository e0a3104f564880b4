// The GUI tests' entry: an offscreen application with the Qt window layer and
// every control kind the program's windows use.
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "runtime/qt/qt_layer.h"
#include "runtime/qt/qt_window.h"
#include "runtime/ui/ui.h"

namespace testsupport {
void RegisterAllKinds() {
  auto& layer = rt::ui::Layer();
  for (const char* kind : {rt::ui::KIND_Button, rt::ui::KIND_Panel, rt::ui::KIND_Entry, rt::ui::KIND_Prompt,
                           rt::ui::KIND_String, rt::ui::KIND_Image, rt::ui::KIND_Group, rt::ui::KIND_Progress})
    layer.RegisterControlKind(kind);
}
}  // namespace testsupport

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  rt::qt::InstallQtLayer(argc, argv);
  testsupport::RegisterAllKinds();
  // A window that never closes must not hang the run.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] {
    std::fprintf(stderr, "GUI test stuck: a window was left open\n");
    std::_Exit(3);
  });
  guard.start(120000);
  const int rc = RUN_ALL_TESTS();
  rt::qt::RemoveQtLayer();
  return rc;
}
