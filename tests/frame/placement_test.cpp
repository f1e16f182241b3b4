// Window style, placement and the window-mode toggle over a virtual screen.
#include <gtest/gtest.h>

#include <cstdint>

#include "frame_test_support.h"

namespace {

using namespace platform::win32;
namespace w32t = platform::win32::testing;
using frame_test::FrameTest;

class PlacementTest : public FrameTest {
protected:
  // A screen with a taskbar strip at the bottom, and an engine of the given sizes (no device).
  void Screen(int width, int height, int taskbar) {
    w32t::VirtualScreen screen;
    screen.width = width;
    screen.height = height;
    screen.usable = RECT{0, 0, width, height - taskbar};
    w32t::SetVirtualScreen(screen);
  }
  void Engine(int width, int height, int backWidth, int backHeight) {
    auto& e = app->m_MainForm->Engine;
    e = std::make_unique<TKeshSurfaceEngine3D>(GetSystemMetrics(SM_CXSCREEN),
                                               GetSystemMetrics(SM_CYSCREEN), false, 0, 0, width,
                                               height, "data\\");
    e->Width = width;
    e->Height = height;
    e->BackBufferWidth = backWidth;
    e->BackBufferHeight = backHeight;
  }
  RECT Bounds() {
    RECT r{};
    GetWindowRect(app->m_hWnd, &r);
    return r;
  }
  bool Topmost() { return (GetWindowLong(app->m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }
  DWORD Style() { return static_cast<DWORD>(GetWindowLong(app->m_hWnd, GWL_STYLE)); }
};

struct PlaceCase {
  const char* name;
  int screenW, screenH, taskbar, width, height, backW, backH;
  bool windowed;
  RECT expected;
};

TEST_F(PlacementTest, PlaceWindowCases) {
  CreateWindowed();
  const PlaceCase cases[] = {
      {"game does not fit above the taskbar", 1024, 768, 30, 1024, 768, 1024, 768, true,
       {112, 0, 912, 600}},
      {"centred by the back buffer, sized by the logical size", 1920, 1080, 40, 800, 600, 800,
       600, true, {560, 240, 1366, 872}},
      {"full screen covers the screen", 1920, 1080, 40, 800, 600, 1920, 1080, false,
       {0, 0, 1920, 1080}},
      // Sizes a script asked for, near the ends of the 32-bit range: the centring reaches past
      // them, and the window's far edge stays at the range's end.
      {"back buffer of -2^31", 1920, 1080, 40, 800, 600, INT32_MIN, INT32_MIN, true,
       {1073742784, 1073742364, 1073743590, 1073742996}},
      {"logical width of 2^31 - 1", 1920, 1080, 40, INT32_MAX, 600, 800, 600, true,
       {560, 240, INT32_MAX, 872}},
  };
  for (const PlaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    Screen(c.screenW, c.screenH, c.taskbar);
    app->m_MainForm->TaskbarRect = RECT{0, c.screenH - c.taskbar, c.screenW, c.screenH};
    Engine(c.width, c.height, c.backW, c.backH);
    app->m_bWindowed = c.windowed;
    app->PlaceWindow();
    RECT r = Bounds();
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
    EXPECT_EQ(Topmost(), !c.windowed);
  }
}

TEST_F(PlacementTest, ToggleTwiceReturnsToTheFirstModeAndStyle) {
  Screen(1920, 1080, 40);
  CreateWindowed();
  Engine(800, 600, 800, 600);
  app->m_MainForm->FullScreenMode = 0;
  // As the game object does: flip its mode (and the engine's flag) and re-create the device.
  calls->onChangeWindowMode = [this] {
    TMainForm& f = *app->m_MainForm;
    f.FullScreenMode = f.FullScreenMode ? 0 : 1;
    f.Engine->FullScreen = !f.Engine->FullScreen;
  };
  const DWORD firstStyle = Style();
  ASSERT_EQ(firstStyle, app->m_SavedWindowStyle);

  app->ToggleWindowMode();
  EXPECT_FALSE(app->m_bWindowed);
  EXPECT_EQ(Style(), WS_POPUP | WS_VISIBLE);
  EXPECT_TRUE(Topmost());
  RECT r = Bounds();
  EXPECT_EQ(r.right - r.left, 1920);
  EXPECT_EQ(r.bottom - r.top, 1080);

  app->ToggleWindowMode();
  EXPECT_TRUE(app->m_bWindowed);
  EXPECT_EQ(Style(), firstStyle);
  EXPECT_FALSE(Topmost());
  r = Bounds();
  EXPECT_EQ(r.left, 560);
  EXPECT_EQ(r.right - r.left, 806);
  EXPECT_EQ(calls->Take(), (std::vector<std::string>{"ChangeWindowMode", "ChangeWindowMode"}));
}

TEST_F(PlacementTest, ToggleTakesBothFlagsFromTheGameMode) {
  Screen(1024, 768, 0);
  CreateWindowed();
  Engine(640, 480, 640, 480);
  // The flags disagree before the toggle (the stored settings changed the game's mode alone).
  app->m_bWindowed = true;
  app->m_MainForm->FullScreenMode = 1;
  app->m_MainForm->Engine->FullScreen = false;
  calls->onChangeWindowMode = [this] { app->m_MainForm->FullScreenMode = 0; };
  app->ToggleWindowMode();
  EXPECT_TRUE(app->m_bWindowed);
  EXPECT_FALSE(app->m_MainForm->Engine->FullScreen);
  calls->onChangeWindowMode = [this] { app->m_MainForm->FullScreenMode = 1; };
  app->ToggleWindowMode();
  EXPECT_FALSE(app->m_bWindowed);
  EXPECT_TRUE(app->m_MainForm->Engine->FullScreen);
}

TEST_F(PlacementTest, TheScriptsToggleGoesThroughTheFrame) {
  Screen(1024, 768, 0);
  CreateWindowed();
  Engine(640, 480, 640, 480);
  app->m_bWindowed = true;
  app->m_MainForm->FullScreenMode = 0;
  calls->onChangeWindowMode = [this] { app->m_MainForm->FullScreenMode = 1; };
  EXPECT_EQ(app->m_MainForm->AppChangeWindowMode(nullptr), 0);  // reads no arguments
  EXPECT_FALSE(app->m_bWindowed);
  EXPECT_EQ(calls->Take(), std::vector<std::string>{"ChangeWindowMode"});
}

TEST_F(PlacementTest, FormatNames) {
  std::string text = "old";
  const std::pair<int, const char*> cases[] = {
      {0, "UNKNOWN"}, {21, "A8R8G8B8"}, {34, "G16R16"}, {80, "D3DFMT_D16"}, {50, ""}};
  for (auto [format, name] : cases) {
    app->FormatToString(static_cast<platform::d3d9::D3DFORMAT>(format), text);
    EXPECT_EQ(text, name) << format;
  }
}

}  // namespace
