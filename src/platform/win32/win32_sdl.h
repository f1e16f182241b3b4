// The win32 stand-in's SDL side, for the other stand-ins only (the graphics device presents into
// a window's SDL window and asks for the desktop's display modes). Nothing above the platform
// line includes this header. (The worker hand-over, Synchronize, is public: win32_messages.h.)
#pragma once

#include <SDL.h>

#include <vector>

#include "platform/win32/win32_types.h"

namespace platform::win32 {

// The SDL window behind a window handle; nullptr for no window (or a destroyed one).
SDL_Window* SdlWindowOf(HWND hwnd);

// Called on the main thread before the stand-in changes or destroys an SDL window, so that a
// frame still being shown from another thread is finished first. One function; nullptr: none.
void SetWindowSettler(void (*settle)());

// Initialises SDL's video once, on the main thread; false when there is no video at all (the
// reason: WindowFailure, win32_window.h). The driver is the one SDL_VIDEODRIVER names, or else
// the first that opens a display; SDL's headless drivers only by name, never as a fallback.
bool EnsureSdlVideo();

struct DisplayModeInfo {
  int width, height, refresh;  // refresh 0: unknown
};
// The modes of display 0 in the desktop's pixel format, largest first without repeats (or the
// virtual screen's modes). Headless, SDL's dummy driver gives one mode.
std::vector<DisplayModeInfo> EnumDesktopDisplayModes();
DisplayModeInfo DesktopDisplayMode();

}  // namespace platform::win32
