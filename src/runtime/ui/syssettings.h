// The desktop's full-window-drag setting. The platform's settings layer holds
// no such setting and reports it off. Tests install a recording stand-in
// (runtime/test_hooks.h).
#pragma once

namespace rt::sys {

inline constexpr unsigned SPI_GETDRAGFULLWINDOWS = 0x26;
inline constexpr unsigned SPI_SETDRAGFULLWINDOWS = 0x25;
inline constexpr unsigned SPIF_UPDATEINIFILE = 1;
inline constexpr unsigned SPIF_SENDCHANGE = 2;

class SystemSettings {
 public:
  virtual ~SystemSettings() = default;
  // Reads the setting into value (1 on, 0 off); false when it cannot be read.
  virtual bool GetDragFullWindows(int& value) = 0;
  // Changes it; flags as SPIF_*; false when it cannot be changed.
  virtual bool SetDragFullWindows(int value, unsigned flags) = 0;
};

// The process's settings layer: the platform's unless a stand-in is installed.
SystemSettings& Settings();

bool GetDragFullWindows(int& value);
bool SetDragFullWindows(int value, unsigned flags);

}  // namespace rt::sys
