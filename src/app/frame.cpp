#include "app/frame.h"

#include <memory>

#include "app/program.h"

namespace app {
namespace {

std::function<void()>& SchemaButtonAction() {
  static std::function<void()> action;
  return action;
}

}  // namespace

void SetSchemaButtonAction(std::function<void()> action) { SchemaButtonAction() = std::move(action); }

int FrameWindowController::Setup() {
  ProgramErrors().EnterProcedure("Main");
  request = WindowRequest();
  if (int r = WindowController::Setup(); r != classlib::ResultOk) return r;
  firstField = 1;
  vcrRequest = &WindowVcrRequest();
  errors = &ProgramErrors();
  AttachToolbar(router_);
  WindowRequest() = 0;
  WindowResponse() = 0;
  OpenOn(frame_);
  ProgramIni().RestoreWindow("Main", frame_);
  ArmAlertKeys();
  return classlib::ResultOk;
}

int FrameWindowController::Teardown() {
  if (int r = WindowController::Teardown(); r != classlib::ResultOk) return r;
  if (opened) ProgramIni().SaveWindow("Main", frame_);
  ProgramErrors().LeaveProcedure();
  return classlib::ResultOk;
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
