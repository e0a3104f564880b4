// The main frame: its window controller, the schema button's action and Main, which runs the frame.
#include "app/frame.h"

#include <functional>
#include <memory>

#include "app/program.h"
#include "app/test_hooks.h"

namespace app {
namespace {

std::function<void()>& SchemaButtonAction() {
  static std::function<void()> action;
  return action;
}

}  // namespace

void SetSchemaButtonAction(std::function<void()> action) { SchemaButtonAction() = std::move(action); }

int FrameWindowController::Setup() {
  return SetupProcedure("Main", [this] { ProgramIni().RestoreWindow("Main", window_); });
}

int FrameWindowController::Teardown() {
  return TeardownProcedure([this] {
    if (opened) ProgramIni().SaveWindow("Main", window_);
  });
}

int FrameWindowController::HandleAccepted() {
  const int result = WindowController::HandleAccepted();
  if (rt::ui::AcceptedControl() == kSchemaButton) {
    // The frame's loop waits until the creation has run to its end.
    if (SchemaButtonAction()) SchemaButtonAction()();
  }
  return result;
}

void Main() {
  std::unique_ptr<rt::ui::Window> frame = rt::ui::Layer().BuildWindow(kFrameModule, kFrameLabel, {}, true);
  classlib::ToolbarRouter router;
  {
    FrameWindowController controller(*frame, router);
    WindowResponse() = controller.RunWindow();
  }
  frame->Close();
}

}  // namespace app
