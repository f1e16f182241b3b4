// State shared by the files of the window half of the win32 stand-in. Main thread only, except
// where a function says otherwise.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_window.h"

namespace platform::win32::detail {

struct Window {
  HWND handle = nullptr;
  std::string className;
  WNDPROC proc = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  std::u16string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};  // outer rectangle, screen coordinates
  bool topmost = false;
  bool minimized = false;
  POINT minTrack{0, 0};
  SDL_Window* sdl = nullptr;
  bool fullscreen = false;  // SDL's desktop full screen is on
  bool destroying = false;
};

Window* FindWindowRecord(HWND hwnd);       // nullptr for unknown or destroyed handles
HWND WindowOfSdlId(Uint32 windowId);       // nullptr when no window has it
bool IsLiveWindow(HWND hwnd);              // any thread
std::vector<HWND> LiveWindowHandles();     // in creation order
HWND ActiveWindow();
// Moves the activation to hwnd (nullptr: the application loses it), sending WM_ACTIVATE and
// WM_ACTIVATEAPP in Windows' order. `how` is WA_ACTIVE or WA_CLICKACTIVE.
void Activate(HWND hwnd, WORD how);
// The user moved or resized the window on the desktop; keep the outer rectangle in step.
void NoteSdlPlacement(Window& w);
// Minimise and restore as the desktop reports them.
void NoteMinimized(Window& w);
void NoteRestored(Window& w);
// The client rectangle of a record, and its origin on the screen.
SIZE ClientSize(const Window& w);
POINT ClientOrigin(const Window& w);

// The message queue.
LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void QueueMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);  // at the end, any thread
void QueueMessageFirst(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void DropQueued(HWND hwnd, UINT msg);  // the window's queued messages of that kind
void DropMessagesOf(HWND hwnd);

// SDL's events become messages (input file).
void PumpSdlEvents();
POINT LastCursorScreenPos();
bool HaveCursorScreenPos();
void NoteCursorScreenPos(POINT p);

// Why SDL's video could not start: the driver and SDL's reason; empty while it has not failed.
std::string VideoFailure();

// The screen (virtual or SDL's display 0).
int ScreenWidth();
int ScreenHeight();
RECT UsableBounds();
int ScreenDpi();

// The cursor's state is applied to SDL when video comes up.
void ApplyCursorState();

// Conversions used across the window half.
std::string Utf16ToUtf8Text(const std::u16string& text);

}  // namespace platform::win32::detail
