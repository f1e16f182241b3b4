// Unit DXUtil: the frame clock and the release helper of the application frame.
//
// FrameTimer is a process-wide stopwatch in seconds, driven by commands. The frame starts it
// once the main window exists and stops and restarts it around pauses; nothing reads a time from
// it (the game's own clock is GetGameTime). On its first call it chooses, for the rest of the
// run, the high-resolution counter or, when that is unavailable, the millisecond tick count.
// Main thread only; the state is unprotected.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/win32/win32_types.h"

enum TIMER_COMMAND : int32_t {
  TimerReset = 0,             // base and elapsed time := now, running
  TimerStart = 1,             // resumes a stopped clock without counting the stopped time
  TimerStop = 2,              // freezes application time
  TimerAdvance = 3,           // moves a stopped clock on by 0.1 s
  TimerGetAbsoluteTime = 4,   // now, also while stopped
  TimerGetAppTime = 5,        // now - base time
  TimerGetElapsedTime = 6,    // time since the previous elapsed-time reading
};

// Seconds; -1.0 for a command outside 0..6 (which changes nothing).
float FrameTimer(int32_t command);

// Releases the interface when set and clears the reference.
template <typename T>
inline void ReleaseInterface(T*& reference) {
  if (reference) {
    reference->Release();
    reference = nullptr;
  }
}

namespace frame_testing {

// The clocks behind FrameTimer. frequency fills the counter's ticks per second and returns false
// when there is no high-resolution counter; counter reads it; milliseconds is the fallback.
struct FrameTimerSource {
  std::function<bool(int64_t& ticksPerSecond)> frequency;
  std::function<int64_t()> counter;
  std::function<platform::win32::DWORD()> milliseconds;
};
// Replaces the clocks (nullopt: the real ones) and forgets the state, so the next FrameTimer
// call starts afresh and chooses its variant again.
void SetFrameTimerSource(std::optional<FrameTimerSource> source);

}  // namespace frame_testing
