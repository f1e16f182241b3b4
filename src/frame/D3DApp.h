// Unit D3DApp: CD3DApplication, the frame around the game.
//
// It owns the one main window (class "D3D Window"), the game object TMainForm, the message
// loop and the per-frame driver. The graphics device belongs to the surface engine that the game
// object owns; the frame only tests that device once per frame and re-initialises it after a
// failed test. The class is made to be derived from (CD3DGame, App.h), which overrides MsgProc
// and Render.
//
// The framework's own device bookkeeping is carried only as far as the game relies on it: the
// virtual slots, an adapter table that stays empty (so OneTimeSceneInit finds nothing), the
// reset after a client-size change that does nothing, and the menu commands of MsgProc. The
// frame's own device and Direct3D references stay empty for the whole run.
//
// Files: D3DApp.cpp (construction, window, loop, frame driver, messages), D3DApp_window.cpp
// (style, placement, window-mode toggle, format names), D3DApp_framework.cpp (framework paths,
// error box). Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/MainFormCalls.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_types.h"
#include "platform/win32/win32_window.h"

class TMainForm;

// Kinds of DisplayErrorMsg.
constexpr platform::win32::DWORD MSGERR_APPMUSTEXIT = 1;
constexpr platform::win32::DWORD MSGWARN_SWITCHEDTOREF = 2;

// Menu commands of MsgProc (WM_COMMAND, low word of wParam). The window has no menu and the
// program no accelerator table, so none of them arrives in normal use.
constexpr platform::win32::WORD IDM_CHANGEDEVICE = 40002;
constexpr platform::win32::WORD IDM_MODESTEP = 40003;
constexpr platform::win32::WORD IDM_TOGGLESTART = 40004;
constexpr platform::win32::WORD IDM_SINGLESTEP = 40005;
constexpr platform::win32::WORD IDM_EXIT = 40006;

// A re-creation of a lost device that failed is tried again at most this often while the
// engine is left without a device.
constexpr platform::win32::DWORD kDeviceRetryIntervalMs = 250;

// The framework's adapter table; it stays empty on the game's path.
struct D3DModeInfo {
  platform::win32::DWORD Width = 0, Height = 0;
  platform::d3d9::D3DFORMAT Format = platform::d3d9::D3DFMT_UNKNOWN;
};
struct D3DDeviceInfo {
  std::vector<D3DModeInfo> modes;
  platform::win32::DWORD dwCurrentMode = 0;
  bool bWindowed = false;
};
struct D3DAdapterInfo {
  std::vector<D3DDeviceInfo> devices;
  platform::win32::DWORD dwCurrentDevice = 0;
  platform::d3d9::D3DFORMAT d3ddmDesktopFormat = platform::d3d9::D3DFMT_UNKNOWN;
};

class CD3DApplication {
public:
  // Records this object as the one application object and makes the game object with every
  // field at its default. Create_ makes a new window (taking over an existing one is a path
  // the game never uses and is not carried).
  CD3DApplication();
  // Frees neither the game object nor its engine: they live until the process ends.
  virtual ~CD3DApplication();
  CD3DApplication(const CD3DApplication&) = delete;
  CD3DApplication& operator=(const CD3DApplication&) = delete;

  // --- virtual slots, in order; statuses are HRESULTs (negative: failure)
  virtual platform::win32::HRESULT AdjustWindowForChange();  // style for the current mode
  virtual platform::win32::HRESULT ConfirmDevice(platform::win32::DWORD behaviorFlags);
  virtual platform::win32::HRESULT OneTimeSceneInit();
  virtual platform::win32::HRESULT InitDeviceObjects();
  virtual platform::win32::HRESULT RestoreDeviceObjects();
  virtual platform::win32::HRESULT FrameMove();
  virtual platform::win32::HRESULT Render();
  virtual platform::win32::HRESULT InvalidateDeviceObjects();
  virtual platform::win32::HRESULT DeleteDeviceObjects();
  virtual platform::win32::HRESULT FinalCleanup();
  // Registers the class, makes the window, sets the game object up (FormCreate, then its
  // scripts through CreateResources_Testing), places the window. X, Y: the position parameter.
  virtual platform::win32::HRESULT Create_(platform::win32::HINSTANCE hInstance, int32_t X,
                                           int32_t Y);
  // The message loop; returns the exit code carried by WM_QUIT.
  virtual int32_t Run();
  virtual platform::win32::LRESULT MsgProc(platform::win32::HWND hWnd, platform::win32::UINT msg,
                                           platform::win32::WPARAM wParam,
                                           platform::win32::LPARAM lParam);
  // Nesting pause count; frames run only while it is 0.
  virtual void Pause(bool bPause);

