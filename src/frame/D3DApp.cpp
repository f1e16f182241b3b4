// CD3DApplication: construction, the main window, the message loop, the per-frame driver with
// its device-loss handling, the pause count and the base message handler.
#include "frame/D3DApp.h"

#include <cstdio>

#include "foundation/KeshLogEngine.h"
#include "frame/DXUtil.h"
#include "game/main.h"
#include "platform/bass/bass.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_system.h"
#include "runtime/Files.h"

using namespace platform::win32;
namespace d3d9 = platform::d3d9;

int32_t PauseCount = 0;
CD3DApplication* g_pD3DApp = nullptr;

namespace {

// The status names a failed device test is logged with; other statuses are not logged.
const char* DeviceStatusName(HRESULT hr) {
  switch (hr) {
    case d3d9::D3DERR_NOTFOUND: return "D3DERR_NOTFOUND";
    case d3d9::D3DERR_MOREDATA: return "D3DERR_MOREDATA";
    case d3d9::D3DERR_DEVICELOST: return "D3DERR_DEVICELOST";
    case d3d9::D3DERR_DEVICENOTRESET: return "D3DERR_DEVICENOTRESET";
    case d3d9::D3DERR_NOTAVAILABLE: return "D3DERR_NOTAVAILABLE";
    case d3d9::D3DERR_OUTOFVIDEOMEMORY: return "D3DERR_OUTOFVIDEOMEMORY";
    case d3d9::D3DERR_INVALIDDEVICE: return "D3DERR_INVALIDDEVICE";
    case d3d9::D3DERR_INVALIDCALL: return "D3DERR_INVALIDCALL";
    case d3d9::D3DERR_DRIVERINVALIDCALL: return "D3DERR_DRIVERINVALIDCALL";
    case d3d9::D3DERR_WASSTILLDRAWING: return "D3DERR_WASSTILLDRAWING";
    default: return nullptr;
  }
}

void LogError(const std::string& text) {
  if (LogEngine) LogEngine->AddError(text);
}

void LogHint(const std::string& text) {
  if (LogEngine) LogEngine->AddHint(text);
}

// The shortcut file the closing window opens, once per run.
void OpenSurveyOnce(TMainForm& form, TMainFormCalls& calls) {
  if (!form.SurveyOpened && rtl::FileExists("survey.url")) {
    calls.OpenUrlByString("survey.url");
    form.SurveyOpened = true;
  }
}

}  // namespace

LRESULT WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (g_pD3DApp) return g_pD3DApp->MsgProc(hWnd, msg, wParam, lParam);
  return DefWindowProc(hWnd, msg, wParam, lParam);
}

CD3DApplication::CD3DApplication() {
  g_pD3DApp = this;
  m_MainForm = new TMainForm();
  Calls = MakeMainFormCalls(*m_MainForm);
  m_MainForm->PauseShiftsClock = true;
}

CD3DApplication::~CD3DApplication() {
  if (g_pD3DApp == this) g_pD3DApp = nullptr;
}

HRESULT CD3DApplication::ConfirmDevice(DWORD) { return S_OK; }
HRESULT CD3DApplication::OneTimeSceneInit() { return S_OK; }
HRESULT CD3DApplication::InitDeviceObjects() { return S_OK; }
HRESULT CD3DApplication::RestoreDeviceObjects() { return S_OK; }
HRESULT CD3DApplication::FrameMove() { return S_OK; }
HRESULT CD3DApplication::Render() { return S_OK; }
HRESULT CD3DApplication::InvalidateDeviceObjects() { return S_OK; }
HRESULT CD3DApplication::DeleteDeviceObjects() { return S_OK; }
HRESULT CD3DApplication::FinalCleanup() { return S_OK; }

