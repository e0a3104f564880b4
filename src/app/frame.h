// The main frame: the application frame with its toolbar of two picture
// buttons; the first runs the schema creation, the second ends the program.
#pragma once

#include <functional>

#include "app/procedure.h"
#include "runtime/ui.h"

namespace app {

inline constexpr const char* kFrameModule = "Ortavia$Ortav001";
inline constexpr const char* kFrameLabel = "P1$APPFRAME";
inline constexpr int kSchemaButton = -1;  // ?BUTTON1
inline constexpr int kExitButton = -2;    // ?BUTTON2
inline constexpr int kToolbarPanel = -3;  // ?PANEL1

// Runs the main frame until it closes; leaves the run's response in WindowResponse.
void Main();

// What the schema button runs (the start-up sets CreateSchema; tests set their own).
void SetSchemaButtonAction(std::function<void()> action);

class FrameWindowController : public ProcedureWindowController {
 public:
  FrameWindowController(rt::ui::Window& frame, classlib::ToolbarRouter& router) : ProcedureWindowController(frame, router) {}
  int Setup() override;
  int Teardown() override;
  int HandleAccepted() override;

};

}  // namespace app
