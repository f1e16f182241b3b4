#include "draw_fixture.h"

#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include <lua.hpp>

#include "foundation/KeshLogEngine.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_window.h"
#include "support/golden.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;
using namespace platform::d3d9;

namespace draw_test {

namespace {

w32::LRESULT TestWindowProc(w32::HWND h, w32::UINT m, w32::WPARAM wp, w32::LPARAM lp) {
  return w32::DefWindowProcA(h, m, wp, lp);
}

const char* kWindowClass = "Game Draw Test Window";

}  // namespace

Picture Filled(int width, int height, uint32_t argb) {
  return Picture{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb)};
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& argb,
              bool alpha) {
  return test_support::WritePng(path, {width, height, argb}, alpha);
}

::testing::AssertionResult MatchesGolden(const CapturedFrame& f, const std::string& name, int tol) {
  return test_support::MatchesGolden(
      {f.width, f.height, f.pixels},
      {QUORREL_TEST_DATA "/golden", test_support::OutputFolder("game_draw")}, name, tol);
}

void DrawTest::SetUp() {
  static int counter = 0;
  InitializeKeshLogEngine();
  char tmpl[] = "/tmp/quorrel_game_draw_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  dir_ = tmpl;
  fs::create_directories(dir_ + "/data/Textures");
  oldCwd_ = fs::current_path().string();
  fs::current_path(dir_);
  logPath_ = dir_ + "/draw_" + std::to_string(++counter) + ".log";
  LogEngine->MainLog = LogEngine->AddLogFile(logPath_);

  w32::testing::VirtualScreen screen;
  screen.width = 1024;
  screen.height = 768;
  screen.usable = {0, 0, 1024, 768};
  w32::testing::SetVirtualScreen(screen);
  static bool registered = false;
  if (!registered) {
    w32::WNDCLASSA wc{};
    wc.lpfnWndProc = &TestWindowProc;
    wc.lpszClassName = kWindowClass;
    w32::RegisterClassA(&wc);
    registered = true;
  }
  window_ = w32::CreateWindowA(kWindowClass, "game draw test", w32::WS_POPUP, 0, 0, 64, 64,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window_, nullptr);
  platform::ddraw::SetLocalVideoMemory(platform::ddraw::kDefaultLocalVideoMemory);
  GroupStack.clear();
  ClipStack.clear();
  CurrentGroup = -1;
  CurrentGroupValues = tGroupValues{};
  form.FirstDrawTime = 1;  // tests of the first draw set it back to 0
  lua = std::make_unique<TMyLua>(false);
  lua->RegisterFunctions(&form);
}

void DrawTest::TearDown() {
  lua.reset();
  form.Engine.reset();
  GroupStack.clear();
  ClipStack.clear();
  CurrentGroup = -1;
  CurrentGroupValues = tGroupValues{};
  if (window_) w32::DestroyWindow(window_);
  w32::testing::SetVirtualScreen(std::nullopt);
  LogEngine->MainLog = nullptr;
  fs::current_path(oldCwd_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

TKeshSurfaceEngine3D& DrawTest::MakeEngine(int width, int height) {
  form.Engine = std::make_unique<TKeshSurfaceEngine3D>(1024, 768, false, 0, 0, width, height, "data\\");
  bool windowed = false;
  EXPECT_EQ(form.Engine->InitD3D(window_, width, height, windowed), 0);
  return *form.Engine;
}

void DrawTest::PutTexture(const std::string& file, const Picture& p) {
  ASSERT_TRUE(WritePng(dir_ + "/data/Textures/" + file, p.width, p.height, p.texels));
}

void DrawTest::Layout(const std::vector<std::string>& pictureLines) {
  rtl::TStringList lines;
  lines.Add("-- START Textures.lua");
  lines.Add("Textures = {");
  for (const std::string& l : pictureLines) lines.Add(l);
  lines.Add("-- END Textures.lua");
  form.ParseTextureLayout(lines);
}

std::string DrawTest::Row(const std::string& name, const std::string& texture, int x, int y, int w,
                          int h, bool rotate, bool compress) {
  std::ostringstream s;
  s << "{Name=\"" << name << "\"; Texture=\"" << texture << "\"; PosX=" << x << "; PosY=" << y
    << "; Width=" << w << "; Height=" << h << "; Rotate=" << (rotate ? "true" : "false")
    << "; Compress=" << (compress ? "true" : "false") << ";},";
  return s.str();
}

void DrawTest::Run(const std::string& script) {
  const int status = lua->DoString(script.c_str());
  std::string message;
  if (status != 0) {
    const char* m = lua_tostring(lua->LuaState, -1);
    message = m ? m : "";
    lua_settop(lua->LuaState, 0);
  }
  ASSERT_EQ(status, 0) << script << "\n" << message;
}

std::string DrawTest::RunError(const std::string& script) {
  if (lua->DoString(script.c_str()) == 0) return {};
  const char* m = lua_tostring(lua->LuaState, -1);
  std::string message = m ? m : "?";
  lua_settop(lua->LuaState, 0);
  return message;
}

void DrawTest::BeginFrame(uint32_t rgb) {
  IDirect3DDevice9* dev = form.Engine->g_pd3dDevice;
  ASSERT_NE(dev, nullptr);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u | rgb, 1, 0);
  dev->BeginScene();
}

CapturedFrame DrawTest::EndFrame() {
  IDirect3DDevice9* dev = form.Engine->g_pd3dDevice;
  dev->EndScene();
  return ReadBackBuffer(dev);
}

std::string DrawTest::LogText() const {
  LogEngine->MainLog->FlushRepeat();
  return test_support::ReadFile(logPath_);
}

std::string DrawTest::ReadText(const std::string& relativePath) const {
  return test_support::ReadFile(dir_ + "/" + relativePath);
}

}  // namespace draw_test
