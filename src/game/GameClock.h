// The game clock of unit main: milliseconds since FormCreate without the time spent loading (and
// without pauses when the frame asks for that), and the wall-clock value handed to the scripts.
//
// The clock is read from the HTTP worker threads as well as the main thread, so its state is
// atomic: a reader sees a whole old or a whole new value, never a torn one. Only the main thread
// moves StartTick and LoadingPauseStart. Depends on the win32 tick counter and the runtime's
// local time only, and is defined here rather than in the game library, so that the layers the
// game library links (the HTTP worker of net/) can read it without a link-order cycle.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win32/win32_system.h"
#include "runtime/DateTime.h"

// System tick count taken by FormCreate; moved forward by every loading phase (and pause).
inline std::atomic<uint32_t> StartTick{0};
// Tick count at which the current loading phase was first drawn; 0 while none runs.
inline std::atomic<uint32_t> LoadingPauseStart{0};
// Refreshed by every GetGameTime: the calendar time of the first reading (local time, ms since
// 1970 modulo 2^32), moved on by the game clock.
inline std::atomic<uint32_t> WallClockMs{0};
// 0 until the first GetGameTime; then the low 32 bits of local ms since 1970 at that reading.
inline std::atomic<uint32_t> EpochOffsetMs{0};

// Milliseconds since StartTick (32-bit arithmetic that wraps); refreshes WallClockMs. Callable
// from any thread: each value is one atomic 32-bit store, so a reader sees the old or the new one.
inline int32_t GetGameTime() {
  if (EpochOffsetMs.load(std::memory_order_relaxed) == 0) {
    EpochOffsetMs.store(static_cast<uint32_t>(rtl::LocalEpochMs()), std::memory_order_relaxed);
  }
  const uint32_t start = StartTick.load(std::memory_order_relaxed);
  WallClockMs.store(platform::win32::GetTickCount() + EpochOffsetMs.load(std::memory_order_relaxed) - start,
                    std::memory_order_relaxed);
  return static_cast<int32_t>(platform::win32::GetTickCount() - start);
}
