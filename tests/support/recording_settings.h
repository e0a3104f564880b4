// A recording stand-in for the desktop's settings layer: starts with dragging
// on and records every change.
#pragma once

#include <vector>

#include "runtime/ui/syssettings.h"

namespace testsupport {

class RecordingSystemSettings : public rt::sys::SystemSettings {
 public:
  struct Change {
    int value;
    unsigned flags;
    bool operator==(const Change&) const = default;
  };
  int dragFullWindows = 1;
  bool readFails = false;
  std::vector<Change> changes;

  bool GetDragFullWindows(int& value) override {
    if (readFails) return false;
    value = dragFullWindows;
    return true;
  }
  bool SetDragFullWindows(int value, unsigned flags) override {
    changes.push_back({value, flags});
    dragFullWindows = value;
    return true;
  }
};

}  // namespace testsupport
