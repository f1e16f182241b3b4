// SDL events in, Windows messages out: keys, characters, mouse, wheel, and the window events of
// minimising, restoring and switching applications, through the same pump the desktop uses.

#include <SDL.h>

#include <cstring>
#include <string>

#include "recorder.h"

using namespace platform::win32;

namespace {

Uint32 IdOf(HWND h) { return SDL_GetWindowID(SdlWindowOf(h)); }

void PushKey(HWND h, Uint32 type, SDL_Scancode sc, SDL_Keycode sym, Uint16 mod = 0, Uint8 repeat = 0) {
  SDL_Event e{};
  e.type = type;
  e.key.windowID = IdOf(h);
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat;
  e.key.keysym.scancode = sc;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  SDL_PushEvent(&e);
}

void PushText(HWND h, const char* utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  e.text.windowID = IdOf(h);
  std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
  SDL_PushEvent(&e);
}

void PushWindowEvent(HWND h, Uint8 event) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = IdOf(h);
  e.window.event = event;
  SDL_PushEvent(&e);
}

void PushMotion(HWND h, int x, int y) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = IdOf(h);
  e.motion.x = x;
  e.motion.y = y;
  SDL_PushEvent(&e);
}

void PushButton(HWND h, Uint32 type, Uint8 button, int x, int y) {
  SDL_Event e{};
  e.type = type;
  e.button.windowID = IdOf(h);
  e.button.button = button;
  e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.button.x = x;
  e.button.y = y;
  SDL_PushEvent(&e);
}

void PushWheel(HWND h, int y, Uint32 direction = SDL_MOUSEWHEEL_NORMAL) {
  SDL_Event e{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.windowID = IdOf(h);
  e.wheel.y = y;
  e.wheel.direction = direction;
  SDL_PushEvent(&e);
}

// What the game class does with the activation messages: "P" for Pause, "R" for RePause.
std::string GameCalls() {
  std::string calls;
  for (const auto& r : Only({WM_ACTIVATE, WM_ACTIVATEAPP})) {
    if (r.msg == WM_ACTIVATE) calls += HIWORD(r.wParam) ? 'P' : 'R';
    else calls += r.wParam ? 'R' : 'P';
  }
  return calls;
}

}  // namespace

using InputTest = WindowTest;

