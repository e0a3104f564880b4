// The desktop settings layer: the platform's full-window-drag setting, or an
// installed stand-in.
#include "runtime/ui/syssettings.h"

#include "runtime/test_hooks.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace rt::sys {
namespace {

#ifdef _WIN32
class PlatformSettings : public SystemSettings {
 public:
  bool GetDragFullWindows(int& value) override {
    BOOL on = FALSE;
    if (!SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0)) return false;
    value = on ? 1 : 0;
    return true;
  }
  bool SetDragFullWindows(int value, unsigned flags) override {
    return SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, static_cast<UINT>(value), nullptr, flags) != 0;
  }
};
#else
// No desktop setting here: dragging is reported off, so it is never changed.
class PlatformSettings : public SystemSettings {
 public:
  bool GetDragFullWindows(int& value) override {
    value = 0;
    return true;
  }
  bool SetDragFullWindows(int, unsigned) override { return true; }
};
#endif

PlatformSettings g_platform;
SystemSettings* g_settings = nullptr;

}  // namespace

SystemSettings& Settings() { return g_settings ? *g_settings : g_platform; }
void SetSystemSettings(SystemSettings* settings) { g_settings = settings; }

bool GetDragFullWindows(int& value) { return Settings().GetDragFullWindows(value); }
bool SetDragFullWindows(int value, unsigned flags) { return Settings().SetDragFullWindows(value, flags); }

}  // namespace rt::sys
