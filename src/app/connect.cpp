// The connection window "Crea Esquema": its five entry variables and its controller.
#include "app/connect.h"

#include <cstring>
#include <memory>

#include "app/program.h"

namespace app {

// Program-wide, not per thread: they keep their values from one run of the
// window to the next, and CreateSchema reads them after the window closes;
// which of them lost characters travels with them.
char SERVER[51] = "";
char DB_SERVER[51] = "";
char DB_DATA[51] = "";
char USUARIO[51] = "";
char PWD[21] = "";
LostCharacters EntryLostCharacters;

int ConnectWindowController::Setup() {
  // The window's position is neither restored nor saved.
  return SetupProcedure("Window_Conect", [] {});
}

int ConnectWindowController::Teardown() { return TeardownProcedure([] {}); }

int ConnectWindowController::HandleWindowEvent() {
  if (rt::ui::CurrentEvent() == rt::ui::EVENT_OpenWindow) std::strcpy(USUARIO, "admin");
  return WindowController::HandleWindowEvent();
}

int ConnectWindowController::HandleAccepted() {
  if (rt::ui::AcceptedControl() == kCancelButton) {
    SERVER[0] = '\0';
    USUARIO[0] = '\0';
    EntryLostCharacters.server = EntryLostCharacters.usuario = false;
  }
  return WindowController::HandleAccepted();
}

void Window_Conect() {
  // Each variable goes to the entry whose layout names it.
  std::unique_ptr<rt::ui::Window> window = rt::ui::Layer().BuildWindow(
      kConnectModule, kConnectLabel,
      {{"SERVER", SERVER, sizeof SERVER, &EntryLostCharacters.server},
       {"DB_SERVER", DB_SERVER, sizeof DB_SERVER, &EntryLostCharacters.dbServer},
       {"DB_DATA", DB_DATA, sizeof DB_DATA, &EntryLostCharacters.dbData},
       {"USUARIO", USUARIO, sizeof USUARIO, &EntryLostCharacters.usuario},
       {"PWD", PWD, sizeof PWD, &EntryLostCharacters.pwd}},
      false);
  classlib::ToolbarRouter router;
  {
    ConnectWindowController controller(*window, router);
    WindowResponse() = controller.RunWindow();
  }
  window->Close();
}

}  // namespace app
