// Benchmark of the scripts' drawing path: a Lua function draws N = 100, 1,000 and 10,000
// pictures of 64 x 64 per frame through DrawPicture, on a 1280 x 1024 windowed software device,
// from a 1024 x 1024 atlas cut into 256 layout pictures. Each picture has its own position,
// rotation, scale (1 to 1.5), tint and alpha (0.5 to 1), passed as key/value pairs as a game
// passes them.
//
// Reported per N: frames per second of the whole frame (clear, the Lua loop, present); the time
// per DrawPicture call of that frame (script, argument reading, layout lookup, engine, device
// set-up and rasterisation); the same loop with alpha 0, which reads every argument and stops
// before the engine (the script and host share); and the loop calling an operation that does
// nothing with the same arguments (the cost of a Lua call into the game object alone). The
// "recorded" column runs the full loop with one raster thread, so rasterisation waits for the
// present and the figure is the calling thread's own path, free of the workers' competition.
//
// Usage: script_draw_bench [seconds per case, default 2] [N: that case's recorded loop alone,
// for a profiler]. Runs headless with SDL's dummy driver.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <lua.hpp>

#include "foundation/KeshLogEngine.h"
#include "game/main.h"
#include "platform/win32/win32_messages.h"
#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32_window.h"

namespace fs = std::filesystem;
namespace w32 = platform::win32;
using namespace platform::d3d9;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kScript = R"(
math.randomseed(1)
local names, xs, ys, angles, spins, scales, colors, alphas = {}, {}, {}, {}, {}, {}, {}, {}
for i = 1, 10000 do
  names[i] = 's' .. math.random(0, 255) .. '.png'
  xs[i], ys[i] = math.random() * 1280, math.random() * 1024
  angles[i], spins[i] = math.random() * 2 * math.pi, (math.random() - 0.5) * 0.1
  scales[i] = 1 + math.random() * 0.5
  colors[i] = math.random(0, 0xFFFFFF)
  alphas[i] = 128 + math.random() * 127
end
-- op: the operation called; alphaScale 0 makes every picture draw nothing.
function Frame(n, op, alphaScale)
  local draw = _G[op]
  for i = 1, n do
    angles[i] = angles[i] + spins[i]
    draw('src', names[i], 'x', xs[i], 'y', ys[i], 'angle', angles[i], 'scalex', scales[i],
         'scaley', scales[i], 'color', colors[i], 'colorpower', 255, 'outputmode', 2,
         'alpha', alphas[i] * alphaScale)
  end
end
)";

w32::LRESULT BenchWindowProc(w32::HWND h, w32::UINT m, w32::WPARAM wp, w32::LPARAM lp) {
  return w32::DefWindowProcA(h, m, wp, lp);
}

struct Timing {
  double fps = 0;
  double nsPerCall = 0;
  double bestNsPerCall = 0;  // of the fastest frame: the figure a busy machine disturbs least
};

