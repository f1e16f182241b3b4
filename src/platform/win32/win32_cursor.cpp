// The mouse cursor: Windows' display counter (shown while it is >= 0), the standard cursors as
// SDL system cursors, and the cursor position in screen coordinates. Main thread only.

#include <map>

#include "platform/win32/win32_internal.h"

namespace platform::win32 {
namespace {

int displayCount = 0;
HCURSOR current = reinterpret_cast<HCURSOR>(const_cast<char*>(IDC_ARROW));
std::map<uintptr_t, SDL_Cursor*> sdlCursors;

// The nearest SDL system cursor of each standard cursor; SDL has no up arrow or help cursor.
bool SdlShapeOf(uintptr_t id, SDL_SystemCursor* shape) {
  switch (id) {
    case 32512: *shape = SDL_SYSTEM_CURSOR_ARROW; return true;
    case 32513: *shape = SDL_SYSTEM_CURSOR_IBEAM; return true;
    case 32514: *shape = SDL_SYSTEM_CURSOR_WAIT; return true;
    case 32515: *shape = SDL_SYSTEM_CURSOR_CROSSHAIR; return true;
    case 32516: *shape = SDL_SYSTEM_CURSOR_SIZENS; return true;
    case 32648: *shape = SDL_SYSTEM_CURSOR_NO; return true;
    case 32649: *shape = SDL_SYSTEM_CURSOR_HAND; return true;
    case 32650: *shape = SDL_SYSTEM_CURSOR_WAITARROW; return true;
    case 32651: *shape = SDL_SYSTEM_CURSOR_ARROW; return true;
    default: return false;
  }
}

bool Visible() { return displayCount >= 0 && current != nullptr; }

}  // namespace

namespace detail {

void ApplyCursorState() {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
  const uintptr_t id = reinterpret_cast<uintptr_t>(current);
  SDL_SystemCursor shape;
  if (current && SdlShapeOf(id, &shape)) {
    SDL_Cursor*& c = sdlCursors[id];
    if (!c) c = SDL_CreateSystemCursor(shape);
    if (c) SDL_SetCursor(c);
  }
  SDL_ShowCursor(Visible() ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace detail

int ShowCursor(BOOL show) {
  displayCount += show ? 1 : -1;
  detail::ApplyCursorState();
  return displayCount;
}

BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  if (detail::HaveCursorScreenPos() || SDL_WasInit(SDL_INIT_VIDEO) == 0) {
    *point = detail::LastCursorScreenPos();
    return TRUE;
  }
  int x = 0, y = 0;
  SDL_GetGlobalMouseState(&x, &y);
  *point = {x, y};
  return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  SDL_SystemCursor shape;
  const uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (instance || !SdlShapeOf(id, &shape)) return nullptr;
  return reinterpret_cast<HCURSOR>(id);
}

HCURSOR SetCursor(HCURSOR cursor) {
  const HCURSOR previous = current;
  current = cursor;
  if (previous != cursor) detail::ApplyCursorState();
  return previous;
}

namespace testing {

bool CursorVisible() { return Visible(); }
int CursorDisplayCount() { return displayCount; }
LPCSTR CurrentCursor() { return reinterpret_cast<LPCSTR>(current); }

}  // namespace testing

}  // namespace platform::win32
