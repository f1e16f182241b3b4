// SDL's events become Windows messages with Windows' packing:
//   keys      WM_KEYDOWN/UP, or WM_SYSKEYDOWN/UP while the left Alt is held (right Alt is AltGr,
//             which Windows reports as Ctrl+Alt) and for F10; wParam the virtual key, lParam
//             repeat count 1, bit 29 Alt, bit 30 previous state, bit 31 release;
//   text      one WM_CHAR per character in the ANSI code page; characters it lacks are dropped;
//   mouse     client x, y in the low and high words of lParam (signed words), wParam the MK_
//             flags (WM_SETCURSOR goes with each move, see the queue);
//   wheel     wParam = delta x 65536 (120 a notch, positive away from the user) + MK_ flags,
//             lParam = the cursor's screen position;
//   window    close, minimise, restore, focus and desktop moves (see the window file).
// Main thread only: SDL delivers its events there.

#include <atomic>

#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_internal.h"

namespace platform::win32::detail {
namespace {

std::atomic<uint64_t> cursorScreen{0};
std::atomic<bool> haveCursor{false};
WPARAM buttonFlags = 0;  // MK_ flags of the buttons held, as the events told them

constexpr uint64_t Pack(POINT p) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(p.x)) << 32) | static_cast<uint32_t>(p.y);
}

LPARAM PackPoint(int x, int y) {
  return MAKELPARAM(static_cast<WORD>(static_cast<int16_t>(x)), static_cast<WORD>(static_cast<int16_t>(y)));
}

WPARAM MouseFlags() {
  const SDL_Keymod mods = SDL_GetModState();
  WPARAM f = buttonFlags;
  if (mods & KMOD_SHIFT) f |= MK_SHIFT;
  if (mods & KMOD_CTRL) f |= MK_CONTROL;
  return f;
}

WORD NumpadKey(SDL_Scancode sc, bool numLock) {
  static const WORD navigation[10] = {VK_INSERT, VK_END,  VK_DOWN, VK_NEXT, VK_LEFT,
                                      VK_CLEAR,  VK_RIGHT, VK_HOME, VK_UP,   VK_PRIOR};
  const int digit = sc == SDL_SCANCODE_KP_0 ? 0 : sc - SDL_SCANCODE_KP_1 + 1;
  return numLock ? static_cast<WORD>(VK_NUMPAD0 + digit) : navigation[digit];
}

}  // namespace

// The virtual key of an SDL key; 0 for keys Windows has no code for here.
WORD VirtualKeyOf(const SDL_Keysym& k) {
  const SDL_Keycode sym = k.sym;
  const SDL_Scancode sc = k.scancode;
  if (sym >= 'a' && sym <= 'z') return static_cast<WORD>('A' + (sym - 'a'));
  if (sym >= '0' && sym <= '9' && sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_0)
    return static_cast<WORD>(sym);
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return static_cast<WORD>('A' + (sc - SDL_SCANCODE_A));
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return static_cast<WORD>('1' + (sc - SDL_SCANCODE_1));
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return static_cast<WORD>(VK_F1 + (sc - SDL_SCANCODE_F1));
  if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24)
    return static_cast<WORD>(VK_F1 + 12 + (sc - SDL_SCANCODE_F13));
  if ((sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) || sc == SDL_SCANCODE_KP_0)
    return NumpadKey(sc, (k.mod & KMOD_NUM) != 0);
  switch (sc) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return VK_RETURN;
    case SDL_SCANCODE_ESCAPE: return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return VK_BACK;
    case SDL_SCANCODE_TAB: return VK_TAB;
    case SDL_SCANCODE_SPACE: return VK_SPACE;
    case SDL_SCANCODE_INSERT: return VK_INSERT;
    case SDL_SCANCODE_DELETE: return VK_DELETE;
    case SDL_SCANCODE_HOME: return VK_HOME;
    case SDL_SCANCODE_END: return VK_END;
    case SDL_SCANCODE_PAGEUP: return VK_PRIOR;
    case SDL_SCANCODE_PAGEDOWN: return VK_NEXT;
    case SDL_SCANCODE_LEFT: return VK_LEFT;
    case SDL_SCANCODE_RIGHT: return VK_RIGHT;
    case SDL_SCANCODE_UP: return VK_UP;
    case SDL_SCANCODE_DOWN: return VK_DOWN;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return VK_SHIFT;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return VK_CONTROL;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return VK_MENU;
    case SDL_SCANCODE_LGUI: return VK_LWIN;
    case SDL_SCANCODE_RGUI: return VK_RWIN;
    case SDL_SCANCODE_APPLICATION: return VK_APPS;
    case SDL_SCANCODE_CAPSLOCK: return VK_CAPITAL;
    case SDL_SCANCODE_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDL_SCANCODE_SCROLLLOCK: return VK_SCROLL;
    case SDL_SCANCODE_PAUSE: return VK_PAUSE;
    case SDL_SCANCODE_PRINTSCREEN: return VK_SNAPSHOT;
    case SDL_SCANCODE_KP_PERIOD: return (k.mod & KMOD_NUM) ? VK_DECIMAL : VK_DELETE;
    case SDL_SCANCODE_KP_MULTIPLY: return VK_MULTIPLY;
    case SDL_SCANCODE_KP_PLUS: return VK_ADD;
    case SDL_SCANCODE_KP_MINUS: return VK_SUBTRACT;
    case SDL_SCANCODE_KP_DIVIDE: return VK_DIVIDE;
    case SDL_SCANCODE_SEMICOLON: return VK_OEM_1;
    case SDL_SCANCODE_EQUALS: return VK_OEM_PLUS;
    case SDL_SCANCODE_COMMA: return VK_OEM_COMMA;
    case SDL_SCANCODE_MINUS: return VK_OEM_MINUS;
    case SDL_SCANCODE_PERIOD: return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH: return VK_OEM_2;
    case SDL_SCANCODE_GRAVE: return VK_OEM_3;
    case SDL_SCANCODE_LEFTBRACKET: return VK_OEM_4;
    case SDL_SCANCODE_BACKSLASH: return VK_OEM_5;
    case SDL_SCANCODE_RIGHTBRACKET: return VK_OEM_6;
    case SDL_SCANCODE_APOSTROPHE: return VK_OEM_7;
    case SDL_SCANCODE_NONUSBACKSLASH: return VK_OEM_102;
    default: return 0;
  }
}