Timing RunFrames(TMainForm& form, lua_State* L, int n, const char* op, double alphaScale, double seconds) {
  IDirect3DDevice9* dev = form.Engine->g_pd3dDevice;
  Clock::duration inScript{};
  Clock::duration best = Clock::duration::max();
  int frames = 0;
  auto frame = [&] {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
    dev->BeginScene();
    const auto t0 = Clock::now();
    lua_getglobal(L, "Frame");
    lua_pushinteger(L, n);
    lua_pushstring(L, op);
    lua_pushnumber(L, alphaScale);
    if (lua_pcall(L, 3, 0, 0) != 0) {
      std::fprintf(stderr, "Frame: %s\n", lua_tostring(L, -1));
      std::exit(1);
    }
    const Clock::duration spent = Clock::now() - t0;
    inScript += spent;
    best = std::min(best, spent);
    dev->EndScene();
    dev->Present(nullptr, nullptr, nullptr, nullptr);
  };
  for (int i = 0; i < 2; ++i) frame();  // warm-up: textures made, caches filled
  inScript = {};
  best = Clock::duration::max();
  const auto start = Clock::now();
  do {
    frame();
    ++frames;
  } while (std::chrono::duration<double>(Clock::now() - start).count() < seconds || frames < 5);
  const double total = std::chrono::duration<double>(Clock::now() - start).count();
  return {frames / total, std::chrono::duration<double, std::nano>(inScript).count() / (double(frames) * n),
          std::chrono::duration<double, std::nano>(best).count() / n};
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  const int profileN = argc > 2 ? std::atoi(argv[2]) : 0;
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  InitializeKeshLogEngine();
  LogEngine->MainLog = nullptr;  // no log file for a benchmark

  const fs::path dir = fs::temp_directory_path() /
                       ("quorrel_script_draw_bench_" + std::to_string(Clock::now().time_since_epoch().count()));
  fs::create_directories(dir / "data" / "Textures");
  fs::copy_file(fs::path(QUORREL_ATLAS_DATA) / "atlas1024.png", dir / "data" / "Textures" / "atlas.png");
  fs::current_path(dir);

  w32::WNDCLASSA wc{};
  wc.lpfnWndProc = &BenchWindowProc;
  wc.lpszClassName = "Script Draw Bench";
  w32::RegisterClassA(&wc);
  w32::HWND window = w32::CreateWindowA("Script Draw Bench", "script draw bench", w32::WS_POPUP, 0, 0,
                                        1280, 1024, nullptr, nullptr, nullptr, nullptr);

  static TMainForm form;
  form.FirstDrawTime = 1;
  form.Engine = std::make_unique<TKeshSurfaceEngine3D>(1280, 1024, false, 0, 0, 1280, 1024, "data\\");
  bool windowed = false;
  if (form.Engine->InitD3D(window, 1280, 1024, windowed) != 0) {
    std::fprintf(stderr, "InitD3D failed\n");
    return 1;
  }
  rtl::TStringList layout;
  layout.Add("-- START Textures.lua");
  layout.Add("Textures = {");
  for (int cell = 0; cell < 256; ++cell) {
    layout.Add("{Name=\"s" + std::to_string(cell) + ".png\"; Texture=\"atlas\"; PosX=" +
               std::to_string(cell % 16 * 64) + "; PosY=" + std::to_string(cell / 16 * 64) +
               "; Width=64; Height=64; Rotate=false; Compress=false;},");
  }
  layout.Add("-- END Textures.lua");
  form.ParseTextureLayout(layout);

  TMyLua lua(false);
  lua.RegisterFunctions(&form);
  if (lua.DoString(kScript) != 0 || lua.DoString("LoadTextures('atlas')") != 0) {
    std::fprintf(stderr, "script: %s\n", lua_tostring(lua.LuaState, -1));
    return 1;
  }

  if (profileN > 0) {
    SetRasterThreads(1);
    const Timing recorded = RunFrames(form, lua.LuaState, profileN, "DrawPicture", 1, seconds);
    std::printf("%d pictures: %.0f ns/call recorded (fastest frame %.0f)\n", profileN, recorded.nsPerCall,
                recorded.bestNsPerCall);
    return 0;
  }
  std::printf("script DrawPicture benchmark: 1280 x 1024, 64 x 64 pictures, %.1f s per case\n", seconds);
  std::printf("%8s %8s %16s %18s %16s %18s\n", "pictures", "fps", "ns/DrawPicture", "ns/call (alpha 0)",
              "ns/call (no-op)", "ns/call (recorded)");
  for (const int n : {100, 1000, 10000}) {
    const Timing full = RunFrames(form, lua.LuaState, n, "DrawPicture", 1, seconds);
    const Timing host = RunFrames(form, lua.LuaState, n, "DrawPicture", 0, seconds / 4);
    const Timing call = RunFrames(form, lua.LuaState, n, "CopyAlphaChannel", 1, seconds / 4);
    SetRasterThreads(1);
    const Timing recorded = RunFrames(form, lua.LuaState, n, "DrawPicture", 1, seconds / 4);
    SetRasterThreads(0);
    std::printf("%8d %8.1f %16.0f %18.0f %16.0f %18.0f\n", n, full.fps, full.nsPerCall, host.nsPerCall,
                call.nsPerCall, recorded.nsPerCall);
    std::fflush(stdout);
  }

  fs::current_path(fs::temp_directory_path());
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
