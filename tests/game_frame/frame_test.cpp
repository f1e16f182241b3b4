// The game object's frame: the order of one frame in the captured picture, the loading phase and
// the game clock, pause and resume with their callbacks and sound, the idle turn's frame-rate
// figures, Alt+Enter, the device-less frame and the debug overlay.
#include <lua.hpp>

#include <filesystem>
#include <fstream>

#include "game_frame_fixture.h"
#include "platform/bass/bass.h"
#include "platform/win32/win32_window.h"

using namespace game_frame_test;
namespace bass = platform::bass::testing;

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlack = 0x000000, kWhite = 0xFFFFFF;

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

int WhitePixels(const CapturedFrame& f) {
  int n = 0;
  for (const uint32_t p : f.pixels) n += (p & 0xFFFFFF) == kWhite;
  return n;
}

const char* kRecordingScript =
    "fill = nil\n"
    "function A_Update(t, wc) rec('update:' .. t .. ':' .. string.format('%.0f', wc)); if fill then TestFill(fill) end end\n"
    "function A_Loading(t, p) rec('loading:' .. t .. ':' .. p) end\n"
    "function G_PauseGame() rec('G_PauseGame') end\n"
    "function A_PauseGame() rec('A_PauseGame') end\n"
    "function G_RePause(len) rec('G_RePause:' .. len) end\n";

using FrameTest = GameFrameTest;

TEST_F(FrameTest, ClearsThenBlackBackgroundThenScriptThenOverlayThenPresents) {
  MakeEngine(64, 48);
  StartScript(kRecordingScript);

  form_.Draw();
  auto frames = Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(Pixel(frames[0], 0, 0), kBlack) << "the black background covers the blue clear";
  EXPECT_EQ(Pixel(frames[0], 63, 47), kBlack);
  EXPECT_EQ(Calls(), "update:0:1000000");

  Run("fill = 0xFF0000");
  form_.DebugOverlay = true;
  form_.Draw();
  frames = Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(Pixel(frames[0], 63, 47), kRed) << "the script draws over the background";
  EXPECT_GT(WhitePixels(frames[0]), 10) << "the overlay draws over the script";

  form_.Loading = true;
  form_.LoadingPercent = 42;
  form_.Draw();
  EXPECT_EQ(Calls(), "update:0:1000000;loading:0:42") << "A_Loading instead of A_Update";
  ASSERT_EQ(Frames().size(), 1u);
}

TEST_F(FrameTest, LoadingTrueDrawsAtOnceAndTheClockStandsStillUntilAfterLoadingFalse) {
  MakeEngine(64, 48);
  StartScript(std::string(kRecordingScript) +
              "function startLoading() rec('before'); LoadingTrue(); rec('after') end\n");
  tick_ = 10100;
  Run("startLoading()");
  EXPECT_EQ(Calls(), "before;loading:100:0;after");
  EXPECT_EQ(Frames().size(), 1u);

  tick_ = 10600;  // the callbacks still see the clock running while loading
  form_.Draw();
  tick_ = 11000;
  Run("LoadingFalse()");
  EXPECT_EQ(Calls(), "loading:600:0") << "LoadingFalse draws nothing";
  tick_ = 11200;  // the first frame after loading moves StartTick on by the whole phase
  form_.Draw();
  tick_ = 11300;
  form_.Draw();
  EXPECT_EQ(Calls(), "update:100:1000100;update:200:1000200");
  EXPECT_EQ(LoadingPauseStart.load(), 0u);
}

TEST_F(FrameTest, PauseAndRePauseCallTheScriptsAndSoundOnce) {
  for (const bool shiftsClock : {false, true}) {
    SCOPED_TRACE(shiftsClock);
    MakeEngine(64, 48);
    StartScript(kRecordingScript);
    StartTick = 10000;
    tick_ = 10500;
    form_.PauseShiftsClock = shiftsClock;
    bass::ResetCallCounts();

    form_.Pause();
    form_.Pause();
    EXPECT_EQ(Calls(), "G_PauseGame;A_PauseGame;update:500:1000500") << "one frame shows the paused picture";
    EXPECT_EQ(Frames().size(), 1u);
    bool done = true;
    form_.AppIdle(done);
    EXPECT_FALSE(done);
    EXPECT_EQ(Frames().size(), 0u) << "no frames while paused";

    tick_ = 11200;
    form_.RePause();
    form_.RePause();
    EXPECT_EQ(Calls(), "G_RePause:700");
    EXPECT_EQ(form_.PausedTime, 700);
    EXPECT_EQ(StartTick.load(), shiftsClock ? 10700u : 10000u);
    EXPECT_EQ(bass::PauseCalls(), 1);
    EXPECT_EQ(bass::StartCalls(), 1);
  }
}

