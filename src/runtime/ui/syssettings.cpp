// The desktop settings layer: the platform's full-window-drag setting, or an
// installed stand-in.
#include "runtime/ui/syssettings.h"

#include "runtime/test_hooks.h"

namespace rt::sys {
namespace {

// No desktop setting here: dragging is reported off, so it is never changed.
class PlatformSettings : public SystemSettings {
 public:
  bool GetDragFullWindows(int& value) override {
    value = 0;
    return true;
  }
  bool SetDragFullWindows(int, unsigned) override { return true; }
};

// The desktop's settings are one per process, as is a stand-in installed for them.
PlatformSettings g_platform;
SystemSettings* g_settings = nullptr;

}  // namespace

SystemSettings& Settings() { return g_settings ? *g_settings : g_platform; }
void SetSystemSettings(SystemSettings* settings) { g_settings = settings; }

bool GetDragFullWindows(int& value) { return Settings().GetDragFullWindows(value); }
bool SetDragFullWindows(int value, unsigned flags) { return Settings().SetDragFullWindows(value, flags); }

}  // namespace rt::sys
