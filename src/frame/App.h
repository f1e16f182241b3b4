// Unit App: CD3DGame, the one concrete application class.
//
// It sets the game's defaults (full screen unless "-w" is given, an empty title), makes each
// idle turn one frame of the game object, and turns window messages into the game object's
// calls: activation into pause and resume, keys and characters into FormKeyDown (with clipboard
// paste), mouse messages into the mouse handlers, Alt+Enter into the options call. The program
// entry makes exactly one instance. Main thread only.
#pragma once

#include <cstdint>

#include "frame/D3DApp.h"

// The most characters one paste forwards, so a huge clipboard cannot flood the scripts.
constexpr int kMaxPasteChars = 4096;

class CD3DGame : public CD3DApplication {
public:
  CD3DGame();

  platform::win32::HRESULT ConfirmDevice(platform::win32::DWORD behaviorFlags) override;
  platform::win32::HRESULT OneTimeSceneInit() override;
  platform::win32::HRESULT InitDeviceObjects() override;
  platform::win32::HRESULT RestoreDeviceObjects() override;
  platform::win32::HRESULT FrameMove() override;
  platform::win32::HRESULT Render() override;  // one idle turn of the game object
  platform::win32::HRESULT InvalidateDeviceObjects() override;
  platform::win32::HRESULT DeleteDeviceObjects() override;
  platform::win32::HRESULT Create_(platform::win32::HINSTANCE hInstance, int32_t X,
                                   int32_t Y) override;
  platform::win32::LRESULT MsgProc(platform::win32::HWND hWnd, platform::win32::UINT msg,
                                   platform::win32::WPARAM wParam,
                                   platform::win32::LPARAM lParam) override;

  uint8_t ShiftDown = 0;  // 1 while Shift is held in this window
  uint8_t CtrlDown = 0;   // 1 while Ctrl is held in this window
  int32_t LastMouseX = 0, LastMouseY = 0;  // last mouse message, 0..65535

  // Wished colour depth of the framework's mode search.
  platform::win32::DWORD m_dwDepth = 16;

private:
  // Forwards the clipboard's text as characters, at most kMaxPasteChars of them.
  void Paste();
};
