// Windows: creation messages, geometry of the two styles the frame uses, full screen, title,
// destruction, the taskbar and the minimum size.

#include <SDL.h>

#include "recorder.h"

using namespace platform::win32;

TEST_F(WindowTest, CreateWindowSendsActivationAndSizeBeforeItReturns) {
  HWND h = MakeWindow();
  ASSERT_NE(h, nullptr);
  const auto seen = Only({WM_NCCREATE, WM_CREATE, WM_ACTIVATEAPP, WM_ACTIVATE, WM_SIZE});
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].msg, WM_NCCREATE);
  EXPECT_EQ(seen[1].msg, WM_CREATE);
  EXPECT_EQ(seen[2].msg, WM_ACTIVATEAPP);
  EXPECT_EQ(seen[2].wParam, 1u);
  EXPECT_EQ(seen[3].msg, WM_ACTIVATE);
  EXPECT_EQ(LOWORD(seen[3].wParam), WA_ACTIVE);
  EXPECT_EQ(HIWORD(seen[3].wParam), 0);
  EXPECT_EQ(seen[4].msg, WM_SIZE);
  EXPECT_EQ(seen[4].wParam, SIZE_RESTORED);
  EXPECT_EQ(seen[4].lParam, MAKELPARAM(800, 600));
  EXPECT_EQ(GetActiveWindow(), h);
}

TEST_F(WindowTest, RefusedCreationGivesNoWindow) {
  CreateAnswer() = -1;
  EXPECT_EQ(MakeWindow(), nullptr);
  EXPECT_EQ(Only({WM_DESTROY}).size(), 1u);
  EXPECT_EQ(CreateWindowA("No Such Class", "", kGameStyle, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                          nullptr),
            nullptr);
}

TEST_F(WindowTest, CaptionedWindowHasFixedFrame) {
  RECT r{0, 0, 800, 600};
  ASSERT_TRUE(AdjustWindowRect(&r, kGameStyle, TRUE));
  EXPECT_EQ(r.right - r.left, 806);
  EXPECT_EQ(r.bottom - r.top, 632);
  RECT popup{0, 0, 800, 600};
  AdjustWindowRect(&popup, WS_POPUP | WS_VISIBLE, FALSE);
  EXPECT_EQ(popup.right, 800);
  EXPECT_EQ(popup.bottom, 600);

  HWND h = MakeWindow();
  EXPECT_EQ(GetWindowLong(h, GWL_STYLE), static_cast<LONG>(kGameStyle));
  RECT outer, client;
  GetWindowRect(h, &outer);
  GetClientRect(h, &client);
  EXPECT_EQ(outer.right - outer.left, 806);
  EXPECT_EQ(outer.bottom - outer.top, 632);
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  // Placement as the frame does it for a windowed game of 800 x 600 on 1920 x 1080.
  ASSERT_TRUE(SetWindowPos(h, HWND_NOTOPMOST, 560, 240, 806, 632, SWP_FRAMECHANGED));
  GetWindowRect(h, &outer);
  EXPECT_EQ(outer.left, 560);
  EXPECT_EQ(outer.top, 240);
  POINT p{560 + 3 + 10, 240 + 29 + 20};
  ASSERT_TRUE(ScreenToClient(h, &p));
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 20);
  int x = 0, y = 0, cw = 0, ch = 0;
  SDL_GetWindowPosition(SdlWindowOf(h), &x, &y);
  SDL_GetWindowSize(SdlWindowOf(h), &cw, &ch);
  EXPECT_EQ(cw, 800);
  EXPECT_EQ(ch, 600);
}

