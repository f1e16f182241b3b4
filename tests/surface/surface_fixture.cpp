#include "surface_fixture.h"

#include <png.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/KeshLogEngine.h"
#include "game/GroupStack.h"
#include "platform/d3dx9/d3dx9_image.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_window.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;
using namespace platform::d3d9;

namespace surface_test {

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

w32::LRESULT TestWindowProc(w32::HWND h, w32::UINT m, w32::WPARAM wp, w32::LPARAM lp) {
  return w32::DefWindowProcA(h, m, wp, lp);
}

const char* kWindowClass = "Surface Test Window";

}  // namespace

bool WritePng(const std::string& path, const CapturedFrame& f) {
  fs::create_directories(fs::path(path).parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, f.width, f.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(f.width) * 3);
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) {
      const uint32_t c = Pixel(f, x, y);
      row[x * 3 + 0] = static_cast<png_byte>(Red(c));
      row[x * 3 + 1] = static_cast<png_byte>(Green(c));
      row[x * 3 + 2] = static_cast<png_byte>(Blue(c));
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  return true;
}

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
  const std::string golden = std::string(QUORREL_TEST_DATA) + "/golden/" + name + ".png";
  const char* update = std::getenv("QUORREL_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    if (!WritePng(golden, f)) return ::testing::AssertionFailure() << "cannot write " << golden;
    return ::testing::AssertionSuccess();
  }
  const std::string outDir = std::string(QUORREL_BINARY_DIR) + "/surface_golden_out/";
  const std::string bytes = ReadAll(golden);
  platform::d3dx9::DecodedImage image;
  std::string error;
  if (bytes.empty() ||
      !platform::d3dx9::DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  image, error)) {
    WritePng(outDir + name + ".actual.png", f);
    return ::testing::AssertionFailure() << "no golden image " << golden << " " << error
                                         << "; actual written to " << outDir;
  }
  if (static_cast<int>(image.width) != f.width || static_cast<int>(image.height) != f.height) {
    WritePng(outDir + name + ".actual.png", f);
    return ::testing::AssertionFailure() << "golden " << name << " is " << image.width << "x"
                                         << image.height << ", frame " << f.width << "x"
                                         << f.height;
  }
  CapturedFrame diff{f.width, f.height, std::vector<uint32_t>(f.pixels.size(), 0)};
  int bad = 0, worst = 0;
  for (size_t i = 0; i < f.pixels.size(); ++i) {
    const uint32_t a = f.pixels[i], b = image.texels[i];
    const int d = std::max({std::abs(Red(a) - Red(b)), std::abs(Green(a) - Green(b)),
                            std::abs(Blue(a) - Blue(b))});
    worst = std::max(worst, d);
    if (d > tol) {
      ++bad;
      diff.pixels[i] = 0xFFFFFFFF;
    }
  }
  if (bad == 0) return ::testing::AssertionSuccess();
  WritePng(outDir + name + ".actual.png", f);
  WritePng(outDir + name + ".diff.png", diff);
  return ::testing::AssertionFailure() << name << ": " << bad << " pixels differ by more than "
                                       << tol << " (worst " << worst << "); see " << outDir;
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
  PutBytes(relativePath, ReadAll(std::string(QUORREL_TEST_DATA) + "/" + fixture));
}

void SurfaceTest::PutBytes(const std::string& relativePath, const std::string& bytes) {
  WriteAll(dir_ + "/" + relativePath, bytes);
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

std::string SurfaceTest::LogText() const { return ReadAll(logPath_); }

}  // namespace surface_test