TEST_F(InputTest, KeysGiveVirtualKeyCodes) {
  struct Case {
    SDL_Scancode sc;
    SDL_Keycode sym;
    Uint16 mod;
    UINT msg;
    WPARAM vk;
  };
  const Case cases[] = {
      {SDL_SCANCODE_A, SDLK_a, 0, WM_KEYDOWN, 'A'},
      {SDL_SCANCODE_5, SDLK_5, 0, WM_KEYDOWN, '5'},
      {SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 0, WM_KEYDOWN, 8},
      {SDL_SCANCODE_RETURN, SDLK_RETURN, 0, WM_KEYDOWN, 13},
      {SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, 0, WM_KEYDOWN, 13},
      {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_LSHIFT, WM_KEYDOWN, 16},
      {SDL_SCANCODE_RCTRL, SDLK_RCTRL, KMOD_RCTRL, WM_KEYDOWN, 17},
      {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 0, WM_KEYDOWN, 27},
      {SDL_SCANCODE_END, SDLK_END, 0, WM_KEYDOWN, 35},
      {SDL_SCANCODE_HOME, SDLK_HOME, 0, WM_KEYDOWN, 36},
      {SDL_SCANCODE_LEFT, SDLK_LEFT, 0, WM_KEYDOWN, 37},
      {SDL_SCANCODE_UP, SDLK_UP, 0, WM_KEYDOWN, 38},
      {SDL_SCANCODE_RIGHT, SDLK_RIGHT, 0, WM_KEYDOWN, 39},
      {SDL_SCANCODE_DOWN, SDLK_DOWN, 0, WM_KEYDOWN, 40},
      {SDL_SCANCODE_INSERT, SDLK_INSERT, 0, WM_KEYDOWN, 45},
      {SDL_SCANCODE_DELETE, SDLK_DELETE, 0, WM_KEYDOWN, 46},
      {SDL_SCANCODE_F1, SDLK_F1, 0, WM_KEYDOWN, 112},
      {SDL_SCANCODE_F5, SDLK_F5, 0, WM_KEYDOWN, 116},
      {SDL_SCANCODE_F12, SDLK_F12, 0, WM_KEYDOWN, 123},
      {SDL_SCANCODE_MINUS, SDLK_MINUS, 0, WM_KEYDOWN, VK_OEM_MINUS},
      {SDL_SCANCODE_KP_1, SDLK_KP_1, KMOD_NUM, WM_KEYDOWN, VK_NUMPAD0 + 1},
      {SDL_SCANCODE_KP_1, SDLK_KP_1, 0, WM_KEYDOWN, VK_END},
      // A Cyrillic layout still gives the letter of the key's place.
      {SDL_SCANCODE_Q, 0x439, 0, WM_KEYDOWN, 'Q'},
      {SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT, WM_SYSKEYDOWN, 13},
      {SDL_SCANCODE_F10, SDLK_F10, 0, WM_SYSKEYDOWN, 121},
      // Right Alt is AltGr: an ordinary key message, as Windows' Ctrl+Alt.
      {SDL_SCANCODE_Q, SDLK_q, KMOD_RALT, WM_KEYDOWN, 'Q'},
  };
  HWND h = MakeWindow();
  for (const Case& c : cases) {
    Seen().clear();
    PushKey(h, SDL_KEYDOWN, c.sc, c.sym, c.mod);
    PushKey(h, SDL_KEYUP, c.sc, c.sym, c.mod);
    Drain();
    const auto keys = Only({WM_KEYDOWN, WM_SYSKEYDOWN});
    ASSERT_EQ(keys.size(), 1u) << "scancode " << c.sc;
    EXPECT_EQ(keys[0].msg, c.msg) << "scancode " << c.sc;
    EXPECT_EQ(keys[0].wParam, c.vk) << "scancode " << c.sc;
    EXPECT_EQ((keys[0].lParam >> 29) & 1, (c.mod & KMOD_LALT) ? 1 : 0);
    EXPECT_EQ(keys[0].lParam & 0xFFFF, 1);
  }
}

TEST_F(InputTest, KeyUpAndRepeatCarryWindowsStateBits) {
  HWND h = MakeWindow();
  PushKey(h, SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT, 1);
  PushKey(h, SDL_KEYUP, SDL_SCANCODE_A, SDLK_a);
  Drain();
  const auto keys = Only({WM_SYSKEYDOWN, WM_KEYUP});
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].msg, WM_SYSKEYDOWN);  // auto-repeat of Alt+Enter reaches the frame again
  EXPECT_EQ((keys[0].lParam >> 30) & 1, 1);
  EXPECT_EQ(keys[1].msg, WM_KEYUP);
  EXPECT_EQ(static_cast<uint32_t>(keys[1].lParam) >> 30, 3u);
}

TEST_F(InputTest, TextBecomesOneAnsiCharacterEach) {
  struct Case {
    const char* utf8;
    std::vector<WPARAM> chars;
  };
  const Case cases[] = {
      {"a", {97}},
      {"\xC3\xA9", {233}},                  // é in Windows-1252
      {"\xE2\x82\xAC", {128}},              // €
      {"ab", {97, 98}},
      {"\xD0\x96", {}},                     // Ж is not in the code page: dropped
      {"\xF0\x9F\x98\x80" "b", {98}},       // so is an emoji, as one character
  };
  HWND h = MakeWindow();
  for (const Case& c : cases) {
    Seen().clear();
    PushText(h, c.utf8);
    Drain();
    std::vector<WPARAM> got;
    for (const auto& r : Only({WM_CHAR})) got.push_back(r.wParam);
    EXPECT_EQ(got, c.chars) << c.utf8;
  }
  // Alt+letter is a system character on Windows, never WM_CHAR.
  Seen().clear();
  SDL_SetModState(KMOD_LALT);
  PushText(h, "x");
  Drain();
  SDL_SetModState(KMOD_NONE);
  EXPECT_TRUE(Only({WM_CHAR}).empty());
}

