// Frame, loading and pause of the game object: the idle turn with its frame-rate measurement, one
// frame (clear, black background, A_Loading or A_Update, debug overlay, present), the loading
// phase that stops the game clock, pause and resume with their script callbacks and sound, and
// the hand-off of Alt+Enter to the scripts.
//
// A script callback of a frame may replace the surface engine (SetSystemResolution) or drop its
// device; the frame then stops without touching the engine it began with. Main thread only.
#include "game/main.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "foundation/KeshLogEngine.h"
#include "platform/bass/bass.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_window.h"
#include "runtime/Strings.h"
#include "script/LuaArgs.h"

namespace win32 = platform::win32;
namespace d3d9 = platform::d3d9;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kNoDeviceLogIntervalMs = 1000;
constexpr int32_t kCursorBand = 25;  // pixels below the window's top edge that keep the cursor

void DrawBackground(TKeshSurfaceEngine3D& engine) {
  // In 64 bits: a back-buffer size the script asked for may be near 2^31, and it is doubled.
  int64_t w = std::max(engine.BackBufferWidth, win32::GetSystemMetrics(win32::SM_CXSCREEN));
  int64_t h = std::max(engine.BackBufferHeight, win32::GetSystemMetrics(win32::SM_CYSCREEN));
  if (h <= 600) {
    w = 1024;
    h = 768;
  }
  w *= 2;
  h *= 2;
  const auto x = static_cast<double>(w), y = static_cast<double>(h);
  engine.DrawLine(255, 0, 0, 0, x, y, true);
  engine.DrawLine(255, 0, 0, 0, 0, y, false);
  engine.DrawLine(255, 0, 0, 0, x, 0, false);
  engine.DrawLine(255, 0, x, 0, x, y, false);
  engine.DrawLine(255, 0, 0, y, x, y, false);
}

void DrawOverlayText(TKeshSurfaceEngine3D& engine, const std::string& text, int32_t x, int32_t y,
                     uint32_t color) {
  engine.DrawFontText(text.c_str(), engine.Font, x, y, color);
}

void DrawDebugOverlay(const TMainForm& form, TKeshSurfaceEngine3D& engine) {
  std::string line;
  int64_t bytes = 0;
  int32_t listed = 0, k = 0;
  for (const int32_t index : form.FrameTextures) {
    // Indexes recorded against an engine that has since been replaced may not exist here.
    if (index < 0 || static_cast<std::size_t>(index) >= engine.Textures.size()) continue;
    const TTexture& t = engine.Textures[static_cast<std::size_t>(index)];
    line += t.Name + "[" + rtl::IntToStr(t.Width) + "," + rtl::IntToStr(t.Height) + "] ";
    bytes += static_cast<int64_t>(t.Width) * t.Height * 4;
    if (++listed % 5 == 0) {
      DrawOverlayText(engine, line, 10, 90 + 20 * k++, kWhite);
      line.clear();
    }
  }
  if (!line.empty()) DrawOverlayText(engine, line, 10, 90 + 20 * k++, kWhite);
  DrawOverlayText(engine,
                  rtl::IntToStr(listed) + " " + rtl::IntToStr(bytes) + " " +
                      rtl::FloatToStrF(static_cast<double>(bytes) / 16000000.0, 2),
                  10, 90 + 20 * k, kWhite);

  const std::string screen =
      "Screen=(" + rtl::IntToStr(win32::GetSystemMetrics(win32::SM_CXSCREEN)) + ", " +
      rtl::IntToStr(win32::GetSystemMetrics(win32::SM_CYSCREEN)) + ") (" +
      rtl::IntToStr(engine.BackBufferWidth) + ", " + rtl::IntToStr(engine.BackBufferHeight) +
      ") (" + rtl::IntToStr(engine.SystemWidth) + ", " + rtl::IntToStr(engine.SystemHeight) + ")";
  DrawOverlayText(engine, screen, 11, 11, kBlack);
  DrawOverlayText(engine, screen, 10, 10, kWhite);

  const std::string fps = "FPS=" + rtl::FloatToStrF(FPS, 2) + " FPSMax=" + rtl::FloatToStrF(form.FPSMax, 2);
  DrawOverlayText(engine, fps, 11, 31, kBlack);
  DrawOverlayText(engine, fps, 10, 30, kWhite);

  // Halves to even, as the default floating-point environment rounds.
  const std::string mouse =
      "(" + rtl::FloatToStr(static_cast<double>(form.MouseX)) + "," +
      rtl::FloatToStr(static_cast<double>(form.MouseY)) + ") (" +
      rtl::IntToStr(static_cast<int64_t>(std::nearbyint(form.GroupMouseX))) + "," +
      rtl::IntToStr(static_cast<int64_t>(std::nearbyint(form.GroupMouseY))) + ") ";
  DrawOverlayText(engine, mouse, 10, 50, kWhite);
}

}  // namespace

int TMainForm::LoadingTrue(lua_State*) {
  Loading = true;
  Draw();  // A_Loading runs before the script's call returns
  return 0;
}

int TMainForm::LoadingFalse(lua_State*) {
  Loading = false;  // the next frame ends the loading pause
  return 0;
}

