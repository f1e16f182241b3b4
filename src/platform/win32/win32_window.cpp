// Windows and their classes over SDL windows: creation and destruction with the messages Windows
// sends on the way, styles, placement in screen coordinates, activation, and the desktop's
// taskbar. The outer rectangle kept here is the truth the system reads back; the SDL window
// follows it (client area at the client origin, decoration or none, desktop full screen for a
// popup window that covers the screen), and moves the user makes on the desktop flow back.

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_log.h"
#include "platform/win32/win32_sdl.h"
#include "platform/win32/win32_system.h"

namespace platform::win32 {
namespace {

using detail::Window;

constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_NO_SYSTEM_RESOURCES = 1450;

struct ClassRecord {
  std::string name;
  WNDCLASSA wc;
  ATOM atom;
};

std::vector<ClassRecord> classes;
ATOM nextAtom = 0xC000;

std::mutex windowsMutex;                       // guards the map; records change on the main thread
std::map<HWND, std::unique_ptr<Window>> windows;  // ordered by handle: creation order
std::map<Uint32, HWND> bySdlId;
uintptr_t nextHandle = 0x10010;
HWND activeWindow = nullptr;

void (*windowSettler)() = nullptr;
std::string windowFailure;  // why the last CreateWindow made no desktop window

void Settle() {
  if (windowSettler) windowSettler();
}

HWND const kTaskbar = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xFFFF0100u));
std::vector<std::string> iconNames;  // handle i+1 names iconNames[i]

bool SameName(const std::string& a, const char* b) {
  if (!b) return false;
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return i == a.size() && !b[i];
}