TEST_F(InputTest, TranslateGivesTheControlCharacters) {
  HWND h = MakeWindow();
  PushKey(h, SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN);
  PushKey(h, SDL_KEYUP, SDL_SCANCODE_RETURN, SDLK_RETURN);
  PushKey(h, SDL_KEYDOWN, SDL_SCANCODE_LCTRL, SDLK_LCTRL, KMOD_LCTRL);
  PushKey(h, SDL_KEYDOWN, SDL_SCANCODE_V, SDLK_v, KMOD_LCTRL);
  PushKey(h, SDL_KEYUP, SDL_SCANCODE_LCTRL, SDLK_LCTRL);
  PushKey(h, SDL_KEYDOWN, SDL_SCANCODE_V, SDLK_v);
  Drain();
  const auto seen = Only({WM_KEYDOWN, WM_KEYUP, WM_CHAR});
  std::vector<std::pair<UINT, WPARAM>> got;
  for (const auto& r : seen) got.push_back({r.msg, r.wParam});
  const std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_KEYDOWN, 13}, {WM_CHAR, 13}, {WM_KEYUP, 13},  {WM_KEYDOWN, 17},
      {WM_KEYDOWN, 'V'}, {WM_CHAR, 22}, {WM_KEYUP, 17}, {WM_KEYDOWN, 'V'}};
  EXPECT_EQ(got, expected);
}

TEST_F(InputTest, MouseMessagesPackClientCoordinates) {
  HWND h = MakeWindow();
  PushMotion(h, 10, 20);
  PushButton(h, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
  PushButton(h, SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 11, 21);
  PushButton(h, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 1, 2);
  PushButton(h, SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 1, 2);
  PushButton(h, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 3, 4);
  PushButton(h, SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 3, 4);
  PushButton(h, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1, 3, 4);
  PushMotion(h, -5, 700);
  Drain();
  const auto seen = Only({WM_SETCURSOR, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN,
                          WM_RBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP});
  struct Want {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  };
  const Want want[] = {
      {WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)},
      {WM_MOUSEMOVE, 0, MAKELPARAM(10, 20)},
      {WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 20)},
      {WM_LBUTTONUP, 0, MAKELPARAM(11, 21)},
      {WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(1, 2)},
      {WM_RBUTTONUP, 0, MAKELPARAM(1, 2)},
      {WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(3, 4)},
      {WM_MBUTTONUP, 0, MAKELPARAM(3, 4)},
      {WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)},
      {WM_MOUSEMOVE, 0, MAKELPARAM(0xFFFB, 700)},  // outside the client: a signed word
  };
  ASSERT_EQ(seen.size(), std::size(want));
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].msg, want[i].msg) << i;
    EXPECT_EQ(seen[i].wParam, want[i].wParam) << i;
    EXPECT_EQ(seen[i].lParam, want[i].lParam) << i;
  }
}

TEST_F(InputTest, WheelGivesDeltaTimes65536AndTheScreenPosition) {
  HWND h = MakeWindow();
  ASSERT_TRUE(SetWindowPos(h, HWND_NOTOPMOST, 560, 240, 806, 632, SWP_FRAMECHANGED));
  PushMotion(h, 10, 20);
  PushWheel(h, 1);
  PushWheel(h, -1);
  PushWheel(h, 1, SDL_MOUSEWHEEL_FLIPPED);
  PushWheel(h, 2);
  Drain();
  const auto wheels = Only({WM_MOUSEWHEEL});
  ASSERT_EQ(wheels.size(), 4u);
  EXPECT_EQ(static_cast<int32_t>(wheels[0].wParam), 7864320);
  EXPECT_EQ(static_cast<int32_t>(wheels[1].wParam), -7864320);
  EXPECT_EQ(static_cast<int32_t>(wheels[2].wParam), -7864320);
  EXPECT_EQ(static_cast<int32_t>(wheels[3].wParam), 2 * 7864320);
  EXPECT_EQ(wheels[0].lParam, MAKELPARAM(560 + 3 + 10, 240 + 29 + 20));
  POINT p;
  ASSERT_TRUE(GetCursorPos(&p));
  EXPECT_EQ(p.x, 573);
  EXPECT_EQ(p.y, 289);
}

