// What the desktop offers around the windows: the screen size and DPI, the mouse cursor, the
// clipboard and message boxes.
//
// The screen is SDL's display 0 unless a test sets a virtual screen. Message boxes are SDL's;
// with no desktop (the dummy video driver) the text goes to standard error and the answer is
// the default one (OK for an OK box, Cancel for Retry/Cancel) or the one a test set.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"
#include "platform/win32/win32_window.h"

namespace platform::win32 {

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
int GetSystemMetrics(int index);  // the desktop's pixel size; 0 for other indices

// The cursor shows while the display counter is >= 0; it starts at 0. Returns the new count.
int ShowCursor(BOOL show);
BOOL GetCursorPos(POINT* point);  // screen coordinates

// Standard cursors: the nearest SDL system cursor stands in for each.
inline LPCSTR const IDC_ARROW = MAKEINTRESOURCEA(32512);
inline LPCSTR const IDC_IBEAM = MAKEINTRESOURCEA(32513);
inline LPCSTR const IDC_WAIT = MAKEINTRESOURCEA(32514);
inline LPCSTR const IDC_CROSS = MAKEINTRESOURCEA(32515);
inline LPCSTR const IDC_UPARROW = MAKEINTRESOURCEA(32516);
inline LPCSTR const IDC_NO = MAKEINTRESOURCEA(32648);
inline LPCSTR const IDC_HAND = MAKEINTRESOURCEA(32649);
inline LPCSTR const IDC_APPSTARTING = MAKEINTRESOURCEA(32650);
inline LPCSTR const IDC_HELP = MAKEINTRESOURCEA(32651);
// Only the standard cursors (instance nullptr); anything else gives nullptr.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
inline HCURSOR LoadCursor(HINSTANCE i, LPCSTR n) { return LoadCursorA(i, n); }
HCURSOR SetCursor(HCURSOR cursor);  // returns the previous one

// The clipboard's text in the ANSI code page (characters it lacks become "?"), line breaks as
// CR LF; "" when there is none.
std::string GetClipboardText();

// MessageBox types and answers.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDRETRY = 4;
// Modal, with the buttons "OK", or "Retry" and "Cancel" (no access-key marks shown); closing
// the box counts as Cancel (as OK for an OK box).
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);      // ANSI texts
int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type);  // UTF-16

namespace testing {

// A virtual screen replaces the desktop for the screen size, the display modes, the DPI and
// the taskbar (the part of the screen its usable bounds leave out).
struct VirtualScreen {
  int width = 1024;
  int height = 768;
  RECT usable{0, 0, 1024, 768};
  int dpi = 96;
  struct Mode {
    int width, height, refresh;
  };
  std::vector<Mode> modes;  // empty: the one mode width x height at 60 Hz
};
void SetVirtualScreen(std::optional<VirtualScreen> screen);  // nullopt: the real desktop

void SetClipboardText(std::optional<std::string> utf8);  // nullopt: the real clipboard

// The answer of the next message boxes (IDOK, IDCANCEL, IDRETRY); 0: the default answer.
// While an answer is set no box is shown, also on a desktop.
void SetMessageBoxAnswer(int answer);
struct MessageBoxRecord {
  std::string caption, text;  // UTF-8, as shown
  UINT type = 0;
  int answer = 0;
};
std::vector<MessageBoxRecord> MessageBoxes();  // every box since the last clear
void ClearMessageBoxes();

bool CursorVisible();
int CursorDisplayCount();
LPCSTR CurrentCursor();  // the IDC_ value of the cursor set last (IDC_ARROW at start)

std::u16string WindowTitle(HWND hwnd);

}  // namespace testing

}  // namespace platform::win32
