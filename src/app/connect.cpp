#include "app/connect.h"

#include <cstring>
#include <memory>

#include "app/program.h"

namespace app {

char SERVER[51] = "";
char DB_SERVER[51] = "";
char DB_DATA[51] = "";
char USUARIO[51] = "";
char PWD[21] = "";

int ConnectWindowController::Setup() {
  ProgramErrors().EnterProcedure("Window_Conect");
  request = WindowRequest();
  if (int r = WindowController::Setup(); r != classlib::ResultOk) return r;
  firstField = 1;
  vcrRequest = &WindowVcrRequest();
  errors = &ProgramErrors();
  AttachToolbar(router_);
  WindowRequest() = 0;
  WindowResponse() = 0;
  OpenOn(window_);
  ArmAlertKeys();
  return classlib::ResultOk;
}

int ConnectWindowController::Teardown() {
  if (int r = WindowController::Teardown(); r != classlib::ResultOk) return r;
  ProgramErrors().LeaveProcedure();
  return classlib::ResultOk;
}

int ConnectWindowController::HandleWindowEvent() {
  if (rt::ui::CurrentEvent() == rt::ui::EVENT_OpenWindow) std::strcpy(USUARIO, "admin");
  return WindowController::HandleWindowEvent();
}

int ConnectWindowController::HandleAccepted() {
  if (rt::ui::AcceptedControl() == kCancelButton) {
    SERVER[0] = '\0';
    USUARIO[0] = '\0';
  }
  return WindowController::HandleAccepted();
}

void Window_Conect() {
  std::unique_ptr<rt::ui::Window> window = rt::ui::Layer().BuildWindow(
      kConnectModule, kConnectLabel,
      {{SERVER, sizeof SERVER}, {DB_SERVER, sizeof DB_SERVER}, {DB_DATA, sizeof DB_DATA},
       {USUARIO, sizeof USUARIO}, {PWD, sizeof PWD}},
      false);
  classlib::ToolbarRouter router;
  {
    ConnectWindowController controller(*window, router);
    WindowResponse() = controller.RunWindow();
  }
  window->Close();
}

}  // namespace app