HRESULT CD3DApplication::Create_(HINSTANCE hInstance, int32_t X, int32_t Y) {
  WNDCLASSA wndClass{};
  wndClass.lpfnWndProc = WndProc;
  wndClass.hInstance = hInstance;
  wndClass.hIcon = LoadIconA(hInstance, "MAINICON");
  wndClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wndClass.lpszClassName = "D3D Window";
  RegisterClassA(&wndClass);  // not tested: a second registration keeps the same procedure

  const DWORD style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT rc{0, 0, static_cast<LONG>(m_CreationWidth), static_cast<LONG>(m_CreationHeight)};
  AdjustWindowRect(&rc, style, TRUE);
  m_hWnd = CreateWindowA("D3D Window", m_Title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                         rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, hInstance,
                         nullptr);
  if (!m_hWnd) {
    // Without a window there is nothing to run; going on would play the game unseen. The player
    // who started it from a terminal is told why there.
    const std::string why = WindowFailure();
    LogError("CD3DApplication.Create_ CreateWindow failed: no window can open: " + why);
    std::fprintf(stderr, "quorrel: no window can open: %s\n", why.c_str());
    return E_FAIL;
  }
  SetWindowTextA(m_hWnd, m_Title.c_str());

  m_SavedWindowStyle = static_cast<DWORD>(GetWindowLong(m_hWnd, GWL_STYLE));
  GetWindowRect(m_hWnd, &m_rcWindowBounds);
  GetClientRect(m_hWnd, &m_rcClient);

  FrameTimer(TimerStart);

  HRESULT hr = OneTimeSceneInit();
  if (FAILED(hr)) return DisplayErrorMsg(hr, MSGERR_APPMUSTEXIT);

  m_MainForm->WindowHandle = m_hWnd;
  StartFullScreen = m_bWindowed ? 0 : 1;
  Calls->FormCreate();
  m_MainForm->SizeOverrideX = X;
  m_MainForm->SizeOverrideY = Y;
  Calls->CreateResources_Testing();
  PlaceWindow();
  m_MainForm->MouseYOffset = 0;
  AdjustWindowForChange();

  m_bReady = true;
  LogHint("CD3DApplication.Create_ m_bReady:= True");
  return S_OK;
}

int32_t CD3DApplication::Run() {
  MSG msg{};
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);  // sets the queue up
  msg.message = WM_NULL;
  while (msg.message != WM_QUIT) {
    BOOL gotMsg = m_bActive ? PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)
                            : GetMessage(&msg, nullptr, 0, 0);
    if (gotMsg == -1) {
      // GetMessage's error result carries no message: nothing to dispatch, no idle turn.
      msg.message = WM_NULL;
      continue;
    }
    if (gotMsg != 0) {
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    } else if (m_bActive && m_bReady) {
      Render3DEnvironment();
    }
  }
  return static_cast<int32_t>(msg.wParam);
}

HRESULT CD3DApplication::ReinitEngineDevice() {
  TKeshSurfaceEngine3D* engine = m_MainForm->Engine.get();
  bool windowed = false;
  // The size the scripts chose, not the back buffer: in full screen the back buffer is the
  // screen, and re-initialising at it would lose the game's projection.
  if (engine->InitD3D(m_hWnd, engine->InitWidth, engine->InitHeight, windowed) != 0) {
    DeviceReinitPending = true;
    LastDeviceRetryTick = GetTickCount();
    return 1;
  }
  DeviceReinitPending = false;
  Calls->Call_A_ChangeResolution();
  // The scripts' A_ChangeResolution may have replaced the engine.
  if (TKeshSurfaceEngine3D* current = m_MainForm->Engine.get())
    current->SetDeviceParams(current->SystemWidth, current->SystemHeight);
  AdjustWindowForChange();
  return S_OK;
}

HRESULT CD3DApplication::Render3DEnvironment() {
  TKeshSurfaceEngine3D* engine = m_MainForm->Engine.get();
  if (engine && engine->g_pd3dDevice) {
    HRESULT hr = engine->g_pd3dDevice->TestCooperativeLevel();
    if (FAILED(hr)) {
      if (const char* name = DeviceStatusName(hr)) LogError(name);
      if (hr == d3d9::D3DERR_DEVICELOST) {
        platform::bass::BASS_Pause();
        DeviceLost = 1;
        return S_OK;
      }
      return ReinitEngineDevice();
    }
    DeviceReinitPending = false;
    if (DeviceLost) {
      DeviceLost = 0;
      platform::bass::BASS_Start();
    }
  } else if (engine && DeviceReinitPending) {
    // A failed re-creation can leave the engine without a device; without this the frame would
    // skip the device test, and so any further attempt, for the rest of the run.
    if (GetTickCount() - LastDeviceRetryTick < kDeviceRetryIntervalMs) return 1;
    return ReinitEngineDevice();
  }
  return Render();
}

