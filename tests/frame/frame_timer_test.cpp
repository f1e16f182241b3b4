// The frame clock over an injected counter (1000 ticks per second) and, for the fallback, an
// injected millisecond clock.
#include <gtest/gtest.h>

#include "frame/DXUtil.h"

namespace {

class FrameTimerTest : public ::testing::Test {
protected:
  void UseCounter() {
    frame_testing::SetFrameTimerSource(frame_testing::FrameTimerSource{
        [](int64_t& perSec) { perSec = 1000; return true; }, [this] { return ticks; },
        [] { return platform::win32::DWORD(0); }});
  }
  void UseFallback() {
    frame_testing::SetFrameTimerSource(frame_testing::FrameTimerSource{
        [](int64_t&) { return false; }, [] { return int64_t(0); }, [this] { return ms; }});
  }
  void TearDown() override { frame_testing::SetFrameTimerSource(std::nullopt); }

  int64_t ticks = 5000;            // counter variant: 1 tick = 1 ms
  platform::win32::DWORD ms = 5000;  // fallback variant
};

TEST_F(FrameTimerTest, UnknownCommandsReturnMinusOneAndChangeNothing) {
  UseCounter();
  FrameTimer(TimerReset);
  ticks += 250;
  for (int command : {-1, 7, 100}) EXPECT_FLOAT_EQ(FrameTimer(command), -1.0f) << command;
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 0.25f);
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetElapsedTime), 0.25f);
}

TEST_F(FrameTimerTest, StoppedClockStandsStillWhileAbsoluteTimeRuns) {
  for (bool fallback : {false, true}) {
    SCOPED_TRACE(fallback ? "fallback" : "counter");
    ticks = 5000, ms = 5000;
    if (fallback) UseFallback(); else UseCounter();
    FrameTimer(TimerReset);
    ticks += 1000, ms += 1000;
    FrameTimer(TimerStop);
    ticks += 3000, ms += 3000;
    EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 1.0f);
    EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 1.0f);
    EXPECT_FLOAT_EQ(FrameTimer(TimerGetAbsoluteTime), 9.0f);
    // Starting again does not count the stopped time.
    FrameTimer(TimerStart);
    ticks += 500, ms += 500;
    EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 1.5f);
  }
}

TEST_F(FrameTimerTest, StartOnRunningClockOnlyResetsElapsedTime) {
  UseCounter();
  FrameTimer(TimerReset);
  ticks += 400;
  FrameTimer(TimerStart);
  ticks += 100;
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetElapsedTime), 0.1f);
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetAppTime), 0.5f);
  ticks += 50;
  EXPECT_FLOAT_EQ(FrameTimer(TimerGetElapsedTime), 0.05f);
}

TEST_F(FrameTimerTest, TwoAdvancesOnStoppedClockAddTwoTenths) {
  for (bool fallback : {false, true}) {
    SCOPED_TRACE(fallback ? "fallback" : "counter");
    if (fallback) UseFallback(); else UseCounter();
    FrameTimer(TimerReset);
    ticks += 1000, ms += 1000;
    FrameTimer(TimerStop);
    FrameTimer(TimerAdvance);
    FrameTimer(TimerAdvance);
    EXPECT_NEAR(FrameTimer(TimerGetAppTime), 1.2f, 1e-5);
  }
}

TEST_F(FrameTimerTest, RealClockMovesForward) {
  frame_testing::SetFrameTimerSource(std::nullopt);
  FrameTimer(TimerReset);
  float first = FrameTimer(TimerGetAbsoluteTime);
  EXPECT_GE(FrameTimer(TimerGetAbsoluteTime), first);
  EXPECT_GE(FrameTimer(TimerGetAppTime), 0.0f);
}

}  // namespace
