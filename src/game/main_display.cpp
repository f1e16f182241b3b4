// Display and window modes, splash pictures of the game object: SetSystemResolution (a new
// surface engine and its device, with two fallbacks), the size queries, the full-screen/window
// switch that the frame's ToggleWindowMode runs, the A_ChangeResolution call, the fatal message
// for an unusable graphics mode, and the splash pictures chosen to fit the screen.
//
// The engine's full-screen flag follows the game's FullScreenMode on every switch, so the two
// cannot disagree whatever the engine's flag was before. Main thread only.
#include "game/main.h"

#include <cmath>

#include "foundation/KeshLogEngine.h"
#include "frame/App.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_folders.h"
#include "platform/win32/win32_window.h"
#include "runtime/Files.h"
#include "runtime/Strings.h"
#include "runtime/Units.h"
#include "script/LuaArgs.h"

namespace win32 = platform::win32;
using rtl::IntToStr;

namespace {

int32_t ScreenWidth() { return win32::GetSystemMetrics(win32::SM_CXSCREEN); }
int32_t ScreenHeight() { return win32::GetSystemMetrics(win32::SM_CYSCREEN); }

bool DiffersFromScreen(int32_t w, int32_t h) { return w != ScreenWidth() || h != ScreenHeight(); }

std::string DisplayFormatName(const TKeshSurfaceEngine3D& engine) {
  return TKeshSurfaceEngine3D::FormatToString(static_cast<int32_t>(engine.d3ddm.Format));
}

int32_t InitDevice(TKeshSurfaceEngine3D& engine, win32::HWND window, int32_t w, int32_t h) {
  bool windowed = false;
  return engine.InitD3D(window, w, h, windowed);
}

// The file pattern of the splash pictures that fit the screen (or the window).
std::string SplashPattern(const TKeshSurfaceEngine3D& engine) {
  std::string pattern = "*1024x768.*";
  if (engine.FullScreen) {
    const int32_t w = engine.FullScreenSize.width, h = engine.FullScreenSize.height;
    if ((w == 1366 && h == 768) || (w == 1280 && h == 800) || (w == 1280 && h == 1024) ||
        (w == 1024 && h == 768)) {
      pattern = "*" + IntToStr(w) + "x" + IntToStr(h) + ".*";
    } else {
      // Every ratio that holds replaces the pattern: the last one wins.
      const double r = static_cast<double>(w) / h;
      if (std::fabs(r - 4.0 / 3.0) < 0.1) pattern = "*1024x768.*";
      if (std::fabs(r - 1.25) < 0.1) pattern = "*1280x1024.*";
      if (std::fabs(r - 16.0 / 9.0) < 0.1) pattern = "*1366x768.*";
      if (std::fabs(r - 1.6) < 0.1) pattern = "*1280x800.*";
    }
  } else {
    pattern = "*" + IntToStr(engine.Width) + "x" + IntToStr(engine.Height) + ".*";
  }
  if (pattern == "*1280x1024.*") pattern = "*1024x768.*";
  return pattern;
}

}  // namespace

int TMainForm::GetSystemResolution(lua_State* L) {
  LuaPushInteger(L, ScreenWidth());
  LuaPushInteger(L, ScreenHeight());
  return 2;
}

int TMainForm::GetWindowSize(lua_State* L) {
  LuaPushInteger(L, Engine ? Engine->Width : 0);
  LuaPushInteger(L, Engine ? Engine->Height : 0);
  return 2;
}

