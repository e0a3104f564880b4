// What the window procedures of the program share in their controllers' set-up
// and tear-down.
#pragma once

#include <string_view>

#include "classlib/window_controller.h"
#include "runtime/ui/ui.h"

namespace app {

class ProcedureWindowController : public classlib::WindowController {
 protected:
  ProcedureWindowController(rt::ui::Window& window, classlib::ToolbarRouter& router)
      : window_(window), router_(router) {}

  // The procedure's name pushed for messages, the thread's request taken, the base
  // set-up (its failure returned), the controller bound to the program's reporter and
  // router, the request slots cleared, the window opened; then the procedure's own
  // step while the window is open, and the alert keys armed.
  template <class OnOpen>
  int SetupProcedure(std::string_view procedureName, OnOpen onOpen);
  // The base tear-down (its failure returned), then the procedure's name popped.
  template <class BeforeLeave>
  int TeardownProcedure(BeforeLeave beforeLeave);

  rt::ui::Window& window_;

 private:
  int BeginSetup(std::string_view procedureName);
  classlib::ToolbarRouter& router_;
};

}  // namespace app

#include "app/program.h"

namespace app {

inline int ProcedureWindowController::BeginSetup(std::string_view procedureName) {
  ProgramErrors().EnterProcedure(procedureName);
  request = WindowRequest();
  if (int r = WindowController::Setup(); r != classlib::ResultOk) return r;
  firstField = 1;
  vcrRequest = &WindowVcrRequest();
  errors = &ProgramErrors();
  AttachToolbar(router_);
  WindowRequest() = 0;
  WindowResponse() = 0;
  OpenOn(window_);
  return classlib::ResultOk;
}

template <class OnOpen>
int ProcedureWindowController::SetupProcedure(std::string_view procedureName, OnOpen onOpen) {
  if (int r = BeginSetup(procedureName); r != classlib::ResultOk) return r;
  onOpen();
  ArmAlertKeys();
  return classlib::ResultOk;
}

template <class BeforeLeave>
int ProcedureWindowController::TeardownProcedure(BeforeLeave beforeLeave) {
  if (int r = WindowController::Teardown(); r != classlib::ResultOk) return r;
  beforeLeave();
  ProgramErrors().LeaveProcedure();
  return classlib::ResultOk;
}

}  // namespace app
