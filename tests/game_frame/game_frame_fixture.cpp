#include "game_frame_fixture.h"

#include <lua.hpp>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "foundation/KeshLogEngine.h"
#include "game/GroupStack.h"
#include "platform/bass/bass.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_window.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;
namespace d3d9 = platform::d3d9;

namespace game_frame_test {

namespace {

const char* kWindowClass = "Game Frame Test Window";
w32::HWND window = nullptr;
TMainForm* currentForm = nullptr;

w32::LRESULT TestWindowProc(w32::HWND h, w32::UINT m, w32::WPARAM wp, w32::LPARAM lp) {
  return w32::DefWindowProcA(h, m, wp, lp);
}

int TestFill(lua_State* L) {
  const auto rgb = static_cast<int32_t>(lua_tointeger(L, 1));
  if (currentForm && currentForm->Engine) currentForm->Engine->DrawLine(255, rgb, 0, 0, 4096, 4096, true);
  return 0;
}

// Stands for a DrawPicture that recorded texture Index for the overlay.
int TestRecordTexture(lua_State* L) {
  if (currentForm) currentForm->FrameTextures.push_back(static_cast<int32_t>(lua_tointeger(L, 1)));
  return 0;
}

const char* kHelpers =
    "calls = {}\n"
    "function rec(s) calls[#calls + 1] = tostring(s) end\n"
    "function all(...) local t = {} for i = 1, select('#', ...) do t[i] = tostring((select(i, ...))) end "
    "return table.concat(t, ',') end\n";

}  // namespace

void GameFrameTest::SetUp() {
  static int counter = 0;
  InitializeKeshLogEngine();
  char tmpl[] = "/tmp/quorrel_game_frame_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  dir_ = tmpl;
  oldCwd_ = fs::current_path();
  fs::current_path(dir_);
  logPath_ = dir_ / ("game_frame_" + std::to_string(++counter) + ".log");
  LogEngine->MainLog = LogEngine->AddLogFile(logPath_.string());

  w32::seam::SetTickSource([this] { return tick_; });
  StartTick = tick_;
  LoadingPauseStart = 0;
  EpochOffsetMs = 1'000'000;
  FPS = 0;
  FpsFrames = 0;
  FpsLastTime = 0;
  GroupStack.clear();
  ClipStack.clear();
  ProgramPath = dir_.string() + "/";
  SetScreen(1024, 768);
  platform::ddraw::SetLocalVideoMemory(platform::ddraw::kDefaultLocalVideoMemory);
  platform::bass::testing::ResetCallCounts();

  if (!window) {
    w32::WNDCLASSA wc{};
    wc.lpfnWndProc = &TestWindowProc;
    wc.lpszClassName = kWindowClass;
    w32::RegisterClassA(&wc);
    window = w32::CreateWindowA(kWindowClass, "game frame test", w32::WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                                nullptr, nullptr);
  }
  ASSERT_NE(window, nullptr);
  form_.WindowHandle = window;
  form_.DataFolder = "data\\";
  form_.CursorCounter = 1;
  currentForm = &form_;
  d3d9::SetCaptureFrames(true);
  d3d9::TakeCapturedFrames();
}

void GameFrameTest::TearDown() {
  d3d9::SetCaptureFrames(false);
  d3d9::TakeCapturedFrames();
  form_.Engine.reset();
  form_.LuaHost.reset();
  currentForm = nullptr;
  GroupStack.clear();
  ClipStack.clear();
  w32::seam::SetTickSource({});
  w32::testing::SetVirtualScreen(std::nullopt);
  LogEngine->MainLog = nullptr;
  fs::current_path(oldCwd_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void GameFrameTest::SetScreen(int width, int height, std::vector<w32::testing::VirtualScreen::Mode> modes,
                              int taskbar, int dpi) {
  w32::testing::VirtualScreen screen;
  screen.width = width;
  screen.height = height;
  screen.usable = {0, 0, width, height - taskbar};
  screen.modes = std::move(modes);
  screen.dpi = dpi;
  w32::testing::SetVirtualScreen(screen);
}

TKeshSurfaceEngine3D& GameFrameTest::MakeEngine(int width, int height, bool withDevice) {
  form_.Engine = std::make_unique<TKeshSurfaceEngine3D>(w32::GetSystemMetrics(w32::SM_CXSCREEN),
                                                        w32::GetSystemMetrics(w32::SM_CYSCREEN), false, 0, 0,
                                                        width, height, "data\\");
  if (withDevice) {
    bool windowed = false;
    EXPECT_EQ(form_.Engine->InitD3D(window, width, height, windowed), 0);
  }
  return *form_.Engine;
}

void GameFrameTest::StartScript(const std::string& script) {
  form_.LuaHost = std::make_unique<TMyLua>(false);
  form_.LuaHost->RegisterFunctions(&form_);
  AddTestFunctions();
  Run(script);
}

void GameFrameTest::AddTestFunctions() {
  lua_register(form_.LuaHost->LuaState, "TestFill", &TestFill);
  lua_register(form_.LuaHost->LuaState, "TestRecordTexture", &TestRecordTexture);
  Run(kHelpers);
}

void GameFrameTest::Run(const std::string& lua) {
  lua_State* L = form_.LuaHost->LuaState;
  const int top = lua_gettop(L);
  if (form_.LuaHost->DoString(lua.c_str()) != 0) ADD_FAILURE() << lua_tostring(L, -1);
  lua_settop(L, top);
}

std::string GameFrameTest::Eval(const std::string& expression) {
  Run("__eval = tostring(" + expression + ")");
  lua_State* L = form_.LuaHost->LuaState;
  lua_getglobal(L, "__eval");
  std::string value = lua_isstring(L, -1) ? lua_tostring(L, -1) : "?";
  lua_pop(L, 1);
  return value;
}

std::string GameFrameTest::Calls() {
  const std::string joined = Eval("table.concat(calls, ';')");
  Run("calls = {}");
  return joined;
}

std::string GameFrameTest::LogText() const {
  std::ifstream in(logPath_, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<CapturedFrame> GameFrameTest::Frames() { return d3d9::TakeCapturedFrames(); }

}  // namespace game_frame_test