bool IsAtom(const char* name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

// A class by name, or by the atom RegisterClass returned (Windows' MAKEINTATOM form).
ClassRecord* FindClass(const char* name) {
  for (auto& c : classes)
    if (IsAtom(name) ? c.atom == reinterpret_cast<uintptr_t>(name) : SameName(c.name, name)) return &c;
  return nullptr;
}

bool HasCaption(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

std::vector<HWND> LiveHandles() { return detail::LiveWindowHandles(); }

LRESULT Send(HWND h, UINT msg, WPARAM wp, LPARAM lp) { return detail::CallWindowProcedure(h, msg, wp, lp); }

WPARAM ActivateParam(HWND h, WORD state) {
  Window* w = detail::FindWindowRecord(h);
  const WORD minimized = (w && w->minimized) ? 1 : 0;
  return static_cast<WPARAM>(state) | (static_cast<WPARAM>(minimized) << 16);
}

// Another visible, restored window of ours that can take over the activation.
HWND NextActivatable(HWND leaving) {
  for (HWND h : LiveHandles()) {
    Window* w = detail::FindWindowRecord(h);
    if (h != leaving && w && (w->style & WS_VISIBLE) && !w->minimized) return h;
  }
  return nullptr;
}

void SendSizeIfChanged(Window& w, SIZE& sent) {
  const SIZE c = detail::ClientSize(w);
  if (c.cx == sent.cx && c.cy == sent.cy) return;
  sent = c;
  Send(w.handle, WM_SIZE, SIZE_RESTORED,
       MAKELPARAM(static_cast<WORD>(c.cx), static_cast<WORD>(c.cy)));
}

std::map<HWND, SIZE> sentClient;  // the client size the window procedure was last told

// SDL rebuilds the native window when a renderer needs another kind (OpenGL on X11), at the
// place it keeps for windowed mode. That place follows the desktop's reports of windowed moves
// and never the moves made for full screen, so without a window manager a rebuilt full-screen
// window went back to the centred start. While SDL's full screen is on, these two calls only
// set that kept place.
void RememberPlacement(SDL_Window* sdl, POINT origin, SIZE client) {
  SDL_SetWindowPosition(sdl, origin.x, origin.y);
  SDL_SetWindowSize(sdl, std::max<LONG>(1, client.cx), std::max<LONG>(1, client.cy));
}

// Brings the SDL window in line with the record.
void ApplyToSdl(Window& w) {
  if (!w.sdl) return;
  Settle();
  const bool caption = HasCaption(w.style);
  const bool covers = !caption && w.rect.left == 0 && w.rect.top == 0 &&
                      w.rect.right == detail::ScreenWidth() && w.rect.bottom == detail::ScreenHeight();
  if (covers) {
    if (!w.fullscreen) {
      // Cover the screen first: without a window manager the full-screen request does nothing.
      SDL_SetWindowBordered(w.sdl, SDL_FALSE);
      SDL_SetWindowSize(w.sdl, w.rect.right, w.rect.bottom);
      SDL_SetWindowPosition(w.sdl, 0, 0);
      if (SDL_SetWindowFullscreen(w.sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0) {
        w.fullscreen = true;
        RememberPlacement(w.sdl, {0, 0}, {w.rect.right, w.rect.bottom});
      }
    }
  } else {
    const SIZE c = detail::ClientSize(w);
    const POINT o = detail::ClientOrigin(w);
    if (w.fullscreen) {
      RememberPlacement(w.sdl, o, c);
      SDL_SetWindowFullscreen(w.sdl, 0);
      w.fullscreen = false;
    }
    SDL_SetWindowBordered(w.sdl, caption ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowSize(w.sdl, std::max<LONG>(1, c.cx), std::max<LONG>(1, c.cy));
    SDL_SetWindowPosition(w.sdl, o.x, o.y);
  }
  if (w.minTrack.x > 0 || w.minTrack.y > 0) {
    const int fw = caption ? 2 * kFrameSide : 0, fh = caption ? kFrameTop + kFrameBottom : 0;
    SDL_SetWindowMinimumSize(w.sdl, std::max(1, static_cast<int>(w.minTrack.x) - fw),
                             std::max(1, static_cast<int>(w.minTrack.y) - fh));
  }
  SDL_SetWindowAlwaysOnTop(w.sdl, w.topmost ? SDL_TRUE : SDL_FALSE);
  const bool shown = (SDL_GetWindowFlags(w.sdl) & SDL_WINDOW_SHOWN) != 0;
  if ((w.style & WS_VISIBLE) && !shown) SDL_ShowWindow(w.sdl);
  if (!(w.style & WS_VISIBLE) && shown) SDL_HideWindow(w.sdl);
}

void AskMinMax(Window& w) {
  MINMAXINFO mm{};
  mm.ptMaxSize = {detail::ScreenWidth(), detail::ScreenHeight()};
  mm.ptMaxTrackSize = mm.ptMaxSize;
  Send(w.handle, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mm));
  if (Window* again = detail::FindWindowRecord(w.handle)) again->minTrack = mm.ptMinTrackSize;
}

}  // namespace

namespace detail {

Window* FindWindowRecord(HWND hwnd) {
  std::lock_guard lock(windowsMutex);
  auto it = windows.find(hwnd);
  return it == windows.end() ? nullptr : it->second.get();
}

bool IsLiveWindow(HWND hwnd) {
  std::lock_guard lock(windowsMutex);
  auto it = windows.find(hwnd);
  return it != windows.end() && !it->second->destroying;
}

std::vector<HWND> LiveWindowHandles() {
  std::lock_guard lock(windowsMutex);
  std::vector<HWND> out;
  for (auto& [h, w] : windows)
    if (!w->destroying) out.push_back(h);
  return out;
}

HWND WindowOfSdlId(Uint32 id) {
  std::lock_guard lock(windowsMutex);
  auto it = bySdlId.find(id);
  return it == bySdlId.end() ? nullptr : it->second;
}

HWND ActiveWindow() { return activeWindow; }

SIZE ClientSize(const Window& w) {
  const bool caption = HasCaption(w.style);
  SIZE s{w.rect.right - w.rect.left, w.rect.bottom - w.rect.top};
  if (caption) {
    s.cx -= 2 * kFrameSide;
    s.cy -= kFrameTop + kFrameBottom;
  }
  return {std::max<LONG>(0, s.cx), std::max<LONG>(0, s.cy)};
}

POINT ClientOrigin(const Window& w) {
  if (HasCaption(w.style)) return {w.rect.left + kFrameSide, w.rect.top + kFrameTop};
  return {w.rect.left, w.rect.top};
}

void Activate(HWND hwnd, WORD how) {
  const HWND old = activeWindow;
  if (old == hwnd) return;
  if (old && IsLiveWindow(old)) {
    Send(old, WM_ACTIVATE, ActivateParam(old, WA_INACTIVE), reinterpret_cast<LPARAM>(hwnd));
    if (!hwnd)
      for (HWND h : LiveHandles()) Send(h, WM_ACTIVATEAPP, FALSE, 0);
  }
  activeWindow = hwnd;
  if (!hwnd) return;
  if (!old)
    for (HWND h : LiveHandles()) Send(h, WM_ACTIVATEAPP, TRUE, 0);
  if (IsLiveWindow(hwnd))
    Send(hwnd, WM_ACTIVATE, ActivateParam(hwnd, how), reinterpret_cast<LPARAM>(old));
}

void NoteMinimized(Window& w) {
  if (w.minimized) return;
  const HWND h = w.handle;
  w.minimized = true;
  w.style |= WS_MINIMIZE;
  if (activeWindow == h) Activate(NextActivatable(h), WA_ACTIVE);
  if (IsLiveWindow(h)) {
    sentClient[h] = {0, 0};
    Send(h, WM_SIZE, SIZE_MINIMIZED, 0);
  }
}

void NoteRestored(Window& w) {
  if (!w.minimized) return;
  w.minimized = false;
  w.style &= ~WS_MINIMIZE;
  const SIZE c = ClientSize(w);
  sentClient[w.handle] = c;
  Send(w.handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(static_cast<WORD>(c.cx), static_cast<WORD>(c.cy)));
}

void NoteSdlPlacement(Window& w) {
  if (!w.sdl || w.fullscreen || w.minimized) return;
  int x = 0, y = 0, cw = 0, ch = 0;
  SDL_GetWindowPosition(w.sdl, &x, &y);
  SDL_GetWindowSize(w.sdl, &cw, &ch);
  RECT r{x, y, x + cw, y + ch};
  if (HasCaption(w.style)) {
    r.left -= kFrameSide;
    r.top -= kFrameTop;
    r.right += kFrameSide;
    r.bottom += kFrameBottom;
  }
  if (r.left == w.rect.left && r.top == w.rect.top && r.right == w.rect.right &&
      r.bottom == w.rect.bottom)
    return;
  // The desktop moved the window: tell the procedure as Windows does after a drag.
  const HWND h = w.handle;
  Send(h, WM_ENTERSIZEMOVE, 0, 0);
  if (Window* again = FindWindowRecord(h)) {
    again->rect = r;
    SendSizeIfChanged(*again, sentClient[h]);
  }
  Send(h, WM_EXITSIZEMOVE, 0, 0);
}

std::string Utf16ToUtf8Text(const std::u16string& text) { return Utf16ToUtf8(text); }

}  // namespace detail

void SetWindowSettler(void (*settle)()) { windowSettler = settle; }

std::string WindowFailure() { return windowFailure; }

SDL_Window* SdlWindowOf(HWND hwnd) {
  Window* w = detail::FindWindowRecord(hwnd);
  return w && !w->destroying ? w->sdl : nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpszClassName || reinterpret_cast<uintptr_t>(wc->lpszClassName) < 0x10000) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (FindClass(wc->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  ClassRecord c{wc->lpszClassName, *wc, nextAtom++};
  c.wc.lpszClassName = nullptr;  // the caller's text may not outlive the call
  c.wc.lpszMenuName = nullptr;
  classes.push_back(c);
  return c.atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  ClassRecord* c = FindClass(className);
  if (!c) return FALSE;
  classes.erase(classes.begin() + (c - classes.data()));
  return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL) {
  if (!rect) return FALSE;
  if (HasCaption(style)) {
    rect->left -= kFrameSide;
    rect->top -= kFrameTop;
    rect->right += kFrameSide;
    rect->bottom += kFrameBottom;
  }
  return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param) {
  ClassRecord* cls = FindClass(className);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  const int sw = detail::ScreenWidth(), sh = detail::ScreenHeight();
  if (width == CW_USEDEFAULT || width <= 0) width = sw * 3 / 4;
  if (height == CW_USEDEFAULT || height <= 0) height = sh * 3 / 4;
  // The default position centres the window; y has no meaning of its own then, as on Windows.
  if (x == CW_USEDEFAULT) {
    x = (sw - width) / 2;
    y = (sh - height) / 2;
  }

  windowFailure.clear();
  if (!EnsureSdlVideo()) {
    windowFailure = detail::VideoFailure();
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
  }

  auto record = std::make_unique<Window>();
  Window& w = *record;
  w.handle = reinterpret_cast<HWND>(nextHandle);
  nextHandle += 2;
  w.className = cls->name;
  w.proc = cls->wc.lpfnWndProc;
  w.icon = cls->wc.hIcon;
  w.cursor = cls->wc.hCursor;
  w.style = style;
  w.exStyle = exStyle;
  w.topmost = (exStyle & WS_EX_TOPMOST) != 0;
  w.rect = {x, y, x + width, y + height};
  w.title = AnsiToUtf16(windowName ? windowName : "");
  const HWND h = w.handle;

  {
    const SIZE c = detail::ClientSize(w);
    const POINT o = detail::ClientOrigin(w);
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (!HasCaption(style)) flags |= SDL_WINDOW_BORDERLESS;
    w.sdl = SDL_CreateWindow(detail::Utf16ToUtf8Text(w.title).c_str(), o.x, o.y,
                             std::max<LONG>(1, c.cx), std::max<LONG>(1, c.cy), flags);
    if (!w.sdl) {
      // A window nobody sees would play the whole game unseen.
      windowFailure = std::string("SDL video driver \"") + (SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "") +
                      "\" made no window: " + SDL_GetError();
      SetLastError(ERROR_NO_SYSTEM_RESOURCES);
      return nullptr;
    }
  }
  {
    std::lock_guard lock(windowsMutex);
    if (w.sdl) bySdlId[SDL_GetWindowID(w.sdl)] = h;
    windows[h] = std::move(record);
  }

  AskMinMax(w);
  CREATESTRUCTA cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                   windowName, className, exStyle};
  if (!Send(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
      Send(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(h);
    return nullptr;
  }
  Window* live = detail::FindWindowRecord(h);
  if (!live) return nullptr;  // the procedure destroyed it
  ApplyToSdl(*live);
  if (live->style & WS_VISIBLE) {
    Send(h, WM_SHOWWINDOW, TRUE, 0);
    detail::Activate(h, WA_ACTIVE);
  }
  if ((live = detail::FindWindowRecord(h))) {
    sentClient[h] = {-1, -1};
    SendSizeIfChanged(*live, sentClient[h]);
  }
  if (live && live->sdl) SDL_StartTextInput();
  return detail::IsLiveWindow(h) ? h : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w || w->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (activeWindow == hwnd) detail::Activate(NextActivatable(hwnd), WA_ACTIVE);
  if (activeWindow == hwnd) activeWindow = nullptr;
  w->destroying = true;
  Send(hwnd, WM_DESTROY, 0, 0);
  Send(hwnd, WM_NCDESTROY, 0, 0);
  std::unique_ptr<Window> gone;
  {
    std::lock_guard lock(windowsMutex);
    auto it = windows.find(hwnd);
    if (it != windows.end()) {
      gone = std::move(it->second);
      windows.erase(it);
    }
    if (gone && gone->sdl) bySdlId.erase(SDL_GetWindowID(gone->sdl));
  }
  sentClient.erase(hwnd);
  if (gone && gone->sdl) {
    Settle();
    SDL_DestroyWindow(gone->sdl);
  }
  detail::DropMessagesOf(hwnd);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return detail::IsLiveWindow(hwnd) ? TRUE : FALSE; }

BOOL SetWindowTextW(HWND hwnd, const WCHAR* text) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w) return FALSE;
  w->title = text ? std::u16string(text) : std::u16string();
  if (w->sdl) SDL_SetWindowTitle(w->sdl, detail::Utf16ToUtf8Text(w->title).c_str());
  return TRUE;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  const std::u16string wide = AnsiToUtf16(text ? text : "");
  return SetWindowTextW(hwnd, wide.c_str());
}

LONG GetWindowLongA(HWND hwnd, int index) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w) return 0;
  if (index == GWL_STYLE) return static_cast<LONG>(w->style);
  if (index == GWL_EXSTYLE) return static_cast<LONG>(w->exStyle | (w->topmost ? WS_EX_TOPMOST : 0));
  return 0;
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w) return 0;
  const LONG old = GetWindowLongA(hwnd, index);
  if (index == GWL_STYLE) {
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    // Minimised state belongs to the window, not to the caller's style text.
    w->style = (static_cast<DWORD>(value) & ~WS_MINIMIZE) | (w->minimized ? WS_MINIMIZE : 0);
    ApplyToSdl(*w);
    if (wasVisible != ((w->style & WS_VISIBLE) != 0))
      Send(hwnd, WM_SHOWWINDOW, wasVisible ? FALSE : TRUE, 0);
  } else if (index == GWL_EXSTYLE) {
    w->exStyle = static_cast<DWORD>(value) & ~WS_EX_TOPMOST;
    w->topmost = (static_cast<DWORD>(value) & WS_EX_TOPMOST) != 0;
    ApplyToSdl(*w);
  }
  return old;
}

