// The clock of the Internet stand-in's time limits: the system's monotonic clock, which no
// loading phase, pause or change of the wall clock moves, sped up by the test seam's scale.
// A change of scale keeps the clock continuous.
#include <mutex>
#include <thread>

#include "platform/wininet/wininet_internal.h"

namespace platform::wininet {
namespace {

using Clock = std::chrono::steady_clock;

struct ScaledClock {
  std::mutex mutex;
  DWORD scale = 1;
  Clock::time_point realBase = Clock::now();
  int64_t scaledBaseUs = 0;
};

// Never destroyed: worker threads may still read it while the process ends.
ScaledClock& TheClock() {
  static ScaledClock* clock = new ScaledClock;
  return *clock;
}

int64_t ScaledMicros(ScaledClock& c, Clock::time_point now) {
  const int64_t realUs = std::chrono::duration_cast<std::chrono::microseconds>(now - c.realBase).count();
  return c.scaledBaseUs + realUs * c.scale;
}

}  // namespace

DWORD InternetTickCount() {
  ScaledClock& c = TheClock();
  std::lock_guard lock(c.mutex);
  return static_cast<DWORD>(static_cast<uint64_t>(ScaledMicros(c, Clock::now()) / 1000));
}

void InternetPause(DWORD milliseconds) { std::this_thread::sleep_for(detail::RealDuration(milliseconds)); }

namespace detail {

std::chrono::microseconds RealDuration(DWORD milliseconds) {
  ScaledClock& c = TheClock();
  DWORD scale;
  {
    std::lock_guard lock(c.mutex);
    scale = c.scale;
  }
  const int64_t us = static_cast<int64_t>(milliseconds) * 1000;
  return std::chrono::microseconds((us + scale - 1) / scale);
}

}  // namespace detail

namespace testing {

void SetInternetTimeScale(DWORD scale) {
  ScaledClock& c = TheClock();
  std::lock_guard lock(c.mutex);
  const Clock::time_point now = Clock::now();
  c.scaledBaseUs = ScaledMicros(c, now);
  c.realBase = now;
  c.scale = scale == 0 ? 1 : scale;
}

}  // namespace testing

}  // namespace platform::wininet
