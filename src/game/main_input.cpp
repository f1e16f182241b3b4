// Input forwarding of the game object: the mouse position mapped from the window's client area
// into drawing coordinates, the handlers that the frame calls for mouse and key messages (each
// forwarding to the script driver), the two debug keys and the script operation SetoffsetXY.
//
// Rounding is halves to even throughout (the default floating-point environment). Main thread
// only, inside the frame's message handling.
#include "game/main.h"

#include <cmath>

#include "platform/win32/win32_desktop.h"
#include "script/LuaArgs.h"

namespace win32 = platform::win32;

namespace {

// The client size of the fixed 800 x 600 window used when the game does not fit above the
// taskbar.
constexpr double kSmallClientWidth = 794;
constexpr double kSmallClientHeight = 568;

// The 32-bit product of the original arithmetic, wrapping instead of overflowing.
int32_t Product32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(a) * b));
}

// An axis of logical size 0 maps to 0 rather than to a division by zero.
double ScaleAxis(int32_t client, int32_t backBuffer, double size) {
  if (size == 0) return 0;
  return std::nearbyint(Product32(client, backBuffer) / size);
}

void MapMouse(const TMainForm& form, int32_t x, int32_t y, double& mx, double& my) {
  const TKeshSurfaceEngine3D& e = *form.Engine;
  if (e.FullScreen) {
    mx = std::nearbyint(x * e.ScaleX);
    my = std::nearbyint(y * e.ScaleY);
  } else {
    const int32_t avail = win32::GetSystemMetrics(win32::SM_CYSCREEN) -
                          (form.TaskbarRect.bottom - form.TaskbarRect.top);
    if (avail <= e.Height) {
      mx = ScaleAxis(x, e.BackBufferWidth, kSmallClientWidth);
      my = ScaleAxis(y, e.BackBufferHeight, kSmallClientHeight);
    } else {
      mx = ScaleAxis(x, e.BackBufferWidth, e.Width);
      my = ScaleAxis(y, e.BackBufferHeight, e.Height);
    }
  }
  if (form.FullScreenMode == 0) my = std::nearbyint(my + form.MouseYOffset);
}

}  // namespace

int TMainForm::SetoffsetXY(lua_State* L) {
  if (LuaArgCount(L) >= 1) OffsetX = LuaArgInteger(L, 1);
  if (LuaArgCount(L) >= 2) OffsetY = LuaArgInteger(L, 2);
  return 0;
}

void TMainForm::FormMouseDown(int32_t button, int32_t x, int32_t y) {
  if (Loading || !LuaHost || !Engine || button != 0) return;
  double mx = 0, my = 0;
  MapMouse(*this, x, y, mx, my);
  LuaHost->SendMouseDown(mx, my, 0, 0);
}

void TMainForm::FormMouseUp(int32_t button, int32_t x, int32_t y) {
  if (Loading || !LuaHost || !Engine || button != 0) return;
  double mx = 0, my = 0;
  MapMouse(*this, x, y, mx, my);
  LuaHost->SendMouseUp(mx, my, 0, 0);
}

void TMainForm::FormMouseMove(int32_t x, int32_t y) {
  if (!LuaHost || !Engine) return;  // not blocked by Loading
  double mx = 0, my = 0;
  MapMouse(*this, x, y, mx, my);
  LuaHost->MouseMove(static_cast<double>(MouseX), static_cast<double>(MouseY), mx, my, 0, 0, 0, 0);
  MouseX = mx;
  MouseY = my;
}

void TMainForm::FormMouseWheel(int32_t delta, int32_t direction) {
  if (LuaHost) LuaHost->SendMouseWhell(delta, direction);
}

void TMainForm::FormKeyDown(uint16_t key, uint16_t ch) {
  if (LuaHost) LuaHost->SendKeyDown(key, ch);
  if (!DebugMode) return;
  // On the character, after the script has seen the key, also while loading.
  if (ch == 'F' || ch == 'f') {
    DebugOverlay = !DebugOverlay;
  } else if (ch == 'G' || ch == 'g') {
    SaveCurrentSurfaces(nullptr);  // the report reads no arguments and pushes no results
  }
}

void TMainForm::FormKeyPress(char key) {
  if (LuaHost) LuaHost->SendKeyPress(key);
}

void TMainForm::FormKeyUp(uint16_t key) {
  if (LuaHost) LuaHost->SendKeyUp(key);
}