uintptr_t GetClassLongA(HWND hwnd, int index) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w) return 0;
  if (index == GCL_HICON) return reinterpret_cast<uintptr_t>(w->icon);
  if (index == GCL_HCURSOR) return reinterpret_cast<uintptr_t>(w->cursor);
  return 0;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  if (!rect) return FALSE;
  if (hwnd == kTaskbar) {
    const int sw = detail::ScreenWidth(), sh = detail::ScreenHeight();
    const RECT u = detail::UsableBounds();
    // The widest strip the usable bounds leave out of the screen.
    const RECT strips[4] = {{0, 0, sw, u.top}, {0, u.bottom, sw, sh}, {0, 0, u.left, sh},
                            {u.right, 0, sw, sh}};
    long best = 0;
    *rect = RECT{0, 0, 0, 0};
    for (const RECT& s : strips) {
      const long area = static_cast<long>(std::max<LONG>(0, s.right - s.left)) *
                        std::max<LONG>(0, s.bottom - s.top);
      if (area > best) {
        best = area;
        *rect = s;
      }
    }
    return TRUE;
  }
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w) return FALSE;
  *rect = w->rect;
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w || !rect) return FALSE;
  const SIZE c = w->minimized ? SIZE{0, 0} : detail::ClientSize(*w);
  *rect = {0, 0, c.cx, c.cy};
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!(flags & SWP_NOZORDER)) {
    if (insertAfter == HWND_TOPMOST) w->topmost = true;
    if (insertAfter == HWND_NOTOPMOST) w->topmost = false;
  }
  RECT r = w->rect;
  if (!(flags & SWP_NOMOVE)) {
    r.right += x - r.left;
    r.bottom += y - r.top;
    r.left = x;
    r.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::max(0, cx);
    r.bottom = r.top + std::max(0, cy);
  }
  w->rect = r;
  if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
  if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
  ApplyToSdl(*w);
  if (!w->minimized) SendSizeIfChanged(*w, sentClient[hwnd]);
  return TRUE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w) return FALSE;
  const BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
  switch (command) {
    case SW_HIDE:
      if (!wasVisible) break;
      w->style &= ~WS_VISIBLE;
      ApplyToSdl(*w);
      Send(hwnd, WM_SHOWWINDOW, FALSE, 0);
      if (activeWindow == hwnd) detail::Activate(NextActivatable(hwnd), WA_ACTIVE);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      w->style |= WS_VISIBLE;
      ApplyToSdl(*w);
      if (w->sdl) SDL_MinimizeWindow(w->sdl);
      detail::NoteMinimized(*w);
      break;
    default:  // the showing commands
      if (!wasVisible) {
        w->style |= WS_VISIBLE;
        ApplyToSdl(*w);
        Send(hwnd, WM_SHOWWINDOW, TRUE, 0);
      }
      if ((w = detail::FindWindowRecord(hwnd)) && w->minimized) {
        if (w->sdl) SDL_RestoreWindow(w->sdl);
        detail::NoteRestored(*w);
      }
      if (command != SW_SHOWNOACTIVATE && detail::IsLiveWindow(hwnd)) detail::Activate(hwnd, WA_ACTIVE);
      break;
  }
  return wasVisible;
}

