// Seams for tests: what a test sets to watch the runtime or to keep it from
// ending the process, and resets between cases. The program never sets them;
// the runtime calls through them (HaltProgram the halt handler, the desktop
// settings the installed stand-in).
#pragma once

#include <functional>

namespace rt {

// Called by HaltProgram instead of ending the process; HaltProgram then throws
// ProgramHalted so that the caller never goes on. An empty handler restores exiting.
void SetHaltHandler(std::function<void(int)> handler);
struct ProgramHalted {
  int exitCode;
};
// Forgets every registered module and the state of the walks.
void ResetModules();

}  // namespace rt

namespace rt::sys {

class SystemSettings;
// Installs a stand-in for the desktop settings (nullptr puts the platform's back).
void SetSystemSettings(SystemSettings* settings);

}  // namespace rt::sys
