// Display and window modes: SetSystemResolution with its sizes and fallbacks, the window-mode
// switch and the script's way into it, the fatal graphics message, QuitGame and the splash
// pictures chosen for the screen.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "game_frame_fixture.h"
#include "platform/win32/win32_shell.h"
#include "runtime/Units.h"

using namespace game_frame_test;
namespace fs = std::filesystem;
namespace w32 = platform::win32;

namespace {

using DisplayTest = GameFrameTest;

TEST_F(DisplayTest, SetSystemResolutionTakesTwoOrFourArgumentsAndTheCommandLineOverride) {
  struct Case {
    const char* call;
    int32_t overrideX, overrideY;
    const char* results;
    const char* windowSize;
  };
  const Case cases[] = {
      {"SetSystemResolution(800, 600)", 0, 0, "true,1024,768", "1024,768"},
      {"SetSystemResolution(800, 600, 640, 480)", 0, 0, "true,640,480", "640,480"},
      {"SetSystemResolution(800, 600, 640)", 0, 0, "true,1024,768", "1024,768"},
      {"SetSystemResolution(800, 600, 640, 480)", 320, 200, "true,320,200", "320,200"},
  };
  StartScript("");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    form_.SizeOverrideX = c.overrideX;
    form_.SizeOverrideY = c.overrideY;
    const uint32_t generation = form_.EngineGeneration;
    EXPECT_EQ(Eval(std::string("all(") + c.call + ")"), c.results);
    EXPECT_EQ(Eval("all(GetWindowSize())"), c.windowSize);
    EXPECT_EQ(form_.EngineGeneration, generation + 1);
    ASSERT_NE(form_.Engine->g_pd3dDevice, nullptr);
    EXPECT_EQ(form_.Engine->SystemWidth, 800);
    EXPECT_TRUE(form_.Engine->ForceLinearFilter) << "800 x 600 is not the 1024 x 768 screen";
  }
  EXPECT_NE(LogText().find("SetSystemResolution width=800 height=600 FullScreenMode=0 WSizeWidth=1024 "
                           "WSizeHeight=768"),
            std::string::npos);
  EXPECT_EQ(Eval("all(GetSystemResolution())"), "1024,768");
}

TEST_F(DisplayTest, SetSystemResolutionFallsBackToASecondEngineAndThen1024x768) {
  StartScript("");
  form_.FullScreenMode = 1;
  SetScreen(1024, 768);
  EXPECT_EQ(Eval("all(SetSystemResolution(1024, 768))"), "true,1024,768") << "full screen at the screen's mode";
  EXPECT_FALSE(form_.Engine->ForceLinearFilter);

  // No display mode fits the screen: every full-screen attempt fails.
  SetScreen(1000, 700, {{640, 480, 60}});
  const uint32_t generation = form_.EngineGeneration;
  EXPECT_EQ(Eval("all(SetSystemResolution(800, 600))"), "false,1024,768");
  EXPECT_EQ(form_.EngineGeneration, generation + 2) << "a fresh engine for the second attempt";
  EXPECT_EQ(form_.Engine->g_pd3dDevice, nullptr);
  EXPECT_EQ(form_.Engine->LogicalWidth, 800) << "the requested size after a failed first attempt";
  const std::string log = LogText();
  const auto first = log.find("InitD3D width=800 height = 600");
  const auto second = log.find("InitD3D 2 width=800 height = 600");
  const auto third = log.find("SetSystemResolution 3 False");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  ASSERT_NE(third, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);

  form_.Draw();  // the frame goes on with the last engine
  EXPECT_NE(LogText().find("TMainForm.Draw g_pd3dDevice = nil "), std::string::npos);
}

const char* kResolutionScript = "function A_ChangeResolution(w, h, b) rec(w .. ',' .. h .. ',' .. tostring(b)) end\n";

