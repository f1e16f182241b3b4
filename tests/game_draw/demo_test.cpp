// The bundled demo game, headless: started in a copy of demo/ as the program starts a game
// (FormCreate, CreateResources_Testing, then one frame after another), with the game clock held
// at fixed times so that its frames are the same on every run. The loading screen, the board,
// the glow under the mouse and a collected gem are compared with golden images.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>

#include "draw_fixture.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_system.h"

namespace draw_test {
namespace {

namespace fs = std::filesystem;

class DemoTest : public DrawTest {
protected:
  void SetUp() override {
    DrawTest::SetUp();
    // The screen of the Xvfb runs: taller than the game, so the window shows it at its own size.
    platform::win32::testing::VirtualScreen screen;
    screen.width = 1280;
    screen.height = 1024;
    screen.usable = {0, 0, 1280, 1024};
    platform::win32::testing::SetVirtualScreen(screen);
    fs::create_directories(fs::path(dir_) / "game");
    fs::copy(fs::path(QUORREL_SOURCE_DIR) / "demo" / "data", fs::path(dir_) / "game" / "data", fs::copy_options::recursive);
    setenv("APPDATA", (dir_ + "/appdata").c_str(), 1);
    platform::d3d9::TakeCapturedFrames();
    platform::d3d9::SetCaptureFrames(true);
    // The tick count stands still: a frame's own drawing time must not move the game clock
    // that the script animates with (the reference path takes longer than the fast one).
    platform::win32::seam::SetTickSource([] { return platform::win32::DWORD{100000}; });
  }
  void TearDown() override {
    platform::win32::seam::SetTickSource({});
    platform::d3d9::SetCaptureFrames(false);
    platform::d3d9::TakeCapturedFrames();
    unsetenv("APPDATA");
    DrawTest::TearDown();
  }
  // One frame at game time Time (ms); the frame it presented.
  CapturedFrame FrameAt(int32_t time) {
    StartTick = platform::win32::GetTickCount() - static_cast<uint32_t>(time);
    LoadingPauseStart = 0;
    form.Draw();
    std::vector<CapturedFrame> frames = platform::d3d9::TakeCapturedFrames();
    return frames.empty() ? CapturedFrame{} : frames.back();
  }
};

TEST_F(DemoTest, PlaysAsAPersonWould) {
  StartFullScreen = 0;
  form.ProgramFolder = dir_ + "/game";
  form.WindowHandle = Window();
  form.FormCreate();
  form.CreateResources_Testing();  // runs A_Init: device, pictures with their loading screen
  std::vector<CapturedFrame> loading = platform::d3d9::TakeCapturedFrames();
  ASSERT_GE(loading.size(), 2u);  // progress redraws, then the frame of LoadingTrue
  EXPECT_TRUE(form.Loading);
  EXPECT_TRUE(MatchesGolden(loading.back(), "demo_loading"));

  for (int i = 0; i < 40 && form.Loading; ++i) FrameAt(0);
  ASSERT_FALSE(form.Loading);
  EXPECT_TRUE(MatchesGolden(FrameAt(1000), "demo_board"));

  // The first gem's picture has its top-left corner at (205, 213).
  form.FormMouseMove(237, 245);
  const CapturedFrame hover = FrameAt(1500);
  EXPECT_TRUE(MatchesGolden(hover, "demo_hover"));
  form.FormMouseDown(0, 237, 245);
  form.FormMouseUp(0, 237, 245);
  form.FormMouseMove(600, 600);
  const CapturedFrame taken = FrameAt(2000);
  EXPECT_TRUE(MatchesGolden(taken, "demo_taken"));
  EXPECT_NE(Pixel(hover, 237, 245), Pixel(taken, 237, 245));  // the gem changed colour
  // The best score went into the player's profile, for the next run.
  ASSERT_TRUE(form.Profile);
  EXPECT_EQ(form.Profile->IndexOfKey("best"), 0);
  EXPECT_EQ(form.Profile->Pairs[0].Value, "1");
  EXPECT_TRUE(fs::is_regular_file(fs::path(dir_) / "appdata" / "Dunmarrow" / "QuorrelDemo" / "ZazoData.cfg"));
}

// Full screen on a wider screen: drawn at the screen's own resolution, the board scaled uniformly
// by 1080 / 768 and centred, with black bands at the sides, its text placed with it, and a click
// on a gem's place on the screen takes that gem.
TEST_F(DemoTest, FullScreenOnAWideScreenKeepsTheBoardsProportions) {
  platform::win32::testing::VirtualScreen screen;
  screen.width = 1920;
  screen.height = 1080;
  screen.usable = {0, 0, 1920, 1080};
  platform::win32::testing::SetVirtualScreen(screen);
  StartFullScreen = 1;
  form.ProgramFolder = dir_ + "/game";
  form.WindowHandle = Window();
  form.FormCreate();
  form.CreateResources_Testing();
  for (int i = 0; i < 40 && form.Loading; ++i) FrameAt(0);
  ASSERT_FALSE(form.Loading);
  const CapturedFrame board = FrameAt(1000);
  StartFullScreen = 0;
  ASSERT_EQ(board.width, 1920);
  ASSERT_EQ(board.height, 1080);
  const double scale = 1080.0 / 768;
  const int left = static_cast<int>(std::lround((1920 - 1024 * scale) / 2));  // 240
  int lit = 0;
  for (int y = 0; y < 1080; y += 3)
    for (int x = 0; x < 1920; x += 3) {
      const bool band = x < left - 1 || x > 1920 - left;
      if (band) lit += Pixel(board, x, y) != 0;
    }
  EXPECT_EQ(lit, 0) << "the bands beside the board are black, text included";
  EXPECT_NE(Pixel(board, 960, 540), 0u);
  // "Score 0" at (40, 30) of the board: white text at its place on the screen.
  int white = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 100; ++x) white += Pixel(board, left + 40 * scale + x, 30 * scale + y) == 0xFFFFFF;
  EXPECT_GT(white, 20);

  // The first gem's picture has its top-left corner at (205, 213) of the board.
  const int gx = static_cast<int>(std::lround(left + 237 * scale)), gy = static_cast<int>(std::lround(245 * scale));
  form.FormMouseMove(gx, gy);
  form.FormMouseDown(0, gx, gy);
  form.FormMouseUp(0, gx, gy);
  FrameAt(1500);
  ASSERT_TRUE(form.Profile);
  ASSERT_EQ(form.Profile->IndexOfKey("best"), 0);
  EXPECT_EQ(form.Profile->Pairs[0].Value, "1");
}

}  // namespace
}  // namespace draw_test
