#include "surface_fixture.h"

#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "foundation/KeshLogEngine.h"
#include "game/GroupStack.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_window.h"
#include "support/golden.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;
using namespace platform::d3d9;

namespace surface_test {

namespace {

w32::LRESULT TestWindowProc(w32::HWND h, w32::UINT m, w32::WPARAM wp, w32::LPARAM lp) {
  return w32::DefWindowProcA(h, m, wp, lp);
}

const char* kWindowClass = "Surface Test Window";

}  // namespace

::testing::AssertionResult NearColor(const CapturedFrame& f, int x, int y, uint32_t rgb,
                                     int tol) {
  const uint32_t c = Pixel(f, x, y);
  const int dr = std::abs(Red(c) - static_cast<int>((rgb >> 16) & 0xFF));
  const int dg = std::abs(Green(c) - static_cast<int>((rgb >> 8) & 0xFF));
  const int db = std::abs(Blue(c) - static_cast<int>(rgb & 0xFF));
  if (dr <= tol && dg <= tol && db <= tol) return ::testing::AssertionSuccess();
  char text[128];
  std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, expected %06X (tolerance %d)", x, y,
                c & 0xFFFFFF, rgb & 0xFFFFFF, tol);
  return ::testing::AssertionFailure() << text;
}

::testing::AssertionResult MatchesGolden(const CapturedFrame& f, const std::string& name,
                                         int tol) {
  return test_support::MatchesGolden(
      {f.width, f.height, f.pixels},
      {QUORREL_TEST_DATA "/golden", test_support::OutputFolder("surface")}, name, tol);
}

void SurfaceTest::SetUp() {
  static std::atomic<int> counter{0};
  InitializeKeshLogEngine();
  char tmpl[] = "/tmp/quorrel_surface_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  dir_ = tmpl;
  fs::create_directories(dir_ + "/data/Textures");
  fs::create_directories(dir_ + "/Textures");
  fs::create_directories(dir_ + "/Splash");
  oldCwd_ = fs::current_path().string();
  fs::current_path(dir_);
  logPath_ = dir_ + "/surface_" + std::to_string(++counter) + ".log";
  LogEngine->MainLog = LogEngine->AddLogFile(logPath_);

  SetScreen(1024, 768);
  static bool registered = false;
  if (!registered) {
    w32::WNDCLASSA wc{};
    wc.lpfnWndProc = &TestWindowProc;
    wc.lpszClassName = kWindowClass;
    w32::RegisterClassA(&wc);
    registered = true;
  }
  window_ = w32::CreateWindowA(kWindowClass, "surface test", w32::WS_POPUP, 0, 0, 64, 64, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(window_, nullptr);
  GroupStack.clear();
  ClipStack.clear();
  platform::ddraw::SetLocalVideoMemory(platform::ddraw::kDefaultLocalVideoMemory);
}

void SurfaceTest::TearDown() {
  engine_.reset();
  GroupStack.clear();
  ClipStack.clear();
  if (window_) w32::DestroyWindow(window_);
  w32::testing::SetVirtualScreen(std::nullopt);
  LogEngine->MainLog = nullptr;
  fs::current_path(oldCwd_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void SurfaceTest::SetScreen(int width, int height,
                            std::vector<w32::testing::VirtualScreen::Mode> modes) {
  w32::testing::VirtualScreen screen;
  screen.width = width;
  screen.height = height;
  screen.usable = {0, 0, width, height};
  screen.modes = std::move(modes);
  w32::testing::SetVirtualScreen(screen);
}

TKeshSurfaceEngine3D& SurfaceTest::MakeEngine(int width, int height, bool init) {
  engine_ = std::make_unique<TKeshSurfaceEngine3D>(w32::GetSystemMetrics(w32::SM_CXSCREEN),
                                                   w32::GetSystemMetrics(w32::SM_CYSCREEN),
                                                   false, 0, 0, width, height, "data\\");
  if (init) {
    bool windowed = false;
    EXPECT_EQ(engine_->InitD3D(window_, width, height, windowed), 0);
    EXPECT_TRUE(windowed);
  }
  return *engine_;
}

void SurfaceTest::PutFile(const std::string& fixture, const std::string& relativePath) {
  PutBytes(relativePath, test_support::ReadFile(std::string(QUORREL_TEST_DATA) + "/" + fixture));
}

void SurfaceTest::PutBytes(const std::string& relativePath, const std::string& bytes) {
  test_support::WriteFile(dir_ + "/" + relativePath, bytes);
}

void SurfaceTest::BeginFrame(uint32_t rgb) {
  IDirect3DDevice9* dev = engine_->g_pd3dDevice;
  ASSERT_NE(dev, nullptr);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u | rgb, 1, 0);
  dev->BeginScene();
}

CapturedFrame SurfaceTest::EndFrame() {
  IDirect3DDevice9* dev = engine_->g_pd3dDevice;
  dev->EndScene();
  return ReadBackBuffer(dev);
}

void SurfaceTest::DrawPicture(const std::string& name, double x, double y, double angle,
                              double scaleX, double scaleY, uint8_t alpha, int32_t color,
                              uint8_t colorPower, uint8_t outputMode, const TSurfaceOffsets* rect,
                              double transX, double transY, bool filter) {
  engine_->Draw(name, alpha, x, y, angle, scaleX, scaleY, color, colorPower, outputMode, rect, 0,
                0, 1, 1, transX, transY, filter, -1, -1);
}

std::string SurfaceTest::LogText() const { return test_support::ReadFile(logPath_); }

}  // namespace surface_test
