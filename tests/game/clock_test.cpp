// The game clock (GetGameTime, WallClockMs) and ShowSystemCursor.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "game/main.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_system.h"
#include "runtime/DateTime.h"

namespace w32 = platform::win32;

namespace {

class GameClockTest : public testing::Test {
protected:
  void SetUp() override {
    w32::seam::SetTickSource([this] { return tick; });
  }
  void TearDown() override {
    w32::seam::SetTickSource({});
    StartTick = 0;
    LoadingPauseStart = 0;
  }
  uint32_t tick = 0;
};

TEST_F(GameClockTest, CountsFromStartTickAndMovesTheWallClockWithIt) {
  struct Case {
    uint32_t epoch, start, tick;
    int32_t gameTime;
    uint32_t wallClock;
  };
  const Case cases[] = {
      {1'000'000, 1000, 1000, 0, 1'000'000},
      {1'000'000, 1000, 3500, 2500, 1'002'500},
      // A loading phase of 500 ms moved StartTick on: both clocks lack it.
      {1'000'000, 1500, 3500, 2000, 1'002'000},
      // The tick counter wraps past 2^32; so does the wall clock.
      {1'000'000, 0xFFFFFF00u, 0x100, 0x200, 1'000'512},
      {0xFFFFFF00u, 0, 0x200, 0x200, 0x100},
  };
  for (const Case& c : cases) {
    EpochOffsetMs = c.epoch;
    StartTick = c.start;
    tick = c.tick;
    EXPECT_EQ(GetGameTime(), c.gameTime) << c.tick;
    EXPECT_EQ(WallClockMs.load(), c.wallClock) << c.tick;
    EXPECT_EQ(EpochOffsetMs.load(), c.epoch) << "fixed once it is set";
  }
}

TEST_F(GameClockTest, FirstReadingFixesTheEpochOffsetFromLocalTime) {
  EpochOffsetMs = 0;
  StartTick = 7000;
  tick = 7000;
  const auto before = static_cast<uint32_t>(rtl::LocalEpochMs());
  GetGameTime();
  const auto after = static_cast<uint32_t>(rtl::LocalEpochMs());
  EXPECT_LE(EpochOffsetMs.load() - before, after - before);
  EXPECT_EQ(WallClockMs.load(), EpochOffsetMs.load());
  const uint32_t fixed = EpochOffsetMs;
  tick = 9000;
  GetGameTime();
  EXPECT_EQ(EpochOffsetMs.load(), fixed);
  EXPECT_EQ(WallClockMs.load(), fixed + 2000);
}

TEST(ShowSystemCursorTest, MovesTheDisplayCountAtMostOneStep) {
  struct Case {
    int32_t counter;
    std::vector<bool> calls;
    int countChange;
    int32_t counterAfter;
  };
  const Case cases[] = {
      {1, {true}, 0, 1},
      {1, {true, false}, -1, 0},
      {1, {false, false}, -1, 0},
      {0, {true, true}, 1, 1},
      {0, {false}, 0, 0},
      {0, {true, false, true}, 1, 1},
  };
  for (const Case& c : cases) {
    TMainForm form;
    form.CursorCounter = c.counter;
    const int before = w32::testing::CursorDisplayCount();
    for (bool show : c.calls) form.ShowSystemCursor(show);
    EXPECT_EQ(w32::testing::CursorDisplayCount() - before, c.countChange) << c.counter << " " << c.calls.size();
    EXPECT_EQ(form.CursorCounter, c.counterAfter);
  }
}

}  // namespace