void CD3DApplication::Pause(bool bPause) {
  const int32_t before = PauseCount;
  PauseCount += bPause ? 1 : -1;
  if (PauseCount < 0) PauseCount = 0;  // an unpaired resume must not leave a debt of pauses
  m_bReady = PauseCount == 0;
  if (bPause && PauseCount == 1) FrameTimer(TimerStop);
  if (!bPause && before == 1 && PauseCount == 0) FrameTimer(TimerStart);
}

void CD3DApplication::Cleanup3DEnvironment() {
  m_bActive = false;
  m_bReady = false;
  if (m_pd3dDevice) {
    InvalidateDeviceObjects();
    DeleteDeviceObjects();
    ReleaseInterface(m_pd3dDevice);
    ReleaseInterface(m_pD3D);
  }
  FinalCleanup();
}

LRESULT CD3DApplication::MsgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      m_bActive = !(wParam == SIZE_MINIMIZED || wParam == SIZE_MAXHIDE);
      break;

    case WM_GETMINMAXINFO:
      if (lParam) reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{100, 100};
      break;

    case WM_ENTERMENULOOP:
    case WM_ENTERSIZEMOVE:
      Pause(true);
      break;

    case WM_EXITMENULOOP:
      Pause(false);
      break;

    case WM_EXITSIZEMOVE:
      Pause(false);
      if (m_bActive && m_bWindowed) {
        const RECT old = m_rcClient;
        GetWindowRect(hWnd, &m_rcWindowBounds);
        GetClientRect(hWnd, &m_rcClient);
        if (old.right - old.left != m_rcClient.right - m_rcClient.left ||
            old.bottom - old.top != m_rcClient.bottom - m_rcClient.top)
          Resize3DEnvironment();
      }
      break;

    case WM_SETCURSOR:
      if (m_bActive && m_bReady && !m_bWindowed) return TRUE;  // no cursor in full screen
      break;

    case WM_NCHITTEST:
      if (!m_bWindowed) return HTCLIENT;  // full screen: no frame to drag or size
      break;

    case WM_SYSCOMMAND:
      if (!m_bWindowed && (wParam == SC_SIZE || wParam == SC_MOVE || wParam == SC_MAXIMIZE ||
                           wParam == SC_KEYMENU || wParam == SC_MONITORPOWER))
        return 1;
      break;

    case WM_POWERBROADCAST:
      if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMRESUMESUSPEND) return TRUE;
      break;

    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDM_CHANGEDEVICE:  // the device-selection dialog is not carried
        case IDM_MODESTEP:      // a framework device path; the frame owns no device
          break;
        case IDM_TOGGLESTART:
          m_bFrameMoving = !m_bFrameMoving;
          FrameTimer(m_bFrameMoving ? TimerStart : TimerStop);
          break;
        case IDM_SINGLESTEP:
          FrameTimer(m_bFrameMoving ? TimerStop : TimerAdvance);
          m_bFrameMoving = false;
          m_bSingleStep = true;
          break;
        case IDM_EXIT:
          OpenSurveyOnce(*m_MainForm, *Calls);
          SendMessage(hWnd, WM_CLOSE, 0, 0);
          return 0;
      }
      break;

    case WM_CLOSE: {
      OpenSurveyOnce(*m_MainForm, *Calls);
      Cleanup3DEnvironment();
      if (HMENU menu = GetMenu(hWnd)) DestroyMenu(menu);
      if (m_hMenu) DestroyMenu(m_hMenu);
      m_hMenu = nullptr;
      if (auto icon = reinterpret_cast<HICON>(GetClassLong(hWnd, GCL_HICON))) DestroyIcon(icon);
      DestroyWindow(hWnd);
      PostQuitMessage(0);
      return 0;
    }
  }
  return DefWindowProc(hWnd, msg, wParam, lParam);
}
