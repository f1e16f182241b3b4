// Windows, window classes, styles, placement and the few menu and icon calls the frame makes.
//
// Every window is an SDL window (under SDL's dummy video driver too, so tests run the same code
// as a desktop). Geometry follows Windows: GetWindowRect is the outer rectangle in screen
// coordinates, GetClientRect the client size. A window with WS_CAPTION has a fixed frame of
// 3 pixels at the sides and bottom and 29 at the top, so outer = client + 6 x 32, the numbers the
// placement code assumes; the real decoration is the desktop's. A WS_POPUP window that covers
// the whole screen becomes SDL's desktop full screen; other popup windows are borderless.
// Menus never exist.
#pragma once

#include <string>

#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_types.h"

namespace platform::win32 {

using LPCSTR = const char*;
using ATOM = WORD;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HDC__;
using HDC = HDC__*;

// A resource name given by number, as Windows' MAKEINTRESOURCE.
inline LPCSTR MAKEINTRESOURCEA(WORD id) { return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id)); }

// Window styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

// The fixed frame of a window with a caption (see above).
constexpr int kFrameSide = 3;
constexpr int kFrameTop = 29;
constexpr int kFrameBottom = 3;

// Get/SetWindowLong indices and GetClassLong's icon index.
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GCL_HICON = -14;
constexpr int GCL_HCURSOR = -12;

// SetWindowPos.
inline HWND const HWND_TOP = nullptr;
inline HWND const HWND_BOTTOM = reinterpret_cast<HWND>(static_cast<intptr_t>(1));
inline HWND const HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
inline HWND const HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<intptr_t>(-2));
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

// ShowWindow.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

struct CREATESTRUCTA {
  void* lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
};

// WM_GETMINMAXINFO's lParam points at this; ptMinTrackSize is honoured as the window's minimum
// outer size.
struct MINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
};

// Class names compare ignoring ASCII case; registering a name twice fails (returns 0).
ATOM RegisterClassA(const WNDCLASSA* wndClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);

// The outer rectangle for a client rectangle. The menu flag changes nothing: no menu exists.
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);

// Sends WM_GETMINMAXINFO, WM_NCCREATE and WM_CREATE (either may refuse the window), then
// WM_SIZE (SIZE_RESTORED); a visible window then becomes the active one: WM_ACTIVATEAPP (1)
// when the application was not active, and WM_ACTIVATE (WA_ACTIVE), all before it returns.
// Where no desktop window can be had (no video driver opens a display, or SDL refuses the
// window) there is no window: nullptr, and WindowFailure says why.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
inline HWND CreateWindowA(LPCSTR cls, LPCSTR name, DWORD style, int x, int y, int w, int h,
                          HWND parent, HMENU menu, HINSTANCE inst, void* param) {
  return CreateWindowExA(0, cls, name, style, x, y, w, h, parent, menu, inst, param);
}
// Why the last CreateWindow made no desktop window, on one line: the video driver and SDL's
// reason. Empty when it made one.
std::string WindowFailure();
// The active window is deactivated first (WM_ACTIVATE WA_INACTIVE, WM_ACTIVATEAPP 0), then
// WM_DESTROY and WM_NCDESTROY; the handle is invalid afterwards.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);

BOOL SetWindowTextA(HWND hwnd, LPCSTR text);      // text in the ANSI code page
BOOL SetWindowTextW(HWND hwnd, const WCHAR* text);  // UTF-16

LONG GetWindowLongA(HWND hwnd, int index);
// GWL_STYLE changes the frame (caption or none) and visibility at once; the position and size
// are those of the last placement until SetWindowPos moves the window.
LONG SetWindowLongA(HWND hwnd, int index, LONG value);
inline LONG GetWindowLong(HWND h, int i) { return GetWindowLongA(h, i); }
inline LONG SetWindowLong(HWND h, int i, LONG v) { return SetWindowLongA(h, i, v); }
// Pointer-sized here: handles do not fit in 32 bits on this platform.
uintptr_t GetClassLongA(HWND hwnd, int index);
inline uintptr_t GetClassLong(HWND h, int i) { return GetClassLongA(h, i); }

BOOL GetWindowRect(HWND hwnd, RECT* rect);  // also the taskbar of FindWindow
BOOL GetClientRect(HWND hwnd, RECT* rect);
// Position and outer size in screen coordinates. A size change sends WM_SIZE.
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// Returns whether the window was visible before.
BOOL ShowWindow(HWND hwnd, int command);
BOOL IsIconic(HWND hwnd);
BOOL ScreenToClient(HWND hwnd, POINT* point);
BOOL ClientToScreen(HWND hwnd, POINT* point);
HWND GetActiveWindow();
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND hwnd);

// "Shell_TrayWnd" gives the taskbar when the primary display's usable bounds leave a strip
// out (none when they are equal); other names search this program's windows.
HWND FindWindowA(LPCSTR className, LPCSTR windowName);

// Menus never exist.
HMENU GetMenu(HWND hwnd);
BOOL SetMenu(HWND hwnd, HMENU menu);
BOOL DestroyMenu(HMENU menu);

// Icons by resource name ("MAINICON"); the handle carries no picture.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL DestroyIcon(HICON icon);

// Nothing to set up on this platform.
void InitCommonControls();

// Device contexts only answer GetDeviceCaps.
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
int GetDeviceCaps(HDC dc, int index);  // LOGPIXELS 96 (or the seam's), HORZRES/VERTRES screen

}  // namespace platform::win32