TEST_F(InputTest, ActivationFollowsWindowsOrder) {
  struct Case {
    const char* what;
    std::vector<Uint8> events;
    std::vector<std::pair<UINT, WPARAM>> messages;
    const char* gameCalls;
  };
  const Case cases[] = {
      {"focus loss, window stays visible",
       {SDL_WINDOWEVENT_FOCUS_LOST},
       {{WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, 0}},
       "RP"},
      {"focus gain",
       {SDL_WINDOWEVENT_FOCUS_GAINED},
       {{WM_ACTIVATEAPP, 1}, {WM_ACTIVATE, WA_ACTIVE}},
       "RR"},
      {"minimise",
       {SDL_WINDOWEVENT_MINIMIZED},
       {{WM_ACTIVATE, WPARAM(0x10000)}, {WM_ACTIVATEAPP, 0}, {WM_SIZE, SIZE_MINIMIZED}},
       "PP"},
      {"restore, then focus",
       {SDL_WINDOWEVENT_RESTORED, SDL_WINDOWEVENT_FOCUS_GAINED},
       {{WM_SIZE, SIZE_RESTORED}, {WM_ACTIVATEAPP, 1}, {WM_ACTIVATE, WA_ACTIVE}},
       "RR"},
      {"minimise again", {SDL_WINDOWEVENT_MINIMIZED}, {{WM_ACTIVATE, WPARAM(0x10000)}, {WM_ACTIVATEAPP, 0}, {WM_SIZE, SIZE_MINIMIZED}}, "PP"},
      {"focus reported before the restore",
       {SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_RESTORED},
       {{WM_SIZE, SIZE_RESTORED}, {WM_ACTIVATEAPP, 1}, {WM_ACTIVATE, WA_ACTIVE}},
       "RR"},
      {"repeated focus gain changes nothing", {SDL_WINDOWEVENT_FOCUS_GAINED}, {}, ""},
  };
  HWND h = MakeWindow();
  for (const Case& c : cases) {
    Seen().clear();
    for (Uint8 e : c.events) PushWindowEvent(h, e);
    Drain();
    std::vector<std::pair<UINT, WPARAM>> got;
    for (const auto& r : Only({WM_ACTIVATE, WM_ACTIVATEAPP, WM_SIZE})) got.push_back({r.msg, r.wParam});
    EXPECT_EQ(got, c.messages) << c.what;
    EXPECT_EQ(GameCalls(), c.gameCalls) << c.what;
  }
  EXPECT_FALSE(IsIconic(h));
}

TEST_F(InputTest, CloseFromTheDesktopAndInterruptGiveWmClose) {
  HWND h = MakeWindow();
  PushWindowEvent(h, SDL_WINDOWEVENT_CLOSE);
  MSG m;
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_CLOSE);
  EXPECT_EQ(m.hwnd, h);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  ASSERT_TRUE(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_CLOSE);
  DispatchMessage(&m);  // the default procedure destroys the window
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(InputTest, DesktopMoveIsReportedAsSizeMove) {
  HWND h = MakeWindow();
  SDL_SetWindowPosition(SdlWindowOf(h), 103, 229);
  PushWindowEvent(h, SDL_WINDOWEVENT_MOVED);
  Drain();
  const auto seen = Only({WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].msg, WM_ENTERSIZEMOVE);
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 200);
  EXPECT_EQ(r.right, 906);
}