namespace {

HWND TargetOf(Uint32 windowId) {
  HWND h = windowId ? WindowOfSdlId(windowId) : nullptr;
  return h ? h : ActiveWindow();
}

void OnKey(const SDL_KeyboardEvent& e) {
  const HWND h = TargetOf(e.windowID);
  const WORD vk = VirtualKeyOf(e.keysym);
  if (!h || !vk) return;
  const bool down = e.type == SDL_KEYDOWN;
  const bool leftAlt = (e.keysym.mod & KMOD_LALT) != 0 || e.keysym.scancode == SDL_SCANCODE_LALT;
  const bool ctrl = (e.keysym.mod & KMOD_CTRL) != 0;
  const bool sys = vk == VK_F10 || (leftAlt && !ctrl);
  const UINT msg = sys ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  uint32_t lp = 1;
  if (leftAlt) lp |= 1u << 29;
  if (!down || e.repeat) lp |= 1u << 30;
  if (!down) lp |= 1u << 31;
  QueueMessage(h, msg, vk, static_cast<LPARAM>(lp));
}

void OnText(const SDL_TextInputEvent& e) {
  const HWND h = TargetOf(e.windowID);
  if (!h) return;
  const SDL_Keymod mods = SDL_GetModState();
  if ((mods & KMOD_LALT) && !(mods & KMOD_CTRL)) return;  // Windows makes that WM_SYSCHAR
  const std::u16string text = Utf8ToUtf16(e.text);
  for (size_t i = 0; i < text.size(); ++i) {
    size_t n = 1;
    if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size()) n = 2;
    const std::string ansi = Utf16ToAnsi(std::u16string_view(text).substr(i, n), true);
    i += n - 1;
    if (ansi.empty()) continue;
    QueueMessage(h, WM_CHAR, static_cast<unsigned char>(ansi[0]), 1);
  }
}

void OnMotion(const SDL_MouseMotionEvent& e) {
  const HWND h = TargetOf(e.windowID);
  Window* w = FindWindowRecord(h);
  if (!w) return;
  const POINT o = ClientOrigin(*w);
  NoteCursorScreenPos({o.x + e.x, o.y + e.y});
  QueueMessage(h, WM_MOUSEMOVE, MouseFlags(), PackPoint(e.x, e.y));
}