TEST_F(FrameTest, PauseCallbackErrorsAreLoggedAndTheGameGoesOn) {
  MakeEngine(64, 48);
  StartScript(std::string(kRecordingScript) + "function G_PauseGame() error('pause broke') end\n"
                                              "function G_RePause() error('repause broke') end\n");
  form_.Pause();
  form_.RePause();
  EXPECT_EQ(Calls(), "A_PauseGame;update:0:1000000");
  const std::string log = LogText();
  EXPECT_NE(log.find("pause broke"), std::string::npos);
  EXPECT_NE(log.find("repause broke"), std::string::npos);
  EXPECT_FALSE(form_.Paused);
}

TEST_F(FrameTest, PauseBeforeStartUpNeedsNoEngineOrScripts) {
  form_.RePause();
  EXPECT_EQ(bass::StartCalls(), 0) << "RePause without Pause does nothing";
  form_.Pause();
  EXPECT_TRUE(form_.Paused);
  EXPECT_EQ(bass::PauseCalls(), 1);
}

TEST_F(FrameTest, AppIdleMeasuresTheFrameRateAfterMoreThanASecond) {
  // No engine: AppIdle's Draw does nothing, only the figures move.
  struct Step {
    uint32_t tick;
    double fps;
  };
  const Step steps[] = {{10500, 0}, {11000, 0}, {11001, 3000.0 / 1001}, {11500, 3000.0 / 1001}};
  for (const Step& s : steps) {
    tick_ = s.tick;
    bool done = true;
    form_.AppIdle(done);
    EXPECT_DOUBLE_EQ(FPS, s.fps) << s.tick;
  }
  EXPECT_EQ(form_.FPSMax, 0) << "no DrawPicture yet";

  form_.FirstDrawTime = 1000;
  FpsLastTime = 0;
  FpsFrames = 1;
  tick_ = 12000;  // 2000 ms after StartTick, 1000 ms after the first picture
  bool done = true;
  form_.AppIdle(done);
  EXPECT_DOUBLE_EQ(form_.FPSMax, 1.0);
  FpsLastTime = 0;
  FpsFrames = 99;
  tick_ = 16000;  // 5000 ms after the first picture: the maximum no longer moves
  form_.AppIdle(done);
  EXPECT_DOUBLE_EQ(FPS, 100.0 / 6000 * 1000);
  EXPECT_DOUBLE_EQ(form_.FPSMax, 1.0);
}

TEST_F(FrameTest, AltEnterReachesTheScriptsOnlyAbove600Pixels) {
  for (const int height : {600, 601, 1080}) {
    SetScreen(1024, height);
    StartScript("function A_WOptions_OK_MouseUp_fromCode() rec('options') end");
    form_.WOptions_OK_MouseUp_fromCode();
    EXPECT_EQ(Calls(), height > 600 ? "options" : "") << height;
  }
}

TEST_F(FrameTest, NoDeviceIsLoggedOnTheFirstFrameThenAtMostOnceASecond) {
  MakeEngine(64, 48, false);
  StartScript(kRecordingScript);
  for (const uint32_t t : {10000u, 10500u, 10999u, 11000u, 11100u, 12500u}) {
    tick_ = t;
    form_.Draw();
  }
  const std::string log = LogText();
  EXPECT_EQ(CountOf(log, "TMainForm.Draw g_pd3dDevice = nil "), 3) << log;
  EXPECT_NE(log.find("TMainForm.Draw g_pd3dDevice = nil 0"), std::string::npos);
  EXPECT_NE(log.find("TMainForm.Draw g_pd3dDevice = nil 1000"), std::string::npos);
  EXPECT_NE(log.find("TMainForm.Draw g_pd3dDevice = nil 2500"), std::string::npos);
  EXPECT_EQ(Calls(), "") << "no script callback without a device";
  EXPECT_EQ(Frames().size(), 0u);
}

TEST_F(FrameTest, OverlaySkipsTextureIndexesTheEngineDoesNotHave) {
  TKeshSurfaceEngine3D& engine = MakeEngine(64, 48);
  engine.Textures.emplace_back();
  engine.Textures.back().Name = "a.png";
  StartScript("");
  form_.DebugOverlay = true;
  // Indexes as a replaced engine could have left them.
  Run("function A_Update() for _, i in ipairs({0, 7, -1, 1073741824, 0, 0, 0, 0}) do TestRecordTexture(i) end end");
  form_.FrameTextures = {5};
  form_.Draw();
  ASSERT_EQ(Frames().size(), 1u);
  EXPECT_EQ(form_.FrameTextures.size(), 8u) << "each frame starts a new list";
}

TEST_F(FrameTest, AFrameWhoseScriptReplacesTheEngineStopsWithoutTheOldOne) {
  MakeEngine(64, 48);
  StartScript("function A_Update() if not replaced then replaced = true; SetSystemResolution(64, 48, 64, 48) end end");
  form_.Draw();
  EXPECT_EQ(Frames().size(), 0u) << "the frame begun on the freed engine is not presented";
  ASSERT_NE(form_.Engine->g_pd3dDevice, nullptr);
  form_.Draw();
  EXPECT_EQ(Frames().size(), 1u);
}

