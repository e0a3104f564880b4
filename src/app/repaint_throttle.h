// Keeps the windows on screen painted while the migration carries records.
#pragma once

#include <chrono>
#include <cstdint>

namespace app {

// The connection window's place redrawn, the frame not left blank: a paint at
// most every 100 ms, looked for every 256 records.
class RepaintThrottle {
 public:
  void Tick();
  // Paints now, or (not now) once 100 ms passed since the last paint.
  void Paint(bool now);

 private:
  uint32_t ticks_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace app
