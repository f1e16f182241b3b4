// CD3DGame: the game's defaults, its frame and the translation of window messages into the
// game object's input handlers.
#include "frame/App.h"

#include <string>

#include "game/main.h"
#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_desktop.h"
#include "runtime/Random.h"

using namespace platform::win32;
namespace d3d9 = platform::d3d9;

namespace {

// Keys forwarded as key events; the character path holds back the same numbers, so Enter or
// Backspace reach the game once, and "#", "$", "%", "&", "'", "(", "-", "." never as characters.
bool InForwardedKeyList(unsigned code) {
  return code == VK_BACK || code == VK_RETURN || code == VK_ESCAPE ||
         (code >= VK_END && code <= VK_DOWN) || code == VK_INSERT || code == VK_DELETE;
}

constexpr uint16_t kCtrlV = 22;
constexpr WPARAM kAltEnter = 13;

}  // namespace

CD3DGame::CD3DGame() {
  m_bWindowed = false;
  m_MainForm->Game = this;
}

HRESULT CD3DGame::ConfirmDevice(DWORD behaviorFlags) {
  constexpr DWORD kPureDevice = 0x10;
  return (behaviorFlags & kPureDevice) ? E_FAIL : S_OK;
}

HRESULT CD3DGame::OneTimeSceneInit() {
  // Picks the mode of the creation size in the framework's mode list, which stays empty here.
  if (m_Adapters.empty()) return S_OK;
  D3DAdapterInfo& adapter = m_Adapters[m_dwAdapter];
  if (adapter.devices.empty()) return S_OK;
  D3DDeviceInfo& device = adapter.devices[adapter.dwCurrentDevice];
  auto formatFits = [&](d3d9::D3DFORMAT f) {
    if (m_bWindowed) return f == adapter.d3ddmDesktopFormat;
    if (m_dwDepth == 16)
      return f == d3d9::D3DFMT_A1R5G5B5 || f == d3d9::D3DFMT_R5G6B5 || f == d3d9::D3DFMT_X1R5G5B5;
    return f == d3d9::D3DFMT_A8R8G8B8 || f == d3d9::D3DFMT_X8R8G8B8;
  };
  for (DWORD i = 0; i < device.modes.size(); ++i) {
    const D3DModeInfo& mode = device.modes[i];
    if (mode.Width == m_CreationWidth && mode.Height == m_CreationHeight && formatFits(mode.Format)) {
      device.dwCurrentMode = i;
      break;
    }
  }
  return S_OK;
}

// Framework paths only: the frame never owns a device.
HRESULT CD3DGame::InitDeviceObjects() { return S_OK; }
HRESULT CD3DGame::RestoreDeviceObjects() { return S_OK; }
HRESULT CD3DGame::DeleteDeviceObjects() {
  d3d9::SafeRelease(m_pd3dDevice);
  return S_OK;
}

HRESULT CD3DGame::FrameMove() { return S_OK; }
HRESULT CD3DGame::InvalidateDeviceObjects() { return S_OK; }

HRESULT CD3DGame::Render() {
  bool done = false;
  Calls->AppIdle(done);
  return S_OK;
}

HRESULT CD3DGame::Create_(HINSTANCE hInstance, int32_t X, int32_t Y) {
  rtl::Randomize();
  m_Title.clear();
  InitCommonControls();
  return CD3DApplication::Create_(hInstance, X, Y);
}

void CD3DGame::Paste() {
  std::u16string text = AnsiToUtf16(GetClipboardText());
  if (text.size() > static_cast<size_t>(kMaxPasteChars)) text.resize(kMaxPasteChars);
  for (char16_t unit : text) Calls->FormKeyDown(0, unit);
}

LRESULT CD3DGame::MsgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) ShiftDown = CtrlDown = 0;  // their key-ups go elsewhere
      if (HIWORD(wParam) != 0)
        Calls->Pause();
      else
        Calls->RePause();
      break;

    case WM_ACTIVATEAPP:
      if (wParam != 0) {
        Calls->RePause();
      } else {
        ShiftDown = CtrlDown = 0;
        Calls->Pause();
      }
      break;

    case WM_KILLFOCUS:
      ShiftDown = CtrlDown = 0;
      break;

    case WM_KEYDOWN: {
      const WORD key = LOWORD(wParam);
      if (key == VK_SHIFT) ShiftDown = 1;
      if (key == VK_CONTROL) CtrlDown = 1;
      if (key == VK_INSERT && ShiftDown == 1)
        Paste();
      else if (InForwardedKeyList(key))
        Calls->FormKeyDown(key, 0);
      break;
    }

    case WM_KEYUP: {
      const WORD key = LOWORD(wParam);
      if (key == VK_SHIFT) ShiftDown = 0;
      if (key == VK_CONTROL) CtrlDown = 0;
      break;
    }

    case WM_CHAR: {
      const char byte = static_cast<char>(wParam & 0xFF);
      std::u16string units = AnsiToUtf16(std::string_view(&byte, 1));
      const char16_t unit = units.empty() ? 0 : units[0];
      if (unit == kCtrlV)
        Paste();
      else if (!InForwardedKeyList(unit))
        Calls->FormKeyDown(0, unit);
      break;
    }

    case WM_SYSKEYDOWN:
      if (wParam == kAltEnter) Calls->WOptions_OK_MouseUp_fromCode();
      break;

    case WM_MOUSEMOVE:
      LastMouseX = LOWORD(static_cast<uintptr_t>(lParam));
      LastMouseY = HIWORD(static_cast<uintptr_t>(lParam));
      Calls->FormMouseMove(LastMouseX, LastMouseY);
      break;

    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: {
      LastMouseX = LOWORD(static_cast<uintptr_t>(lParam));
      LastMouseY = HIWORD(static_cast<uintptr_t>(lParam));
      const bool left = msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP;
      const int32_t button = left ? 0 : (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP) ? 1 : 2;
      const uint8_t extra = left ? CtrlDown : 0;
      if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN)
        Calls->FormMouseDown(button, LastMouseX, LastMouseY, extra);
      else
        Calls->FormMouseUp(button, LastMouseX, LastMouseY, extra);
      break;
    }

    case WM_MOUSEWHEEL:
      // The whole wParam as a signed 32-bit number: the delta times 65536 plus key flags.
      Calls->FormMouseWheel(static_cast<int32_t>(static_cast<uint32_t>(wParam)),
                            HIWORD(static_cast<uintptr_t>(lParam)));
      break;
  }
  return CD3DApplication::MsgProc(hWnd, msg, wParam, lParam);
}
