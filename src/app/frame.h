// The main frame: the application frame with its toolbar of two picture
// buttons; the first runs the schema creation, the second ends the program.
#pragma once

#include "app/procedure.h"
#include "layouts/ortav001_appframe.h"
#include "runtime/ui/ui.h"

namespace app {

inline constexpr const char* kFrameModule = layouts::ortav001_appframe::kModule;
inline constexpr const char* kFrameLabel = layouts::ortav001_appframe::kLabel;
inline constexpr int kSchemaButton = layouts::ortav001_appframe::BUTTON1;

// Runs the main frame until it closes; leaves the run's response in WindowResponse.
void Main();

class FrameWindowController : public ProcedureWindowController {
 public:
  FrameWindowController(rt::ui::Window& frame, classlib::ToolbarRouter& router) : ProcedureWindowController(frame, router) {}
  int Setup() override;
  int Teardown() override;
  int HandleAccepted() override;

};

}  // namespace app
