// The system cursor of the game object: shown or hidden by at most one step of the system's
// display count, whatever the callers ask. The game clock itself lives in GameClock.h.
#include "game/main.h"

#include "platform/win32/win32_desktop.h"

namespace win32 = platform::win32;

void TMainForm::ShowSystemCursor(bool show) {
  if (show && CursorCounter == 0) {
    win32::ShowCursor(win32::TRUE);
    CursorCounter = 1;
  } else if (!show && CursorCounter == 1) {
    win32::ShowCursor(win32::FALSE);
    CursorCounter = 0;
  }
}
