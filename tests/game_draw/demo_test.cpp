// The bundled demo game, headless: started in a copy of demo/ as the program starts a game
// (FormCreate, CreateResources_Testing, then one frame after another), with the game clock held
// at fixed times so that its frames are the same on every run. The loading screen, the board,
// the glow under the mouse and a collected gem are compared with golden images.
#include <gtest/gtest.h>
#include <stdlib.h>

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

}  // namespace
}  // namespace draw_test
