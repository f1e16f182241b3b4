// CD3DApplication: the window's style, position and size for the current mode, the switch
// between windowed and full screen, and format names for the game object's log lines. These
// read the screen size, the game object's taskbar rectangle and the engine's sizes; they never
// touch the device.
#include "frame/D3DApp.h"

#include <algorithm>
#include <cstdint>

#include "game/main.h"
#include "platform/win32/win32_desktop.h"

using namespace platform::win32;

namespace {

// A window rectangle from 64-bit figures: the corner saturated to the 32-bit range and the size
// cut so that the far edge stays inside it too (scripts choose the sizes it is made from).
void SetWindowRect64(HWND window, HWND insertAfter, int64_t x, int64_t y, int64_t cx, int64_t cy) {
  const auto fit = [](int64_t v) { return std::clamp<int64_t>(v, INT32_MIN, INT32_MAX); };
  x = fit(x);
  y = fit(y);
  cx = std::min(fit(cx), INT32_MAX - std::max<int64_t>(x, 0));
  cy = std::min(fit(cy), INT32_MAX - std::max<int64_t>(y, 0));
  SetWindowPos(window, insertAfter, static_cast<int>(x), static_cast<int>(y), static_cast<int>(cx),
               static_cast<int>(cy), SWP_FRAMECHANGED);
}

}  // namespace

HRESULT CD3DApplication::AdjustWindowForChange() {
  if (m_bWindowed) {
    SetWindowLong(m_hWnd, GWL_STYLE, static_cast<LONG>(m_SavedWindowStyle));
  } else {
    SetWindowLong(m_hWnd, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_VISIBLE));
    if (!m_hMenu) m_hMenu = GetMenu(m_hWnd);
    SetMenu(m_hWnd, nullptr);
  }
  return S_OK;
}

void CD3DApplication::PlaceWindow() {
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  if (!m_bWindowed) {
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, screenWidth, screenHeight, SWP_FRAMECHANGED);
    return;
  }
  const RECT& taskbar = m_MainForm->TaskbarRect;
  const int available = screenHeight - (taskbar.bottom - taskbar.top);
  // Without an engine (the game object makes one in FormCreate) there is no game size to fit:
  // the window takes the fallback size.
  const TKeshSurfaceEngine3D* engine = m_MainForm->Engine.get();
  if (engine && available > engine->Height) {
    // Centred by the back buffer, sized by the logical size plus the frame and caption.
    SetWindowRect64(m_hWnd, HWND_NOTOPMOST, (int64_t{screenWidth} - engine->BackBufferWidth) / 2,
                    (int64_t{screenHeight} - engine->BackBufferHeight) / 2, int64_t{engine->Width} + 6,
                    int64_t{engine->Height} + 32);
  } else {
    SetWindowPos(m_hWnd, HWND_NOTOPMOST, (screenWidth - 800) / 2, 0, 800, 600, SWP_FRAMECHANGED);
  }
}

void CD3DApplication::ToggleWindowMode() {
  Calls->ChangeWindowMode();
  // The game object's mode decides both flags, so the frame's window and the engine's device
  // cannot drift apart, whatever state they were in before.
  m_bWindowed = m_MainForm->FullScreenMode == 0;
  if (m_MainForm->Engine) m_MainForm->Engine->FullScreen = m_MainForm->FullScreenMode != 0;
  AdjustWindowForChange();
  PlaceWindow();
}

void CD3DApplication::FormatToString(platform::d3d9::D3DFORMAT format, std::string& text) const {
  text.clear();
  text = TKeshSurfaceEngine3D::FormatToString(static_cast<int32_t>(format));
}