TEST_F(WindowTest, PopupCoveringScreenIsDesktopFullScreenAndBack) {
  HWND h = MakeWindow();
  Seen().clear();
  SetWindowLong(h, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_VISIBLE));
  SetWindowPos(h, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
               SWP_FRAMECHANGED);
  RECT client;
  GetClientRect(h, &client);
  EXPECT_EQ(client.right, 1920);
  EXPECT_EQ(client.bottom, 1080);
  EXPECT_TRUE(GetWindowLong(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(SDL_GetWindowFlags(SdlWindowOf(h)) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  const auto sizes = Only({WM_SIZE});
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].lParam, MAKELPARAM(1920, 1080));

  SetWindowLong(h, GWL_STYLE, static_cast<LONG>(kGameStyle));
  SetWindowPos(h, HWND_NOTOPMOST, 560, 240, 806, 632, SWP_FRAMECHANGED);
  EXPECT_EQ(GetWindowLong(h, GWL_STYLE), static_cast<LONG>(kGameStyle));
  EXPECT_FALSE(GetWindowLong(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_FALSE(SDL_GetWindowFlags(SdlWindowOf(h)) & SDL_WINDOW_FULLSCREEN);
  EXPECT_FALSE(SDL_GetWindowFlags(SdlWindowOf(h)) & SDL_WINDOW_BORDERLESS);
  GetClientRect(h, &client);
  EXPECT_EQ(client.right, 800);
}

TEST_F(WindowTest, TitleIsUtf16AndReachesTheDesktop) {
  HWND h = MakeWindow();
  const std::u16string title = u"Caf\u00e9 \u0416";
  ASSERT_TRUE(SetWindowTextW(h, title.c_str()));
  EXPECT_EQ(w32::testing::WindowTitle(h), title);
  EXPECT_STREQ(SDL_GetWindowTitle(SdlWindowOf(h)), "Caf\xC3\xA9 \xD0\x96");
  SetWindowTextA(h, "Caf\xE9");  // the ANSI code page
  EXPECT_EQ(w32::testing::WindowTitle(h), u"Caf\u00e9");
}

TEST_F(WindowTest, DestroyDeactivatesThenInvalidatesTheHandle) {
  HWND h = MakeWindow();
  Seen().clear();
  ASSERT_TRUE(DestroyWindow(h));
  const auto seen = Only({WM_ACTIVATE, WM_ACTIVATEAPP, WM_DESTROY, WM_NCDESTROY});
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].msg, WM_ACTIVATE);
  EXPECT_EQ(LOWORD(seen[0].wParam), WA_INACTIVE);
  EXPECT_EQ(seen[1].msg, WM_ACTIVATEAPP);
  EXPECT_EQ(seen[1].wParam, 0u);
  EXPECT_EQ(seen[2].msg, WM_DESTROY);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(SdlWindowOf(h), nullptr);
  // A stale handle is refused everywhere, never followed.
  RECT r;
  EXPECT_FALSE(GetWindowRect(h, &r));
  EXPECT_FALSE(SetWindowPos(h, nullptr, 0, 0, 1, 1, 0));
  EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
  EXPECT_FALSE(DestroyWindow(h));
  EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 0);
}

TEST_F(WindowTest, ClassIconAndMenus) {
  HWND h = MakeWindow();
  const auto icon = reinterpret_cast<HICON>(GetClassLong(h, GCL_HICON));
  EXPECT_EQ(icon, LoadIconA(nullptr, "MAINICON"));
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_EQ(GetMenu(h), nullptr);
  EXPECT_FALSE(DestroyMenu(GetMenu(h)));
  InitCommonControls();
}

