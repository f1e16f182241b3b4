// The message queue, window messages with their Windows numbers and wParam/lParam packing,
// virtual-key codes, and the hand-over of calls from worker threads to the main thread.
//
// There is one queue for the process, owned by the main thread (the thread that runs static
// initialisation). SDL events are turned into messages whenever the main thread looks at the
// queue (PeekMessage, GetMessage), so input arrives in the order SDL delivered it. Posting is
// safe from any thread; everything else belongs to the main thread.
#pragma once

#include <functional>

#include "platform/win32/win32_types.h"

namespace platform::win32 {

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_POWERBROADCAST = 0x0218;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_ENTERMENULOOP = 0x0211;
constexpr UINT WM_EXITMENULOOP = 0x0212;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// WM_SIZE wParam.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr WPARAM SIZE_MAXSHOW = 3;
constexpr WPARAM SIZE_MAXHIDE = 4;

// WM_ACTIVATE low word; the high word is non-zero while the window is minimised.
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;
constexpr WORD WA_CLICKACTIVE = 2;

// WM_SYSCOMMAND wParam.
constexpr WPARAM SC_SIZE = 0xF000;
constexpr WPARAM SC_MOVE = 0xF010;
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_KEYMENU = 0xF100;
constexpr WPARAM SC_RESTORE = 0xF120;
constexpr WPARAM SC_MONITORPOWER = 0xF170;

// WM_POWERBROADCAST wParam.
constexpr WPARAM PBT_APMQUERYSUSPEND = 0x0000;
constexpr WPARAM PBT_APMRESUMESUSPEND = 0x0007;

// WM_NCHITTEST results.
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;

// Key-state flags in the wParam of mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

constexpr int WHEEL_DELTA = 120;

// Virtual-key codes. Letters and digits are their upper-case ASCII codes ('A'..'Z', '0'..'9').
constexpr WORD VK_LBUTTON = 0x01;
constexpr WORD VK_RBUTTON = 0x02;
constexpr WORD VK_MBUTTON = 0x04;
constexpr WORD VK_BACK = 0x08;
constexpr WORD VK_TAB = 0x09;
constexpr WORD VK_CLEAR = 0x0C;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_SHIFT = 0x10;
constexpr WORD VK_CONTROL = 0x11;
constexpr WORD VK_MENU = 0x12;
constexpr WORD VK_PAUSE = 0x13;
constexpr WORD VK_CAPITAL = 0x14;
constexpr WORD VK_ESCAPE = 0x1B;
constexpr WORD VK_SPACE = 0x20;
constexpr WORD VK_PRIOR = 0x21;
constexpr WORD VK_NEXT = 0x22;
constexpr WORD VK_END = 0x23;
constexpr WORD VK_HOME = 0x24;
constexpr WORD VK_LEFT = 0x25;
constexpr WORD VK_UP = 0x26;
constexpr WORD VK_RIGHT = 0x27;
constexpr WORD VK_DOWN = 0x28;
constexpr WORD VK_SNAPSHOT = 0x2C;
constexpr WORD VK_INSERT = 0x2D;
constexpr WORD VK_DELETE = 0x2E;
constexpr WORD VK_LWIN = 0x5B;
constexpr WORD VK_RWIN = 0x5C;
constexpr WORD VK_APPS = 0x5D;
constexpr WORD VK_NUMPAD0 = 0x60;  // ..VK_NUMPAD9 = 0x69
constexpr WORD VK_MULTIPLY = 0x6A;
constexpr WORD VK_ADD = 0x6B;
constexpr WORD VK_SUBTRACT = 0x6D;
constexpr WORD VK_DECIMAL = 0x6E;
constexpr WORD VK_DIVIDE = 0x6F;
constexpr WORD VK_F1 = 0x70;  // ..VK_F24 = 0x87
constexpr WORD VK_F4 = 0x73;
constexpr WORD VK_F5 = 0x74;
constexpr WORD VK_F10 = 0x79;
constexpr WORD VK_F12 = 0x7B;
constexpr WORD VK_NUMLOCK = 0x90;
constexpr WORD VK_SCROLL = 0x91;
constexpr WORD VK_OEM_1 = 0xBA;      // ;:
constexpr WORD VK_OEM_PLUS = 0xBB;   // =+
constexpr WORD VK_OEM_COMMA = 0xBC;
constexpr WORD VK_OEM_MINUS = 0xBD;
constexpr WORD VK_OEM_PERIOD = 0xBE;
constexpr WORD VK_OEM_2 = 0xBF;      // /?
constexpr WORD VK_OEM_3 = 0xC0;      // `~
constexpr WORD VK_OEM_4 = 0xDB;      // [{
constexpr WORD VK_OEM_5 = 0xDC;      // \|
constexpr WORD VK_OEM_6 = 0xDD;      // ]}
constexpr WORD VK_OEM_7 = 0xDE;      // '"
constexpr WORD VK_OEM_102 = 0xE2;    // the extra key of ISO keyboards

// PeekMessage flags.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// The window's own procedure, or nothing for a message without a window. The filter is a
// window (nullptr: any) and a range of message numbers (0, 0: all). WM_QUIT comes once the
// queue holds nothing else that matches.
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// Waits until a message arrives; 0 for WM_QUIT, else non-zero (never -1: a filter window that
// no longer exists counts as no filter).
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
// WM_KEYDOWN of Backspace, Tab, Enter, Escape and Ctrl+letter queue the WM_CHAR Windows gives
// them; printable characters come from the desktop's text input as their own WM_CHAR.
BOOL TranslateMessage(const MSG* msg);
// Runs the window procedure; a hand-over marker runs the calls waiting in Synchronize.
LRESULT DispatchMessageA(const MSG* msg);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);  // any thread
// Calls the window procedure at once; from another thread it waits for the main thread.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

inline BOOL PeekMessage(MSG* m, HWND h, UINT lo, UINT hi, UINT f) { return PeekMessageA(m, h, lo, hi, f); }
inline BOOL GetMessage(MSG* m, HWND h, UINT lo, UINT hi) { return GetMessageA(m, h, lo, hi); }
inline LRESULT DispatchMessage(const MSG* m) { return DispatchMessageA(m); }
inline LRESULT DefWindowProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }
inline BOOL PostMessage(HWND h, UINT m, WPARAM w, LPARAM l) { return PostMessageA(h, m, w, l); }
inline LRESULT SendMessage(HWND h, UINT m, WPARAM w, LPARAM l) { return SendMessageA(h, m, w, l); }

// The main-thread hand-over that worker threads wait on: the call is queued, a waiting
// GetMessage wakes, and the call runs when the message loop dispatches the marker message (never
// from a nested PeekMessage without dispatch). The worker returns once it has run; an exception
// thrown by the call is rethrown in the worker. On the main thread the call runs at once.
// Heavy calls (a big answer to hand over) run one in a turn: after one has run, the next waits
// until the loop has found its queue empty, so that a frame runs between them. Calls keep the
// order in which they came: those behind a heavy call that waits wait with it.
void Synchronize(std::function<void()> call, bool heavy = false);
bool IsMainThread();

// From now on SIGINT and SIGTERM close every window as its close button does (SDL's own
// handlers stay off). The main thread acts at its next look at the queue, so a signal during
// loading or a blocking call takes effect when the call returns; one that comes before any
// window exists waits for the first. A second signal ends the process at once, by the
// signal's default action. Call once, at start, before SDL starts.
void CloseWindowsOnEndSignals();

}  // namespace platform::win32