BOOL IsIconic(HWND hwnd) {
  Window* w = detail::FindWindowRecord(hwnd);
  return w && w->minimized ? TRUE : FALSE;
}

BOOL ScreenToClient(HWND hwnd, POINT* p) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w || !p) return FALSE;
  const POINT o = detail::ClientOrigin(*w);
  p->x -= o.x;
  p->y -= o.y;
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* p) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w || !p) return FALSE;
  const POINT o = detail::ClientOrigin(*w);
  p->x += o.x;
  p->y += o.y;
  return TRUE;
}

HWND GetActiveWindow() { return activeWindow; }
HWND GetForegroundWindow() { return activeWindow; }

BOOL SetForegroundWindow(HWND hwnd) {
  Window* w = detail::FindWindowRecord(hwnd);
  if (!w) return FALSE;
  if (w->sdl) SDL_RaiseWindow(w->sdl);
  detail::Activate(hwnd, WA_ACTIVE);
  return TRUE;
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  if (className && IsAtom(className)) {
    const ClassRecord* c = FindClass(className);
    if (!c) return nullptr;
    for (HWND h : LiveHandles())
      if (Window* w = detail::FindWindowRecord(h); w && SameName(w->className, c->name.c_str()) &&
                                                 (!windowName || w->title == AnsiToUtf16(windowName)))
        return h;
    return nullptr;
  }
  if (className && SameName("Shell_TrayWnd", className) && !windowName) {
    RECT r;
    GetWindowRect(kTaskbar, &r);
    return r.right > r.left && r.bottom > r.top ? kTaskbar : nullptr;
  }
  for (HWND h : LiveHandles()) {
    Window* w = detail::FindWindowRecord(h);
    if (!w) continue;
    if (className && !SameName(w->className, className)) continue;
    if (windowName && w->title != AnsiToUtf16(windowName)) continue;
    return h;
  }
  return nullptr;
}

