// The bundled demo game, headless: started in a copy of demo/ as the program starts a game
// (FormCreate, CreateResources_Testing, then one frame after another), with the game clock held
// at fixed times so that its frames are the same on every run. The loading screen, the board,
// the glow under the mouse and a collected gem are compared with golden images.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
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

// The box of the white text pixels inside a board rectangle, in screen pixels of the frame
// (board point (x, y) is at (left + x * scale, top + y * scale) on the screen).
struct Box {
  int x1 = 1 << 30, y1 = 1 << 30, x2 = -1, y2 = -1;
  int width() const { return x2 - x1 + 1; }
  int height() const { return y2 - y1 + 1; }
};
Box WhiteText(const CapturedFrame& f, double left, double top, double scale, int bx1, int by1, int bx2, int by2) {
  Box box;
  const int x1 = std::max(0, static_cast<int>(left + bx1 * scale)), x2 = std::min(f.width, static_cast<int>(left + bx2 * scale));
  const int y1 = std::max(0, static_cast<int>(top + by1 * scale)), y2 = std::min(f.height, static_cast<int>(top + by2 * scale));
  for (int y = y1; y < y2; ++y)
    for (int x = x1; x < x2; ++x)
      if (Pixel(f, x, y) == 0xFFFFFF) {
        box.x1 = std::min(box.x1, x), box.x2 = std::max(box.x2, x);
        box.y1 = std::min(box.y1, y), box.y2 = std::max(box.y2, y);
      }
  return box;
}

struct DemoScreen {
  const char* name;
  int width, height;
  bool fullScreen;
};

class DemoScreenTest : public DemoTest, public ::testing::WithParamInterface<DemoScreen> {};

// In full screen the windowed frame is scaled whole, by the screen's height (or width) over the
// board's, and centred, with black bands beside it: the text scales with the pictures, keeps its
// place on its plates and stays on the screen, and a click on a gem's place takes that gem.
// Windowed (the first row) the same measures hold at scale 1.
TEST_P(DemoScreenTest, FullScreenIsTheWindowedFrameScaledWhole) {
  const DemoScreen& s = GetParam();
  platform::win32::testing::VirtualScreen screen;
  screen.width = s.width;
  screen.height = s.height;
  screen.usable = {0, 0, s.width, s.height};
  platform::win32::testing::SetVirtualScreen(screen);
  StartFullScreen = s.fullScreen ? 1 : 0;
  form.ProgramFolder = dir_ + "/game";
  form.WindowHandle = Window();
  form.FormCreate();
  form.CreateResources_Testing();
  for (int i = 0; i < 40 && form.Loading; ++i) FrameAt(0);
  ASSERT_FALSE(form.Loading);
  const CapturedFrame board = FrameAt(1000);
  StartFullScreen = 0;
  const int sw = s.fullScreen ? s.width : 1024, sh = s.fullScreen ? s.height : 768;
  ASSERT_EQ(board.width, sw);
  ASSERT_EQ(board.height, sh);
  const double scale = std::min(sw / 1024.0, sh / 768.0);
  const double left = (sw - 1024 * scale) / 2, top = (sh - 768 * scale) / 2;

  int lit = 0;
  for (int y = 0; y < sh; y += 3)
    for (int x = 0; x < sw; x += 3) {
      const bool band = x < left - 1 || x > sw - left || y < top - 1 || y > sh - top;
      if (band) lit += Pixel(board, x, y) != 0;
    }
  EXPECT_EQ(lit, 0) << "the bands beside the board are black, text included";
  EXPECT_NE(Pixel(board, sw / 2, sh / 2), 0u);

  // Text drawn at board (x, y), 20 px high and 691 px wide for the help line in the window: in
  // full screen it is at the scaled place and of the scaled size, wholly on the screen. The font
  // is made again at the scaled height, whose own widths round differently (574 px, not 540, at
  // 800 x 600 and on a 768 x 1024 portrait screen).
  struct Label {
    const char* text;
    int x, y, width;  // board place and windowed width of the text
    int bx1, by1, bx2, by2;  // the board rectangle searched (its plate, or the band below)
  };
  const Label labels[] = {
      {"help line", 182, 722, 691, 112, 716, 1000, 760},
      {"Shuffle", 478, 572, 0, 462, 566, 562, 602},  // inside its button's border
      {"Score 0", 40, 30, 0, 30, 24, 140, 52},
  };
  for (const Label& l : labels) {
    SCOPED_TRACE(std::string(s.name) + ": " + l.text);
    const Box box = WhiteText(board, left, top, scale, l.bx1, l.by1, l.bx2, l.by2);
    ASSERT_GE(box.x2, 0) << "no text found";
    EXPECT_NEAR(box.x1, left + l.x * scale, 6 * scale + 2);
    EXPECT_NEAR(box.y1, top + l.y * scale, 6 * scale + 2);
    EXPECT_NEAR(box.height(), 14 * scale, 5 * scale + 2);
    if (l.width) {
      EXPECT_NEAR(box.width(), l.width * scale, 0.12 * l.width * scale + 2);
    }
    EXPECT_LT(box.x2, sw);
  }

  // The first gem's picture has its top-left corner at (205, 213) of the board.
  const int gx = static_cast<int>(std::lround(left + 237 * scale)), gy = static_cast<int>(std::lround(top + 245 * scale));
  form.FormMouseMove(gx, gy);
  form.FormMouseDown(0, gx, gy);
  form.FormMouseUp(0, gx, gy);
  FrameAt(1500);
  ASSERT_TRUE(form.Profile);
  ASSERT_EQ(form.Profile->IndexOfKey("best"), 0);
  EXPECT_EQ(form.Profile->Pairs[0].Value, "1");
}

INSTANTIATE_TEST_SUITE_P(Screens, DemoScreenTest,
                         ::testing::Values(DemoScreen{"window", 1280, 1024, false},
                                           DemoScreen{"800x600", 800, 600, true},
                                           DemoScreen{"1920x1080", 1920, 1080, true},
                                           DemoScreen{"768x1024", 768, 1024, true}),
                         [](const ::testing::TestParamInfo<DemoScreen>& i) {
                           return std::string(i.param.fullScreen ? "FullScreen" : "Window") +
                                  std::to_string(i.param.width) + "x" + std::to_string(i.param.height);
                         });

}  // namespace
}  // namespace draw_test