int TMainForm::SetSystemResolution(lua_State* L) {
  try {
    int32_t w = LuaArgInteger(L, 1), h = LuaArgInteger(L, 2);
    int32_t ww = 1024, wh = 768;
    if (LuaArgCount(L) >= 4) {  // a lone third argument is ignored
      ww = LuaArgInteger(L, 3);
      wh = LuaArgInteger(L, 4);
    }
    LogEngine->AddHint("SetSystemResolution width=" + IntToStr(w) + " height=" + IntToStr(h) +
                       " FullScreenMode=" + IntToStr(FullScreenMode) + " WSizeWidth=" + IntToStr(ww) +
                       " WSizeHeight=" + IntToStr(wh));

    const auto replaceEngine = [&] {
      Engine.reset();
      ++EngineGeneration;
      Engine = std::make_unique<TKeshSurfaceEngine3D>(w, h, FullScreenMode == 1, SizeOverrideX, SizeOverrideY,
                                                      ww, wh, DataFolder);
      Engine->SystemWidth = w;
      Engine->SystemHeight = h;
    };
    replaceEngine();
    TKeshSurfaceEngine3D* e = Engine.get();
    e->ForceLinearFilter = DiffersFromScreen(w, h);
    e->LogicalWidth = e->Width;
    e->LogicalHeight = e->Height;
    e->BackBufferWidth = w;
    e->BackBufferHeight = h;

    LogEngine->AddMessage("InitD3D width=" + IntToStr(w) + " height = " + IntToStr(h));
    bool ok = InitDevice(*e, WindowHandle, w, h) == 0;
    if (ok) {
      LogEngine->AddHint("d3ddm.Format=" + DisplayFormatName(*e));
    } else {
      replaceEngine();
      e = Engine.get();
      e->LogicalWidth = w;  // the requested resolution here, not the logical size
      e->LogicalHeight = h;
      LogEngine->AddMessage("InitD3D 2 width=" + IntToStr(w) + " height = " + IntToStr(h));
      ok = InitDevice(*e, WindowHandle, w, h) == 0;
      if (!ok) {
        w = 1024;
        h = 768;
        ok = InitDevice(*e, WindowHandle, w, h) == 0;
        e->BackBufferWidth = w;
        e->BackBufferHeight = h;
        LogEngine->AddMessage(std::string("SetSystemResolution 3 ") + (ok ? "True" : "False"));
      }
      LogEngine->AddHint("d3ddm.Format=" + DisplayFormatName(*e));
      e->ForceLinearFilter = DiffersFromScreen(w, h);
      if (FullScreenMode == 1) e->SetDeviceParams(w, h);
    }

    LuaPushBoolean(L, ok);
    LuaPushInteger(L, e->BackBufferWidth);
    LuaPushInteger(L, e->BackBufferHeight);
    LoadAllTextures();
    return 3;
  } catch (...) {
    ErrorGraphicsMode();
  }
  return 0;
}

void TMainForm::ChangeWindowMode() {
  if (!Engine) return;
  try {
    TKeshSurfaceEngine3D& e = *Engine;
    FullScreenMode = FullScreenMode == 0 ? 1 : 0;
    e.FullScreen = FullScreenMode == 1;
    const std::string flag = e.FullScreen ? "true" : "false";
    LogEngine->AddMessage("ChangeWindowMode KeshSurfaceEngine3D.FullScreen=" + flag);
    if (GameParams) {
      GameParams->SetValue("Fullscreen", flag);
      SaveGameParams("ChangeWindowMode");  // a full disk must not end the game as an unsupported mode
    }

    LogEngine->AddMessage("InitD3D KeshSurfaceEngine3D.InitWidth=" + IntToStr(e.InitWidth) +
                          " KeshSurfaceEngine3D.InitHeight = " + IntToStr(e.InitHeight));
    if (InitDevice(e, WindowHandle, e.InitWidth, e.InitHeight) == 0) {
      LogEngine->AddHint("ChangeWindowMode d3ddm.Format=" + DisplayFormatName(e));
    } else {
      const int32_t bw = e.BackBufferWidth, bh = e.BackBufferHeight;
      LogEngine->AddMessage("InitD3D Screen.width=" + IntToStr(e.InitWidth) +
                            " Screen.height = " + IntToStr(e.InitHeight));
      if (InitDevice(e, WindowHandle, e.InitWidth, e.InitHeight) != 0) {
        LogEngine->AddError("TMainForm.ChangeWindowMode InitD3D failed twice: no device");
      }
      LogEngine->AddHint("d3ddm.Format=" + DisplayFormatName(e));
      e.ForceLinearFilter = DiffersFromScreen(bw, bh);
      if (FullScreenMode == 1) e.SetDeviceParams(bw, bh);
    }
    Call_A_ChangeResolution();
    if (Engine) Engine->SetDeviceParams(Engine->SystemWidth, Engine->SystemHeight);
  } catch (...) {
    ErrorGraphicsMode();
  }
}