HMENU GetMenu(HWND) { return nullptr; }
BOOL SetMenu(HWND hwnd, HMENU menu) { return detail::IsLiveWindow(hwnd) && !menu ? TRUE : FALSE; }
BOOL DestroyMenu(HMENU) { return FALSE; }

HICON LoadIconA(HINSTANCE, LPCSTR name) {
  std::string key = reinterpret_cast<uintptr_t>(name) < 0x10000
                        ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name))
                        : std::string(name ? name : "");
  for (size_t i = 0; i < iconNames.size(); ++i)
    if (iconNames[i] == key) return reinterpret_cast<HICON>(0x30000 + i + 1);
  iconNames.push_back(key);
  return reinterpret_cast<HICON>(0x30000 + iconNames.size());
}

BOOL DestroyIcon(HICON icon) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(icon);
  return v > 0x30000 && v <= 0x30000 + iconNames.size() ? TRUE : FALSE;
}

void InitCommonControls() {}

HDC GetDC(HWND) { return reinterpret_cast<HDC>(static_cast<uintptr_t>(1)); }
int ReleaseDC(HWND, HDC) { return 1; }

int GetDeviceCaps(HDC, int index) {
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return detail::ScreenDpi();
    case HORZRES: return detail::ScreenWidth();
    case VERTRES: return detail::ScreenHeight();
    default: return 0;
  }
}

namespace testing {

std::u16string WindowTitle(HWND hwnd) {
  Window* w = detail::FindWindowRecord(hwnd);
  return w ? w->title : std::u16string();
}

}  // namespace testing

}  // namespace platform::win32