int TMainForm::LowBitsInHistoryForLua(lua_State* L) {
  LuaPushBoolean(L, LowBitsInHistory());
  return 1;
}

bool TMainForm::LowBitsInHistory() {
  // Compared in 64 bits: a card with more than 2 GB must not read as a small one.
  return Engine && static_cast<int64_t>(Engine->VideoMemory) < 64000000;
}

void TMainForm::AppIdle(bool& done) {
  done = false;
  ++FpsFrames;
  const int32_t now = GetGameTime() - PausedTime;
  const uint32_t sinceLast = static_cast<uint32_t>(now) - static_cast<uint32_t>(FpsLastTime);
  if (sinceLast > 1000) {
    FPS = FpsFrames / static_cast<double>(sinceLast) * 1000.0;
    FpsLastTime = now;
    FpsFrames = 0;
  }
  if (FirstDrawTime != 0 && static_cast<uint32_t>(now) - static_cast<uint32_t>(FirstDrawTime) < 5000 &&
      FPS > FPSMax) {
    FPSMax = FPS;
  }
  if (!Paused) Draw();
}

void TMainForm::Draw() {
  LogSoundMessages();  // the mixer's warnings wait for the main thread
  if (CustomCursor && FullScreenMode == 0) {
    win32::POINT cursor{};
    win32::RECT window{};
    win32::GetCursorPos(&cursor);
    win32::GetWindowRect(WindowHandle, &window);
    ShowSystemCursor(cursor.y <= window.top + kCursorBand);  // shown over the title-bar band
  }

  TKeshSurfaceEngine3D* engine = Engine.get();
  if (!engine) return;
  d3d9::IDirect3DDevice9* device = engine->g_pd3dDevice;
  if (!device) {
    const uint32_t tick = win32::GetTickCount();
    if (!NoDeviceLogged || tick - NoDeviceLogTick >= kNoDeviceLogIntervalMs) {
      LogEngine->AddError("TMainForm.Draw g_pd3dDevice = nil " + rtl::IntToStr(GetGameTime()));
      NoDeviceLogged = true;
      NoDeviceLogTick = tick;
    }
    return;
  }
  NoDeviceLogged = false;
  const uint32_t generation = EngineGeneration;

  device->Clear(0, nullptr, d3d9::D3DCLEAR_TARGET | d3d9::D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
  device->BeginScene();
  DrawBackground(*engine);
  FrameTextures.clear();
  TextItems.clear();

  if (LuaHost) {
    if (Loading) {
      LuaHost->Loading(GetGameTime(), LoadingPercent);
      // 0 means "no loading phase": a tick count that happens to be 0 is taken as 1.
      if (LoadingPauseStart == 0) LoadingPauseStart = std::max<uint32_t>(win32::GetTickCount(), 1);
    } else {
      if (LoadingPauseStart != 0) {
        StartTick += win32::GetTickCount() - LoadingPauseStart;
        LoadingPauseStart = 0;
      }
      const int32_t gameTime = GetGameTime();  // refreshes WallClockMs
      LuaHost->Update(gameTime, WallClockMs);
    }
  }
  // The scripts may have replaced the engine or lost its device meanwhile.
  if (EngineGeneration != generation || !Engine || engine->g_pd3dDevice != device) return;

  if (DebugOverlay) DrawDebugOverlay(*this, *engine);
  device->EndScene();
  device->Present(nullptr, nullptr, nullptr, nullptr);
}

void TMainForm::Pause() {
  if (Paused) return;
  Paused = true;
  platform::bass::BASS_Pause();
  if (FullScreenMode == 0 && CustomCursor) ShowSystemCursor(true);
  PauseStart = GetGameTime();
  Call_Pause();
  if (LuaHost) LuaHost->CallScript("A_PauseGame", {}, TScriptFailure::ReportOnly);
  Draw();  // presents the paused picture; AppIdle draws nothing while paused
}

void TMainForm::RePause() {
  if (!Paused) return;
  try {
    Paused = false;
    if (FullScreenMode == 0 && CustomCursor) ShowSystemCursor(false);
    platform::bass::BASS_Start();
    PausedTime = GetGameTime() - PauseStart;
    if (PauseShiftsClock) StartTick += static_cast<uint32_t>(PausedTime);
    Call_RePause();
  } catch (const std::exception&) {
    LogEngine->AddError("TMainForm.RePause");
  }
}

void TMainForm::Call_Pause() {
  if (LuaHost) LuaHost->CallScript("G_PauseGame", {}, TScriptFailure::ReportOnly);
}

void TMainForm::Call_RePause() {
  if (LuaHost) LuaHost->CallScript("G_RePause", {TScriptArg::Integer(PausedTime)}, TScriptFailure::ReportOnly);
}

void TMainForm::WOptions_OK_MouseUp_fromCode() {
  if (win32::GetSystemMetrics(win32::SM_CYSCREEN) <= 600 || !LuaHost) return;
  LuaHost->CallScript("A_WOptions_OK_MouseUp_fromCode", {}, TScriptFailure::ReportAndEnd);
}