TEST_F(DisplayTest, ChangeWindowModeTwiceReturnsToTheFirstMode) {
  StartScript(kResolutionScript);
  Run("SetSystemResolution(1024, 768, 640, 480)");
  ASSERT_FALSE(form_.Engine->FullScreen);

  form_.ChangeWindowMode();
  EXPECT_EQ(form_.FullScreenMode, 1);
  EXPECT_TRUE(form_.Engine->FullScreen);
  EXPECT_NE(form_.Engine->g_pd3dDevice, nullptr);
  EXPECT_EQ(Calls(), "1024,768,true") << "full screen reports the system size";

  form_.ChangeWindowMode();
  EXPECT_EQ(form_.FullScreenMode, 0);
  EXPECT_FALSE(form_.Engine->FullScreen);
  EXPECT_NE(form_.Engine->g_pd3dDevice, nullptr);
  EXPECT_EQ(Calls(), "640,480,true") << "windowed reports the logical size";
  EXPECT_EQ(form_.Engine->BackBufferWidth, 640);

  const std::string log = LogText();
  EXPECT_LT(log.find("ChangeWindowMode KeshSurfaceEngine3D.FullScreen=true"),
            log.find("ChangeWindowMode KeshSurfaceEngine3D.FullScreen=false"));
  EXPECT_NE(log.find("InitD3D KeshSurfaceEngine3D.InitWidth=1024 KeshSurfaceEngine3D.InitHeight = 768"),
            std::string::npos);
}

TEST_F(DisplayTest, ChangeWindowModeSetsTheEngineFlagFromTheGameMode) {
  StartScript(kResolutionScript);
  Run("SetSystemResolution(1024, 768, 640, 480)");
  form_.Engine->FullScreen = true;  // out of step with FullScreenMode 0
  form_.ChangeWindowMode();
  EXPECT_EQ(form_.FullScreenMode, 1);
  EXPECT_TRUE(form_.Engine->FullScreen);
}

TEST_F(DisplayTest, ChangeWindowModeLogsAnErrorWhenTheSecondAttemptFailsToo) {
  StartScript(kResolutionScript);
  Run("SetSystemResolution(1024, 768, 640, 480)");
  SetScreen(1000, 700, {{640, 480, 60}});  // full screen finds no mode now
  form_.ChangeWindowMode();
  const std::string log = LogText();
  EXPECT_NE(log.find("InitD3D Screen.width=1024 Screen.height = 768"), std::string::npos);
  EXPECT_NE(log.find("TMainForm.ChangeWindowMode InitD3D failed twice"), std::string::npos);
  EXPECT_EQ(Calls(), "1024,768,true") << "the scripts are told all the same";
}

// With a frame the operation is the frame's ToggleWindowMode, which the frame's tests drive.
TEST_F(DisplayTest, AppChangeWindowModeWithoutAFrameLogs) {
  StartScript("");
  Run("AppChangeWindowMode()");
  EXPECT_NE(LogText().find("TMainForm.AppChangeWindowMode no application frame"), std::string::npos);
}

TEST_F(DisplayTest, OpenUrlByStringHandsTheTextToTheShell) {
  w32::testing::CaptureShellOpen(true);
  w32::testing::ClearShellOpened();
  form_.OpenUrlByString("https://example.com/page");
  EXPECT_EQ(w32::testing::ShellOpened(), std::vector<std::string>{"https://example.com/page"});
  w32::testing::CaptureShellOpen(false);
}

void PrintShellOpened() {
  for (const std::string& s : w32::testing::ShellOpened()) std::fprintf(stderr, "opened %s\n", s.c_str());
}

TEST_F(DisplayTest, QuitGameOpensBothShortcutsAndEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::ofstream("Link.url") << "[InternetShortcut]\r\nURL=https://example.com/link\r\n";
  std::ofstream("survey.url") << "[InternetShortcut]\r\nURL=https://example.com/survey\r\n";
  StartScript("");
  EXPECT_EXIT(
      {
        w32::testing::CaptureShellOpen(true);
        rtl::AddFinalizer(&PrintShellOpened);
        Run("QuitGame()");
      },
      testing::ExitedWithCode(0), "opened https://example.com/link\nopened https://example.com/survey");
}

