// The connection window "Crea Esquema": server, the two databases, login and
// password, entered straight into five program-wide variables.
#pragma once

#include "app/procedure.h"
#include "layouts/ortav003_window.h"
#include "runtime/ui/ui.h"

namespace app {

inline constexpr const char* kConnectModule = layouts::ortav003_window::kModule;
inline constexpr const char* kConnectLabel = layouts::ortav003_window::kLabel;
inline constexpr int kCancelButton = layouts::ortav003_window::CANCELBUTTON;

// CSTRING(51) each, and CSTRING(21) for the password; they keep their values
// from one run of the window to the next.
extern char SERVER[51];
extern char DB_SERVER[51];
extern char DB_DATA[51];
extern char USUARIO[51];
extern char PWD[21];
// For each of the five variables: the text of its entry held a character that
// the code page cannot hold, which the variable got as '?'.
struct LostCharacters {
  bool server = false;
  bool dbServer = false;
  bool dbData = false;
  bool usuario = false;
  bool pwd = false;
};
extern LostCharacters EntryLostCharacters;

// Runs the window until it closes; leaves the run's response in WindowResponse.
void Window_Conect();

class ConnectWindowController : public ProcedureWindowController {
 public:
  ConnectWindowController(rt::ui::Window& window, classlib::ToolbarRouter& router) : ProcedureWindowController(window, router) {}
  int Setup() override;
  int Teardown() override;
  int HandleAccepted() override;
  int HandleWindowEvent() override;

};

}  // namespace app