  // --- non-virtual operations
  // One frame: tests the engine's device, handles a lost one, then Render.
  platform::win32::HRESULT Render3DEnvironment();
  void Cleanup3DEnvironment();
  platform::win32::HRESULT DisplayErrorMsg(platform::win32::HRESULT hr,
                                           platform::win32::DWORD dwType);
  void ToggleWindowMode();
  void PlaceWindow();
  // The name of a format for log lines; "" for a value the table lacks.
  void FormatToString(platform::d3d9::D3DFORMAT format, std::string& text) const;

  // --- fields the game's path uses
  bool m_bActive = false;  // not minimised
  bool m_bReady = false;   // frames may be rendered
  bool m_bWindowed = false;
  uint8_t DeviceLost = 0;  // the engine's device was lost and sound paused
  TMainForm* m_MainForm = nullptr;
  platform::win32::HWND m_hWnd = nullptr;
  platform::win32::DWORD m_SavedWindowStyle = 0;
  platform::win32::RECT m_rcWindowBounds{0, 0, 0, 0};
  platform::win32::RECT m_rcClient{0, 0, 0, 0};
  std::string m_Title = "D3D8 Application";
  platform::win32::DWORD m_CreationWidth = 800, m_CreationHeight = 600;

  // The game object's calls (MainFormCalls.h); tests may put a stand-in here.
  std::unique_ptr<TMainFormCalls> Calls;

  // A re-creation after a failed device test failed; while the engine then has no device the
  // frame tries again every kDeviceRetryIntervalMs.
  bool DeviceReinitPending = false;
  platform::win32::DWORD LastDeviceRetryTick = 0;

  // --- framework bookkeeping, never filled on the game's path
  std::vector<D3DAdapterInfo> m_Adapters;
  platform::win32::DWORD m_dwAdapter = 0;
  platform::d3d9::D3DPRESENT_PARAMETERS m_d3dpp{};
  platform::d3d9::IDirect3D9* m_pD3D = nullptr;
  platform::d3d9::IDirect3DDevice9* m_pd3dDevice = nullptr;
  platform::win32::DWORD m_dwCreateFlags = 0;
  bool m_bFrameMoving = true;
  bool m_bSingleStep = false;
  float m_fTime = 0, m_fElapsedTime = 0, m_fFPS = 0;
  char m_strDeviceStats[90] = {};
  char m_strFrameStats[90] = {};
  bool m_bUseDepthBuffer = true;
  platform::win32::DWORD m_dwMinDepthBits = 16, m_dwMinStencilBits = 0;
  bool m_bShowCursorWhenFullscreen = false, m_bClipCursorWhenFullscreen = false;

protected:
  // Re-initialises the engine's device at the size the scripts chose; 0 on success, 1 when it
  // failed (tried again later).
  platform::win32::HRESULT ReinitEngineDevice();
  // The framework's reset after a client-size change: nothing to reset, reports success.
  platform::win32::HRESULT Resize3DEnvironment();

  platform::win32::HMENU m_hMenu = nullptr;  // the menu AdjustWindowForChange took off
};

// The nesting pause count of the frame; never below 0.
extern int32_t PauseCount;
// The one application object; the window procedure finds it here.
extern CD3DApplication* g_pD3DApp;

// The window procedure of class "D3D Window".
platform::win32::LRESULT WndProc(platform::win32::HWND hWnd, platform::win32::UINT msg,
                                 platform::win32::WPARAM wParam, platform::win32::LPARAM lParam);