void OnButton(const SDL_MouseButtonEvent& e) {
  const HWND h = TargetOf(e.windowID);
  Window* w = FindWindowRecord(h);
  if (!w) return;
  const bool down = e.type == SDL_MOUSEBUTTONDOWN;
  UINT msg;
  WPARAM flag;
  switch (e.button) {
    case SDL_BUTTON_LEFT: msg = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; flag = MK_LBUTTON; break;
    case SDL_BUTTON_RIGHT: msg = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; flag = MK_RBUTTON; break;
    case SDL_BUTTON_MIDDLE: msg = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; flag = MK_MBUTTON; break;
    default: return;  // extra buttons are not passed on
  }
  buttonFlags = down ? (buttonFlags | flag) : (buttonFlags & ~flag);
  const POINT o = ClientOrigin(*w);
  NoteCursorScreenPos({o.x + e.x, o.y + e.y});
  QueueMessage(h, msg, MouseFlags(), PackPoint(e.x, e.y));
}

void OnWheel(const SDL_MouseWheelEvent& e) {
  HWND h = ActiveWindow();
  if (!h) h = TargetOf(e.windowID);
  if (!h || e.y == 0) return;
  const int notches = e.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.y : e.y;
  const uint32_t wp = (static_cast<uint32_t>(notches * WHEEL_DELTA) << 16) |
                      static_cast<uint32_t>(MouseFlags() & 0xFFFF);
  const POINT p = LastCursorScreenPos();
  QueueMessage(h, WM_MOUSEWHEEL, wp, PackPoint(p.x, p.y));
}

// A window that moves or grows under a still pointer hears of it, as on Windows: the desktop
// sends no motion then, and the last position would stay the one of the old placement (the
// window made full screen after the pointer entered it at its windowed place). A move still
// queued was measured against the old placement: the true one replaces it, as Windows keeps
// only the latest mouse move.
void PointerAfterPlacement(HWND h, const Window& w) {
  if (!w.sdl || SDL_GetMouseFocus() != w.sdl) return;
  int gx = 0, gy = 0, wx = 0, wy = 0, cw = 0, ch = 0;
  SDL_GetGlobalMouseState(&gx, &gy);
  SDL_GetWindowPosition(w.sdl, &wx, &wy);
  SDL_GetWindowSize(w.sdl, &cw, &ch);
  const int x = gx - wx, y = gy - wy;
  if (x < 0 || y < 0 || x >= cw || y >= ch) return;
  NoteCursorScreenPos({gx, gy});
  DropQueued(h, WM_MOUSEMOVE);
  QueueMessage(h, WM_MOUSEMOVE, MouseFlags(), PackPoint(x, y));
}

void OnWindow(const SDL_WindowEvent& e) {
  const HWND h = WindowOfSdlId(e.windowID);
  Window* w = FindWindowRecord(h);
  if (!w || w->destroying) return;
  switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
      QueueMessage(h, WM_CLOSE, 0, 0);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      NoteMinimized(*w);
      break;
    case SDL_WINDOWEVENT_RESTORED:
      NoteRestored(*w);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      // Some desktops report the focus before the restore; the window is restored by then.
      NoteRestored(*w);
      if (IsLiveWindow(h)) Activate(h, WA_ACTIVE);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (ActiveWindow() == h) Activate(nullptr, WA_INACTIVE);
      break;
    case SDL_WINDOWEVENT_MOVED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      NoteSdlPlacement(*w);
      PointerAfterPlacement(h, *w);
      break;
    default:
      break;
  }
}

}  // namespace

void PumpSdlEvents() {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: OnKey(e.key); break;
      case SDL_TEXTINPUT: OnText(e.text); break;
      case SDL_MOUSEMOTION: OnMotion(e.motion); break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: OnButton(e.button); break;
      case SDL_MOUSEWHEEL: OnWheel(e.wheel); break;
      case SDL_WINDOWEVENT: OnWindow(e.window); break;
      case SDL_QUIT:
        // A session end: close the windows as their close button would.
        for (HWND h : LiveWindowHandles()) QueueMessage(h, WM_CLOSE, 0, 0);
        break;
      default: break;
    }
  }
}

POINT LastCursorScreenPos() {
  if (!haveCursor.load()) return {0, 0};
  const uint64_t v = cursorScreen.load();
  return {static_cast<LONG>(static_cast<int32_t>(v >> 32)), static_cast<LONG>(static_cast<int32_t>(v & 0xFFFFFFFF))};
}

bool HaveCursorScreenPos() { return haveCursor.load(); }

void NoteCursorScreenPos(POINT p) {
  cursorScreen.store(Pack(p));
  haveCursor.store(true);
}

}  // namespace platform::win32::detail