TEST_F(DisplayTest, ErrorGraphicsModeShowsTheMessageForTheDpiAndEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    int dpi;
    const char* text;
  } cases[] = {
      {96, "Error message: The current graphics mode is not supported. Please adjust the display settings and "
           "then relaunch the game."},
      {120, "Error message: The current DPI setting is not supported."},
  };
  for (const auto& c : cases) {
    SetScreen(1024, 768, {}, 0, c.dpi);
    EXPECT_EXIT(form_.ErrorGraphicsMode(), testing::ExitedWithCode(0), c.text);
  }
}

// --- splash pictures

class SplashTest : public GameFrameTest {
protected:
  void SetUp() override {
    GameFrameTest::SetUp();
    fs::create_directories(dir_ / "Splash");
    for (const char* name : {"a1024x768.png", "b1280x800.PNG", "c1366x768.png", "d1280x1024.png", "e640x480.png",
                             "z1024x768.png.txt"}) {
      fs::copy_file(fs::path(QUORREL_TEST_DATA) / "pic.png", dir_ / "Splash" / name);
    }
    std::ofstream(dir_ / "Splash" / "readme1024x768.txt") << "no picture";
    fs::create_directories(dir_ / "Splash" / "f1024x768.png");
  }
};

TEST_F(SplashTest, PicksThePatternThatFitsTheScreen) {
  const struct {
    bool fullScreen;
    int w, h;
    const char* names;
  } cases[] = {
      {true, 1280, 1024, "a1024x768.png,z1024x768.png.txt"},
      {true, 1920, 1080, "c1366x768.png"},
      {true, 1440, 900, "b1280x800.PNG"},
      {true, 1280, 960, "a1024x768.png,z1024x768.png.txt"},
      {true, 1366, 768, "c1366x768.png"},
      // The window's 800 x 600 finds nothing: every picture of the folder.
      {false, 0, 0, "a1024x768.png,b1280x800.PNG,c1366x768.png,d1280x1024.png,e640x480.png,z1024x768.png.txt"},
  };
  TKeshSurfaceEngine3D& engine = MakeEngine(800, 600);
  StartScript("");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    engine.FullScreen = c.fullScreen;
    engine.FullScreenSize = {c.w, c.h};
    EXPECT_EQ(Eval("all(LoadSplash())"), c.names);
    EXPECT_GE(engine.IndexOfSurface(form_.SplashFiles[0]), 0);
    const std::string first = form_.SplashFiles[0];
    Run("ReLoadSplash()");
    EXPECT_EQ(engine.IndexOfSurface(first), -1);
    EXPECT_EQ(form_.SplashFiles.Count(), 0u);
  }
}

TEST_F(SplashTest, ASecondLoadSplashStartsANewList) {
  TKeshSurfaceEngine3D& engine = MakeEngine(800, 600);
  StartScript("");
  engine.FullScreen = true;
  engine.FullScreenSize = {1366, 768};
  Run("LoadSplash()");
  engine.FullScreenSize = {1440, 900};
  Run("LoadSplash(); ReLoadSplash()");
  EXPECT_GE(engine.IndexOfSurface("c1366x768.png"), 0) << "the first call's picture stays";
  EXPECT_EQ(engine.IndexOfSurface("b1280x800.PNG"), -1);
}

TEST_F(SplashTest, NoResultsWithoutADeviceOrASplashFolder) {
  MakeEngine(800, 600, false);
  StartScript("");
  EXPECT_EQ(Eval("select('#', LoadSplash())"), "0");
  MakeEngine(800, 600);
  ProgramPath = (dir_ / "elsewhere").string() + "/";
  EXPECT_EQ(Eval("select('#', LoadSplash())"), "0");
}

TEST_F(SplashTest, MakesRoomOnTheLuaStackForEveryPicture) {
  fs::create_directories(dir_ / "many" / "Splash");
  for (int i = 0; i < 300; ++i) std::ofstream(dir_ / "many" / "Splash" / ("p" + std::to_string(i) + ".png")) << "x";
  ProgramPath = (dir_ / "many").string() + "/";
  MakeEngine(800, 600);
  StartScript("");
  EXPECT_EQ(Eval("select('#', LoadSplash())"), "300");
  EXPECT_EQ(form_.SplashFiles.Count(), 300u);
}

}  // namespace
