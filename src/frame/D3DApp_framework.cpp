// CD3DApplication: the framework's own device paths, as far as they exist in this system. The
// device belongs to the surface engine, so nothing here creates or resets a device: the reset
// after a client-size change has nothing to do, and the error box is reached only by a failing
// OneTimeSceneInit, which the game's never does.
#include "frame/D3DApp.h"

#include <cstdio>

#include "platform/win32/win32_desktop.h"

using namespace platform::win32;

HRESULT CD3DApplication::Resize3DEnvironment() { return S_OK; }

HRESULT CD3DApplication::DisplayErrorMsg(HRESULT hr, DWORD dwType) {
  char text[160];
  if (hr == E_OUTOFMEMORY)
    std::snprintf(text, sizeof text, "Not enough memory.");
  else
    std::snprintf(text, sizeof text, "The application could not be initialised (error 0x%08X).",
                  static_cast<unsigned>(hr));
  std::string message = text;
  if (dwType == MSGERR_APPMUSTEXIT) {
    message += "\n\nThis sample will now exit.";
    MessageBoxA(nullptr, message.c_str(), m_Title.c_str(), MB_ICONERROR | MB_OK);
    if (m_hWnd) SendMessage(m_hWnd, WM_CLOSE, 0, 0);
  } else {
    MessageBoxA(nullptr, message.c_str(), m_Title.c_str(), MB_ICONWARNING | MB_OK);
  }
  return hr;
}