void TMainForm::Call_A_ChangeResolution() {
  if (!Engine) return;
  const int32_t w = FullScreenMode != 0 ? Engine->SystemWidth : Engine->Width;
  const int32_t h = FullScreenMode != 0 ? Engine->SystemHeight : Engine->Height;
  LogEngine->AddHint("Call_A_ChangeResolution " + IntToStr(w) + " " + IntToStr(h));
  if (LuaHost) {
    LuaHost->CallScript("A_ChangeResolution",
                        {TScriptArg::Integer(w), TScriptArg::Integer(h), TScriptArg::Boolean(true)},
                        TScriptFailure::ReportAndEnd);
  }
}

void TMainForm::ErrorGraphicsMode() {
  if (Game) {
    const win32::RECT& r = Game->m_rcWindowBounds;
    win32::SetWindowPos(WindowHandle, win32::HWND_NOTOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top,
                        win32::SWP_SHOWWINDOW);
  }
  win32::ShowWindow(WindowHandle, win32::SW_SHOW);
  ShowSystemCursor(true);
  win32::HDC dc = win32::GetDC(nullptr);
  const int dpi = win32::GetDeviceCaps(dc, win32::LOGPIXELSX);
  win32::ReleaseDC(nullptr, dc);
  const char* text = dpi != 96 ? "The current DPI setting is not supported."
                               : "The current graphics mode is not supported. Please adjust the display "
                                 "settings and then relaunch the game.";
  win32::MessageBoxA(nullptr, text, "Error message", win32::MB_OK);
  rtl::Halt(0);
}

int TMainForm::LoadSplash(lua_State* L) {
  if (!Engine || !Engine->g_pd3dDevice) return 0;
  SplashFiles.Clear();
  const std::string folder = ProgramPath + "\\Splash";
  if (!rtl::DirectoryExists(folder)) return 0;

  int pushed = 0;
  const auto loadMatching = [&](const std::string& pattern) {
    int loaded = 0;
    win32::WIN32_FIND_DATAA found{};
    win32::HANDLE find = win32::FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (find == win32::INVALID_HANDLE_VALUE) return 0;
    do {
      const std::string name = found.cFileName;
      if ((found.dwFileAttributes & ~win32::FILE_ATTRIBUTE_DIRECTORY) == 0 || name == "." || name == "..") continue;
      const std::string lower = rtl::LowerCase(name);
      if (rtl::Pos(".png", lower) == 0 && rtl::Pos(".jpg", lower) == 0) continue;
      // A folder with thousands of pictures must not overflow the Lua stack.
      if (lua_checkstack(L, 1)) {
        LuaPushText(L, name);
        ++pushed;
      }
      Engine->CreateSufaceFromTexture(name, name, win32::RECT{0, 0, 0, 0}, true, false, 0, false);
      SplashFiles.Add(name);
      ++loaded;
    } while (win32::FindNextFileA(find, &found));
    win32::FindClose(find);
    return loaded;
  };
  if (loadMatching(SplashPattern(*Engine)) == 0) loadMatching("*.*");
  return pushed;
}

int TMainForm::ReLoadSplash(lua_State*) {
  if (Engine) {
    for (std::size_t i = 0; i < SplashFiles.Count(); ++i) Engine->DeleteSurface(SplashFiles[i]);
  }
  SplashFiles.Clear();
  return 0;
}
