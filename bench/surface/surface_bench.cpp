// Sprite benchmark of the surface engine: a 1280 x 1024 windowed device, a full-screen background,
// then N = 100, 1,000 and 10,000 sprites of 64 x 64 cut from a 1024 x 1024 atlas, each with its
// own position, rotation, scale (1 to 1.5), tint and alpha (0.5 to 1), bilinear filtered and alpha
// blended, all drawn through TKeshSurfaceEngine3D::Draw and presented.
//
// Reported per N: frames per second of the whole frame (clear, draws, present), the time per
// Draw call on the software device (engine work plus the device's set-up of the quad), and the
// engine's own cost per Draw, measured with a device that accepts every call but draws nothing.
//
// Usage: surface_bench [seconds per case, default 2]. Runs headless with SDL's dummy driver.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "foundation/KeshLogEngine.h"
#include "platform/d3d9/d3d9_forwarding.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_window.h"
#include "surface/KeshTextureEngine3D.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;
using namespace platform::d3d9;
using Clock = std::chrono::steady_clock;

namespace {

// Forwards every call to the real device but the drawing ones, so the time spent is the engine's.
class NoDrawDevice final : public ForwardingDevice {
 public:
  using ForwardingDevice::ForwardingDevice;
  HRESULT Present(const RECT*, const RECT*, HWND, const void*) override { return D3D_OK; }
  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3D_OK; }
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override { return D3D_OK; }
};

struct Sprite {
  std::string name;
  double x, y, angle, spin, scale;
  int32_t color;
  uint8_t alpha;
};

w32::LRESULT BenchWindowProc(w32::HWND h, w32::UINT m, w32::WPARAM wp, w32::LPARAM lp) {
  return w32::DefWindowProcA(h, m, wp, lp);
}

struct Timing {
  double fps = 0;
  double nsPerDraw = 0;
  int frames = 0;
};

Timing RunFrames(TKeshSurfaceEngine3D& e, std::vector<Sprite>& sprites, size_t n,
                 double seconds) {
  IDirect3DDevice9* dev = e.g_pd3dDevice;
  Timing t;
  Clock::duration inDraw{};
  auto frame = [&] {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1, 0);
    dev->BeginScene();
    const auto d0 = Clock::now();
    e.Draw("background", 255, 0, 0, 0, 5, 4, 0xFFFFFF, 0, 0, nullptr, 0, 0, 1, 1, 0, 0, true, -1,
           -1);
    for (size_t i = 0; i < n; ++i) {
      Sprite& s = sprites[i];
      s.angle += s.spin;
      e.Draw(s.name, s.alpha, s.x, s.y, s.angle, s.scale, s.scale, s.color, 255, 2, nullptr, 0, 0,
             1, 1, -1, -1, true, -1, -1);
    }
    inDraw += Clock::now() - d0;
    dev->EndScene();
    dev->Present(nullptr, nullptr, nullptr, nullptr);
  };
  for (int i = 0; i < 2; ++i) frame();  // warm-up: textures made, caches filled
  inDraw = {};
  const auto measured = Clock::now();
  do {
    frame();
    ++t.frames;
  } while (std::chrono::duration<double>(Clock::now() - measured).count() < seconds ||
           t.frames < 5);
  const double total = std::chrono::duration<double>(Clock::now() - measured).count();
  t.fps = t.frames / total;
  t.nsPerDraw = std::chrono::duration<double, std::nano>(inDraw).count() /
                (static_cast<double>(t.frames) * static_cast<double>(n + 1));
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  InitializeKeshLogEngine();
  LogEngine->MainLog = nullptr;  // no log file for a benchmark

  const fs::path dir = fs::temp_directory_path() / ("quorrel_surface_bench_" +
                          std::to_string(Clock::now().time_since_epoch().count()));
  fs::create_directories(dir / "data" / "Textures");
  for (const char* f : {"atlas1024.png", "background256.png"}) {
    fs::copy_file(fs::path(QUORREL_BENCH_DATA) / f, dir / "data" / "Textures" / f,
                  fs::copy_options::overwrite_existing);
  }
  fs::current_path(dir);

  w32::WNDCLASSA wc{};
  wc.lpfnWndProc = &BenchWindowProc;
  wc.lpszClassName = "Surface Bench";
  w32::RegisterClassA(&wc);
  w32::HWND window = w32::CreateWindowA("Surface Bench", "surface bench", w32::WS_POPUP, 0, 0,
                                        1280, 1024, nullptr, nullptr, nullptr, nullptr);

  TKeshSurfaceEngine3D e(1280, 1024, false, 0, 0, 1280, 1024, "data\\");
  bool windowed = false;
  if (e.InitD3D(window, 1280, 1024, windowed) != 0) {
    std::fprintf(stderr, "InitD3D failed\n");
    return 1;
  }
  e.CreateSufaceFromTexture("background", "background256.png", {0, 0, 256, 256}, true, false, 0,
                            false);
  for (int cell = 0; cell < 256; ++cell) {
    const LONG x = (cell % 16) * 64, y = (cell / 16) * 64;
    e.CreateSufaceFromTexture("s" + std::to_string(cell), "atlas1024.png",
                              {x, y, x + 64, y + 64}, true, false, 0, false);
  }

  std::mt19937 rng(1);
  std::uniform_real_distribution<double> ux(0, 1280), uy(0, 1024), ua(0, 360), us(1, 1.5),
      uspin(-3, 3);
  std::uniform_int_distribution<int> ucell(0, 255), ucolor(0, 0xFFFFFF), ualpha(128, 255);
  std::vector<Sprite> sprites(10000);
  for (Sprite& s : sprites) {
    s = {"s" + std::to_string(ucell(rng)), ux(rng), uy(rng), ua(rng), uspin(rng), us(rng),
         ucolor(rng) | 0x404040, static_cast<uint8_t>(ualpha(rng))};
  }

  std::printf("surface engine sprite benchmark: 1280 x 1024, 64 x 64 sprites, %.1f s per case\n",
              seconds);
  std::printf("%8s %10s %14s %18s\n", "sprites", "fps", "ns/Draw (dev)", "ns/Draw (engine)");
  for (const size_t n : {size_t{100}, size_t{1000}, size_t{10000}}) {
    const Timing full = RunFrames(e, sprites, n, seconds);
    IDirect3DDevice9* real = e.g_pd3dDevice;
    real->AddRef();
    e.g_pd3dDevice = new NoDrawDevice(real);  // takes the extra reference
    const Timing engine = RunFrames(e, sprites, n, seconds / 2);
    e.g_pd3dDevice->Release();
    e.g_pd3dDevice = real;
    std::printf("%8zu %10.1f %14.0f %18.0f\n", n, full.fps, full.nsPerDraw, engine.nsPerDraw);
    std::fflush(stdout);
  }

  fs::current_path(fs::temp_directory_path());
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
