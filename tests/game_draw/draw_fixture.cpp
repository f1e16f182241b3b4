#include "draw_fixture.h"

#include <png.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <lua.hpp>

#include "foundation/KeshLogEngine.h"
#include "platform/d3dx9/d3dx9_image.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_window.h"

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

bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& argb, bool alpha) {
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
  const int channels = alpha ? 4 : 3;
  png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(width) * channels);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = argb[static_cast<size_t>(y) * width + x];
      png_byte* p = &row[static_cast<size_t>(x) * channels];
      p[0] = static_cast<png_byte>(c >> 16);
      p[1] = static_cast<png_byte>(c >> 8);
      p[2] = static_cast<png_byte>(c);
      if (alpha) p[3] = static_cast<png_byte>(c >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  return true;
}

::testing::AssertionResult MatchesGolden(const CapturedFrame& f, const std::string& name, int tol) {
  const std::string golden = std::string(QUORREL_TEST_DATA) + "/golden/" + name + ".png";
  const std::string outDir = std::string(QUORREL_BINARY_DIR) + "/game_draw_golden_out/";
  auto write = [&](const std::string& path, const std::vector<uint32_t>& pixels) {
    return WritePng(path, f.width, f.height, pixels, false);
  };
  if (const char* update = std::getenv("QUORREL_UPDATE_GOLDEN"); update && std::string(update) == "1") {
    if (!write(golden, f.pixels)) return ::testing::AssertionFailure() << "cannot write " << golden;
    return ::testing::AssertionSuccess();
  }
  std::ifstream in(golden, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  platform::d3dx9::DecodedImage image;
  std::string error;
  if (bytes.empty() || !platform::d3dx9::DecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, error) ||
      static_cast<int>(image.width) != f.width || static_cast<int>(image.height) != f.height) {
    write(outDir + name + ".actual.png", f.pixels);
    return ::testing::AssertionFailure() << "no usable golden image " << golden << " " << error << "; actual in " << outDir;
  }
  std::vector<uint32_t> diff(f.pixels.size(), 0xFF000000u);
  int bad = 0, worst = 0;
  for (size_t i = 0; i < f.pixels.size(); ++i) {
    int d = 0;
    for (int shift : {16, 8, 0}) {
      d = std::max(d, std::abs(static_cast<int>(f.pixels[i] >> shift & 255) - static_cast<int>(image.texels[i] >> shift & 255)));
    }
    worst = std::max(worst, d);
    if (d > tol) {
      ++bad;
      diff[i] = 0xFFFFFFFFu;
    }
  }
  if (bad == 0) return ::testing::AssertionSuccess();
  write(outDir + name + ".actual.png", f.pixels);
  write(outDir + name + ".diff.png", diff);
  return ::testing::AssertionFailure() << name << ": " << bad << " pixels differ by more than " << tol
                                       << " (worst " << worst << "); see " << outDir;
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
  std::ifstream in(logPath_, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string DrawTest::ReadText(const std::string& relativePath) const {
  std::ifstream in(dir_ + "/" + relativePath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace draw_test
