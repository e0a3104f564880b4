// The connection window "Crea Esquema": server, the two databases, login and
// password, entered straight into five program-wide variables.
#pragma once

#include "app/procedure.h"
#include "runtime/ui.h"

namespace app {

inline constexpr const char* kConnectModule = "Ortavia$Ortav003";
inline constexpr const char* kConnectLabel = "P1$WINDOW";
inline constexpr int kServerEntry = 3;    // ?SERVER
inline constexpr int kDbServerEntry = 5;  // ?DB_SERVER
inline constexpr int kDbDataEntry = 7;    // ?DB_DATA
inline constexpr int kUsuarioEntry = 9;   // ?USUARIO
inline constexpr int kPwdEntry = 11;      // ?PWD
inline constexpr int kOkButton = 12;      // ?OKBUTTON
inline constexpr int kCancelButton = 13;  // ?CANCELBUTTON

// CSTRING(51) each, and CSTRING(21) for the password; they keep their values
// from one run of the window to the next.
extern char SERVER[51];
extern char DB_SERVER[51];
extern char DB_DATA[51];
extern char USUARIO[51];
extern char PWD[21];
// For each of the five entries, in the order above: its text held a character
// that the code page cannot hold, which the variable got as '?'.
extern bool EntryLostCharacters[5];

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
