// The frame clock. Exactly one of two variants serves a run: counter ticks (int64) when the
// high-resolution counter exists, else seconds (double) from the millisecond tick count. A stop
// time of zero means the clock is running.
#include "frame/DXUtil.h"

#include <chrono>

#include "platform/win32/win32_system.h"

namespace {

std::optional<frame_testing::FrameTimerSource> injected;

bool QueryPerformanceFrequency(int64_t& ticksPerSecond) {
  if (injected) return injected->frequency(ticksPerSecond);
  ticksPerSecond = 1'000'000'000;  // steady_clock nanoseconds
  return true;
}

int64_t QueryPerformanceCounter() {
  if (injected) return injected->counter();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double timeGetTimeSeconds() {
  platform::win32::DWORD ms =
      injected ? injected->milliseconds() : platform::win32::GetTickCount();
  return ms * 0.001;
}

struct TimerState {
  bool initialised = false;
  bool usingQPF = false;
  int64_t ticksPerSec = 0;
  int64_t stopTime = 0, lastElapsedTime = 0, baseTime = 0;        // counter variant
  double stopTimeS = 0, lastElapsedTimeS = 0, baseTimeS = 0;      // fallback variant
  bool timerStopped = false;
};
TimerState timer;

float CounterVariant(int32_t command) {
  int64_t now;
  if (timer.stopTime != 0 && command != TimerStart && command != TimerGetAbsoluteTime)
    now = timer.stopTime;
  else
    now = QueryPerformanceCounter();
  const double perSec = static_cast<double>(timer.ticksPerSec);
  switch (command) {
    case TimerReset:
      timer.baseTime = now;
      timer.lastElapsedTime = now;
      timer.stopTime = 0;
      timer.timerStopped = false;
      return 0.0f;
    case TimerStart:
      if (timer.timerStopped) timer.baseTime += now - timer.stopTime;
      timer.stopTime = 0;
      timer.lastElapsedTime = now;
      timer.timerStopped = false;
      return 0.0f;
    case TimerStop:
      timer.stopTime = now;
      timer.lastElapsedTime = now;
      timer.timerStopped = true;
      return 0.0f;
    case TimerAdvance:
      timer.stopTime += timer.ticksPerSec / 10;
      return 0.0f;
    case TimerGetAbsoluteTime:
      return static_cast<float>(static_cast<double>(now) / perSec);
    case TimerGetAppTime:
      return static_cast<float>(static_cast<double>(now - timer.baseTime) / perSec);
    case TimerGetElapsedTime: {
      double elapsed = static_cast<double>(now - timer.lastElapsedTime) / perSec;
      timer.lastElapsedTime = now;
      return static_cast<float>(elapsed);
    }
    default:
      return -1.0f;
  }
}

float FallbackVariant(int32_t command) {
  double now;
  if (timer.stopTimeS != 0.0 && command != TimerStart && command != TimerGetAbsoluteTime)
    now = timer.stopTimeS;
  else
    now = timeGetTimeSeconds();
  switch (command) {
    case TimerReset:
      timer.baseTimeS = now;
      timer.lastElapsedTimeS = now;
      timer.stopTimeS = 0.0;
      timer.timerStopped = false;
      return 0.0f;
    case TimerStart:
      if (timer.timerStopped) timer.baseTimeS += now - timer.stopTimeS;
      timer.stopTimeS = 0.0;
      timer.lastElapsedTimeS = now;
      timer.timerStopped = false;
      return 0.0f;
    case TimerStop:
      timer.stopTimeS = now;
      timer.lastElapsedTimeS = now;
      timer.timerStopped = true;
      return 0.0f;
    case TimerAdvance:
      timer.stopTimeS += 0.1;
      return 0.0f;
    case TimerGetAbsoluteTime:
      return static_cast<float>(now);
    case TimerGetAppTime:
      return static_cast<float>(now - timer.baseTimeS);
    case TimerGetElapsedTime: {
      double elapsed = now - timer.lastElapsedTimeS;
      timer.lastElapsedTimeS = now;
      return static_cast<float>(elapsed);
    }
    default:
      return -1.0f;
  }
}

}  // namespace

float FrameTimer(int32_t command) {
  if (!timer.initialised) {
    timer.initialised = true;
    int64_t ticksPerSec = 0;
    timer.usingQPF = QueryPerformanceFrequency(ticksPerSec) && ticksPerSec > 0;
    timer.ticksPerSec = ticksPerSec;
  }
  return timer.usingQPF ? CounterVariant(command) : FallbackVariant(command);
}

namespace frame_testing {

void SetFrameTimerSource(std::optional<FrameTimerSource> source) {
  injected = std::move(source);
  timer = TimerState{};
}

}  // namespace frame_testing
