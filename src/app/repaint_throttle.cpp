#include "app/repaint_throttle.h"

#include "runtime/ui/ui.h"

namespace app {

void RepaintThrottle::Tick() {
  if ((++ticks_ & 255) == 0) Paint(false);
}

void RepaintThrottle::Paint(bool now) {
  const auto t = std::chrono::steady_clock::now();
  if (!now && t - last_ < std::chrono::milliseconds(100)) return;
  last_ = t;
  if (rt::ui::HasLayer()) rt::ui::Layer().KeepPainted();
}

}  // namespace app