TEST_F(WindowTest, TaskbarIsTheStripLeftOutOfTheUsableBounds) {
  struct Case {
    RECT usable;
    bool exists;
    RECT bar;
  };
  const Case cases[] = {
      {{0, 0, 1920, 1040}, true, {0, 1040, 1920, 1080}},
      {{0, 30, 1920, 1080}, true, {0, 0, 1920, 30}},
      {{48, 0, 1920, 1080}, true, {0, 0, 48, 1080}},
      {{0, 0, 1920, 1080}, false, {}},
  };
  for (const Case& c : cases) {
    w32::testing::SetVirtualScreen(w32::testing::VirtualScreen{1920, 1080, c.usable, 96, {}});
    HWND bar = FindWindowA("Shell_TrayWnd", nullptr);
    EXPECT_EQ(bar != nullptr, c.exists);
    if (!bar) continue;
    RECT r;
    ASSERT_TRUE(GetWindowRect(bar, &r));
    EXPECT_EQ(r.left, c.bar.left);
    EXPECT_EQ(r.top, c.bar.top);
    EXPECT_EQ(r.right, c.bar.right);
    EXPECT_EQ(r.bottom, c.bar.bottom);
  }
  HWND h = MakeWindow();
  EXPECT_EQ(FindWindowA("d3d window", nullptr), h);
  EXPECT_EQ(FindWindowA(MAKEINTRESOURCEA(1), nullptr), nullptr);  // an atom nobody registered
  EXPECT_EQ(FindWindowA("d3d window", "no such title"), nullptr);
}

TEST_F(WindowTest, MinimumTrackingSizeBindsTheDesktopWindow) {
  HWND h = MakeWindow();
  int w = 0, hh = 0;
  SDL_GetWindowMinimumSize(SdlWindowOf(h), &w, &hh);
  EXPECT_EQ(w, 100 - 6);
  EXPECT_EQ(hh, 100 - 32);
}

TEST_F(WindowTest, ScreenAndDisplayModesFollowTheVirtualScreen) {
  w32::testing::VirtualScreen screen{1280, 1024, {0, 0, 1280, 1024}, 120, {}};
  screen.modes = {{1600, 1280, 60}, {1280, 1024, 75}, {1024, 768, 60}, {800, 600, 60}, {640, 480, 60}};
  w32::testing::SetVirtualScreen(screen);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1024);
  EXPECT_EQ(GetDeviceCaps(GetDC(nullptr), LOGPIXELSY), 120);
  const auto modes = EnumDesktopDisplayModes();
  ASSERT_EQ(modes.size(), 5u);
  EXPECT_EQ(modes[4].width, 640);
  EXPECT_EQ(DesktopDisplayMode().refresh, 75);

  w32::testing::SetVirtualScreen(std::nullopt);
  EXPECT_EQ(GetDeviceCaps(GetDC(nullptr), LOGPIXELSX), 96);
  const auto real = EnumDesktopDisplayModes();  // the dummy driver's one mode
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(real[0].width, GetSystemMetrics(SM_CXSCREEN));
}

TEST_F(WindowTest, ShowWindowMinimisesRestoresAndHides) {
  HWND h = MakeWindow();
  Seen().clear();
  EXPECT_TRUE(ShowWindow(h, SW_MINIMIZE));
  EXPECT_TRUE(IsIconic(h));
  RECT client;
  GetClientRect(h, &client);
  EXPECT_EQ(client.right, 0);
  ShowWindow(h, SW_RESTORE);
  EXPECT_FALSE(IsIconic(h));
  EXPECT_TRUE(ShowWindow(h, SW_HIDE));
  EXPECT_FALSE(GetWindowLong(h, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(GetActiveWindow(), nullptr);
  std::vector<std::pair<UINT, WPARAM>> got;
  for (const auto& r : Only({WM_ACTIVATE, WM_ACTIVATEAPP, WM_SIZE, WM_SHOWWINDOW}))
    got.push_back({r.msg, r.wParam});
  const std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_ACTIVATE, 0x10000}, {WM_ACTIVATEAPP, 0}, {WM_SIZE, SIZE_MINIMIZED},  // minimise
      {WM_SIZE, SIZE_RESTORED}, {WM_ACTIVATEAPP, 1}, {WM_ACTIVATE, WA_ACTIVE},  // restore
      {WM_SHOWWINDOW, FALSE}, {WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, 0},  // hide
  };
  EXPECT_EQ(got, expected);
  EXPECT_FALSE(ShowWindow(h, SW_SHOW));
  EXPECT_EQ(GetActiveWindow(), h);
}