TEST_F(FrameTest, TheBackgroundCoversTheBackBufferWhateverWindowSizeTheScriptAskedFor) {
  // Full screen, the device has the screen's size whatever window size the script asked for.
  // Switched to a window of that size, the device cannot be reset and keeps its back buffer,
  // while the engine's back-buffer size is the window's: the background, twice the larger of
  // that and the screen, then lies outside the 32-bit range.
  const char* windows[] = {"2^31, 2^31", "2^31, 600", "800, 2^31", "2^30 + 1, 2^30 + 1"};
  StartScript(std::string(kRecordingScript) + "function A_ChangeResolution() end\n");
  SetScreen(1024, 768);
  for (const char* window : windows) {
    SCOPED_TRACE(window);
    form_.FullScreenMode = 1;
    Run(std::string("SetSystemResolution(1024, 768, ") + window + ")");
    form_.ChangeWindowMode();
    ASSERT_NE(form_.Engine->g_pd3dDevice, nullptr);
    form_.Draw();
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(Pixel(frames[0], 0, 0), kBlack);
    EXPECT_EQ(Pixel(frames[0], frames[0].width - 1, frames[0].height - 1), kBlack);
  }
}

TEST_F(FrameTest, LowBitsInHistoryComparesTheVideoMemoryWithout32BitWrap) {
  TKeshSurfaceEngine3D& engine = MakeEngine(64, 48, false);
  StartScript("");
  const struct {
    uint64_t bytes;
    const char* low;
  } cases[] = {{63'999'999, "true"}, {64'000'000, "false"}, {3'000'000'000ull, "false"}};
  for (const auto& c : cases) {
    engine.VideoMemory = c.bytes;
    EXPECT_EQ(Eval("LowBitsInHistoryForLua()"), c.low) << c.bytes;
  }
}

// A whole fixture game: start-up from its folder, the device made from A_Init, a loading phase
// drawn at once, then idle turns that present frames with the script's picture.
TEST_F(FrameTest, AFixtureGameRunsHeadlessFromStartUpThroughItsFrames) {
  std::filesystem::create_directories(dir_ / "data");
  std::ofstream(dir_ / "data" / "AllLua.lua")
      << "frames = 0\n"
         "function A_Init() SetSystemResolution(64, 48, 64, 48); LoadingTrue() end\n"
         "function A_Loading(t, p) loadingSeen = true; LoadingFalse() end\n"
         "function A_Update(t) frames = frames + 1; TestFill(0xFF0000) end\n";
  form_.ProgramFolder = dir_.string();
  form_.FormCreate();
  TMainForm& form = form_;
  form.CreateResources_Testing();
  AddTestFunctions();  // TestFill for the frames that follow
  EXPECT_EQ(form.FullScreenMode, 0);
  ASSERT_NE(form.Engine->g_pd3dDevice, nullptr);
  auto frames = Frames();
  ASSERT_EQ(frames.size(), 1u) << "LoadingTrue inside A_Init drew one frame";
  EXPECT_EQ(frames[0].width, 64);
  EXPECT_EQ(Pixel(frames[0], 32, 24), kBlack) << "the loading frame shows the black background";
  for (int i = 0; i < 3; ++i) {
    tick_ += 16;
    bool done = true;
    form.AppIdle(done);
  }
  frames = Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(Pixel(frames[2], 32, 24), kRed);
  EXPECT_EQ(Eval("frames"), "3");
}

TEST_F(FrameTest, CustomCursorShowsTheSystemCursorOnlyOverTheTitleBand) {
  // The headless cursor stays at (0, 0); moving the window moves the band around it.
  const struct {
    bool customCursor;
    int32_t fullScreenMode, windowTop;
    int32_t counterAfter;
  } cases[] = {
      {true, 0, -26, 0},  // 26 pixels below the top edge: hidden
      {true, 0, -25, 1},  // 25 pixels below: shown
      {true, 0, -26, 0},
      {true, 0, 100, 1},  // above the window altogether
      {false, 0, -26, 1},
      {true, 1, -26, 1},
  };
  for (const auto& c : cases) {
    form_.CustomCursor = c.customCursor;
    form_.FullScreenMode = c.fullScreenMode;
    platform::win32::SetWindowPos(form_.WindowHandle, nullptr, 0, c.windowTop, 64, 64, 0);
    form_.Draw();  // no engine: only the cursor band is looked at
    EXPECT_EQ(form_.CursorCounter, c.counterAfter) << c.customCursor << " " << c.fullScreenMode << " " << c.windowTop;
  }
  platform::win32::SetWindowPos(form_.WindowHandle, nullptr, 0, 0, 64, 64, 0);
}

}  // namespace
