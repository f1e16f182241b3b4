// Sprite throughput of the software device at 1280 x 1024: a full-screen background, then N
// sprites of 64 x 64 from a 1024 x 1024 atlas, each with its own position, rotation, scale
// (1 to 1.5), tint and alpha (0.5 to 1), bilinear filtered and alpha blended. Like the surface
// engine, every sprite has its own 4-vertex buffer, rewritten each frame, and is one
// TRIANGLESTRIP draw with its own world transform. Prints frames per second and nanoseconds per
// sprite pixel, for the fast paths and the reference rasteriser; first the fixed cost of a frame
// with nothing on it and with only a background.
//
// Usage: bench_device [seconds per case, default 2] [fast] [window[=WxH]]
//   (QUORREL_RASTER_THREADS=n sets the raster threads, QUORREL_WIDE_SPANS=0 keeps to 8-wide spans)
//   fast: skip the reference path; window: present every frame into a window of the back
//   buffer's size, or of W x H client pixels, into which the frame is scaled (needs a display, e.g. xvfb-run -s "-screen 0 1600x1280x24"; set
//   SDL_RENDER_VSYNC=0 so that no refresh wait caps the frame rate). Headless otherwise.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/win32/win32.h"

using namespace platform::d3d9;

namespace {

constexpr int kWidth = 1280, kHeight = 1024, kAtlas = 1024, kSprite = 64;

struct Vertex {
  float x, y, z;
  D3DCOLOR color;
  float u, v;
};

D3DMATRIX Identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1;
  return m;
}

struct Sprite {
  float x, y, angle, scale;
  D3DCOLOR color;
  int cell_x, cell_y;
  IDirect3DVertexBuffer9* vb;
};

// World matrix as the engine builds it: pivot at the centre, rotate, scale, back, place.
D3DMATRIX World(const Sprite& s) {
  const float c = std::cos(s.angle) * s.scale, n = std::sin(s.angle) * s.scale;
  const float p = kSprite / 2.0f;
  D3DMATRIX m = Identity();
  m._11 = c;
  m._12 = n;
  m._21 = -n;
  m._22 = c;
  m._33 = 0;
  m._41 = -p * c + p * n + p + s.x;
  m._42 = -p * n - p * c + p + s.y;
  return m;
}

void WriteQuad(IDirect3DVertexBuffer9* vb, float w, float h, float u0, float v0, float u1,
               float v1, D3DCOLOR color) {
  Vertex* q = nullptr;
  vb->Lock(0, 0, reinterpret_cast<void**>(&q), 0);
  q[0] = {0.5f, 0.5f, 1, color, u0, v0};
  q[1] = {0.5f, h - 0.5f, 1, color, u0, v1};
  q[2] = {w - 0.5f, 0.5f, 1, color, u1, v0};
  q[3] = {w - 0.5f, h - 0.5f, 1, color, u1, v1};
  vb->Unlock();
}

// Lets the window's messages through between frames, as a game loop does.
bool g_window = false;
void Pump() {
  if (!g_window) return;
  platform::win32::MSG msg{};
  while (platform::win32::PeekMessage(&msg, nullptr, 0, 0, platform::win32::PM_REMOVE)) {
    platform::win32::TranslateMessage(&msg);
    platform::win32::DispatchMessage(&msg);
  }
}

platform::win32::HWND OpenWindow(int width, int height) {
  using namespace platform::win32;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProc;
  wc.lpszClassName = "Bench Window";
  RegisterClassA(&wc);
  const DWORD style = WS_VISIBLE | WS_CAPTION;
  RECT r{0, 0, width, height};
  AdjustWindowRect(&r, style, FALSE);
  return CreateWindowA("Bench Window", "bench_device", style, 0, 0, r.right - r.left,
                       r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
}

struct Result {
  double fps, ns_per_pixel, submit_ms;  // submit: the draw calls, before Present rasterises
};

// Seconds per frame of Frame, run for Seconds (at least two frames, at most MaxFrames).
template <typename Frame>
double TimeFrames(Frame& frame, double seconds, int max_frames, int* count = nullptr) {
  const auto start = std::chrono::steady_clock::now();
  int frames = 0;
  double elapsed = 0;
  while (frames < max_frames && (elapsed < seconds || frames < 2)) {
    Pump();
    frame();
    ++frames;
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  if (count) *count = frames;
  return elapsed / frames;
}

Result Run(IDirect3DDevice9* dev, IDirect3DTexture9* atlas, IDirect3DVertexBuffer9* bg,
           std::vector<Sprite>& sprites, double seconds, int max_frames) {
  double pixels = 0;
  for (const Sprite& s : sprites) pixels += (kSprite * s.scale) * (kSprite * s.scale);
  const D3DMATRIX id = Identity();
  double submit = 0;
  auto frame = [&]() {
    const auto begin = std::chrono::steady_clock::now();
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1, 0);
    dev->BeginScene();
    dev->SetTexture(0, atlas);
    dev->SetFVF(0x142);
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    dev->SetTransform(D3DTS_WORLD, &id);
    dev->SetStreamSource(0, bg, 0, 24);
    dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    for (Sprite& s : sprites) {
      s.angle += 0.01f;
      WriteQuad(s.vb, kSprite, kSprite, (s.cell_x + 0.5f) / kAtlas, (s.cell_y + 0.5f) / kAtlas,
                (s.cell_x + kSprite - 0.5f) / kAtlas, (s.cell_y + kSprite - 0.5f) / kAtlas,
                s.color);
      const D3DMATRIX w = World(s);
      dev->SetTransform(D3DTS_WORLD, &w);
      dev->SetTexture(0, atlas);
      dev->SetRenderState(D3DRS_LIGHTING, FALSE);
      dev->SetFVF(0x142);
      dev->SetStreamSource(0, s.vb, 0, 24);
      dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
      dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
      dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    }
    dev->SetTransform(D3DTS_WORLD, &id);
    dev->EndScene();
    submit += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    dev->Present(nullptr, nullptr, nullptr, nullptr);
  };
  frame();  // warm-up
  submit = 0;
  int frames = 0;
  const double per_frame = TimeFrames(frame, seconds, max_frames, &frames);
  return {1.0 / per_frame, per_frame * 1e9 / pixels, submit * 1e3 / frames};
}

// The fixed cost of a frame as the runtime draws it: a clear to blue, a black rectangle twice
// the window's size and four border lines, then (with a background) a 512 x 512 opaque picture
// stretched over the window, bilinear and alpha blended as every picture is.
double FixedFrames(IDirect3DDevice9* dev, IDirect3DTexture9* picture, IDirect3DVertexBuffer9* rect,
                   IDirect3DVertexBuffer9* lines, IDirect3DVertexBuffer9* bg, double seconds,
                   int max_frames) {
  const D3DMATRIX id = Identity();
  auto frame = [&]() {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1, 0);
    dev->BeginScene();
    dev->SetTransform(D3DTS_WORLD, &id);
    dev->SetFVF(0x142);
    dev->SetTexture(0, nullptr);
    dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetStreamSource(0, rect, 0, 24);
    dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    dev->SetStreamSource(0, lines, 0, 24);
    dev->DrawPrimitive(D3DPT_LINELIST, 0, 4);
    if (bg) {
      dev->SetTexture(0, picture);
      dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
      dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
      dev->SetStreamSource(0, bg, 0, 24);
      dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    }
    dev->EndScene();
    dev->Present(nullptr, nullptr, nullptr, nullptr);
  };
  frame();  // warm-up
  return TimeFrames(frame, seconds, max_frames) * 1e3;
}

void RunFixed(IDirect3DDevice9* dev, double seconds, bool fast_only) {
  IDirect3DTexture9* picture = nullptr;
  dev->CreateTexture(512, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &picture, nullptr);
  D3DLOCKED_RECT lr;
  picture->LockRect(0, &lr, nullptr, 0);
  for (int y = 0; y < 512; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch);
    for (int x = 0; x < 512; ++x)
      row[x] = 0xFF000000u | (uint32_t(x / 2) << 16) | (uint32_t(y / 2) << 8) |
               uint32_t((x * y) & 0xFF);
  }
  picture->UnlockRect(0);
  IDirect3DVertexBuffer9 *rect = nullptr, *lines = nullptr, *bg = nullptr;
  dev->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &rect, nullptr);
  WriteQuad(rect, 2 * kWidth, 2 * kHeight, 0, 0, 0, 0, 0xFF000000);
  dev->CreateVertexBuffer(8 * 24, 0, 0x142, D3DPOOL_MANAGED, &lines, nullptr);
  Vertex* l = nullptr;
  lines->Lock(0, 0, reinterpret_cast<void**>(&l), 0);
  const float w = 2 * kWidth, h = 2 * kHeight;
  const float ends[8][2] = {{0, 0}, {0, h}, {0, 0}, {w, 0}, {w, 0}, {w, h}, {0, h}, {w, h}};
  for (int i = 0; i < 8; ++i) l[i] = {ends[i][0], ends[i][1], 1, 0xFF000000, 0, 0};
  lines->Unlock();
  dev->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &bg, nullptr);
  WriteQuad(bg, kWidth, kHeight, 0.5f / 512, 0.5f / 512, 1 - 0.5f / 512, 1 - 0.5f / 512,
            0xFFFFFFFF);
  std::printf("%-10s %-12s %12s\n", "path", "frame", "ms/frame");
  for (bool with_bg : {false, true}) {
    for (bool reference : {false, true}) {
      if (reference && fast_only) continue;
      SetForceReferencePath(reference);
      const double ms = FixedFrames(dev, picture, rect, lines, with_bg ? bg : nullptr,
                                    reference ? seconds / 4 : seconds / 2, reference ? 10 : 100000);
      std::printf("%-10s %-12s %12.3f\n", reference ? "reference" : "fast",
                  with_bg ? "background" : "empty", ms);
      std::fflush(stdout);
    }
  }
  SetForceReferencePath(false);
  bg->Release();
  lines->Release();
  rect->Release();
  picture->Release();
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  bool fast_only = false;
  int window_w = kWidth, window_h = kHeight;
  for (int i = 2; i < argc; ++i) {
    fast_only = fast_only || std::strcmp(argv[i], "fast") == 0;
    if (std::strncmp(argv[i], "window", 6) == 0) {
      g_window = true;
      if (std::sscanf(argv[i], "window=%dx%d", &window_w, &window_h) != 2 || window_w < 1 || window_h < 1)
        window_w = kWidth, window_h = kHeight;
    }
  }
  platform::win32::HWND window = nullptr;
  if (g_window && !(window = OpenWindow(window_w, window_h))) {
    std::fprintf(stderr, "bench_device: no window\n");
    return 1;
  }
  if (const char* t = std::getenv("QUORREL_RASTER_THREADS")) SetRasterThreads(std::atoi(t));
  if (const char* w = std::getenv("QUORREL_WIDE_SPANS")) SetWideSpans(std::atoi(w) != 0);
  IDirect3D9* d3d = Direct3DCreate9(0x8000001F);
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = kWidth;
  pp.BackBufferHeight = kHeight;
  pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.Windowed = TRUE;
  pp.hDeviceWindow = window;
  IDirect3DDevice9* dev = nullptr;
  if (!d3d || d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0x20, &pp, &dev) != D3D_OK) {
    std::fprintf(stderr, "bench_device: CreateDevice failed\n");
    return 1;
  }
  dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  dev->SetRenderState(D3DRS_LIGHTING, FALSE);
  D3DMATRIX proj{};
  proj._11 = 2.0f / kWidth;
  proj._22 = -2.0f / kHeight;
  proj._33 = 0.5f;
  proj._41 = -1;
  proj._42 = 1;
  proj._43 = 0.5f;
  proj._44 = 1;
  dev->SetTransform(D3DTS_PROJECTION, &proj);

  IDirect3DTexture9* atlas = nullptr;
  dev->CreateTexture(kAtlas, kAtlas, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &atlas, nullptr);
  D3DLOCKED_RECT lr;
  atlas->LockRect(0, &lr, nullptr, 0);
  for (int y = 0; y < kAtlas; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch);
    for (int x = 0; x < kAtlas; ++x) {
      // Round blobs with soft edges in every 64 x 64 cell.
      const float dx = (x % kSprite) - 31.5f, dy = (y % kSprite) - 31.5f;
      const float d = std::sqrt(dx * dx + dy * dy);
      const uint32_t a = d < 26 ? 255 : d < 32 ? uint32_t(255 * (32 - d) / 6) : 0;
      row[x] = (a << 24) | (uint32_t(x / 4) << 16) | (uint32_t(y / 4) << 8) | uint32_t((x ^ y) & 0xFF);
    }
  }
  atlas->UnlockRect(0);
  IDirect3DVertexBuffer9* bg = nullptr;
  dev->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &bg, nullptr);
  WriteQuad(bg, kWidth, kHeight, 0.5f / kAtlas, 0.5f / kAtlas, 1 - 0.5f / kAtlas,
            1 - 0.5f / kAtlas, 0xFFFFFFFF);

  std::printf("software device, %d x %d, %u hardware threads, ", kWidth, kHeight,
              std::thread::hardware_concurrency());
  if (window)
    std::printf("in a window of %d x %d\n", window_w, window_h);
  else
    std::printf("headless\n");
  RunFixed(dev, seconds, fast_only);
  std::printf("%-10s %8s %12s %14s %12s\n", "path", "sprites", "frames/s", "ns/sprite px",
              "submit ms");
  for (int n : {100, 1000, 10000}) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> uni(0, 1);
    std::vector<Sprite> sprites(n);
    for (Sprite& s : sprites) {
      s.x = uni(rng) * (kWidth - kSprite);
      s.y = uni(rng) * (kHeight - kSprite);
      s.angle = uni(rng) * 6.2831853f;
      s.scale = 1 + 0.5f * uni(rng);
      const uint32_t alpha = uint32_t(128 + 127 * uni(rng));
      s.color = (alpha << 24) | (rng() & 0x00FFFFFF) | 0x00404040;
      s.cell_x = (rng() % (kAtlas / kSprite)) * kSprite;
      s.cell_y = (rng() % (kAtlas / kSprite)) * kSprite;
      dev->CreateVertexBuffer(96, 0, 0x142, D3DPOOL_MANAGED, &s.vb, nullptr);
    }
    for (bool reference : {false, true}) {
      if (reference && fast_only) continue;
      SetForceReferencePath(reference);
      const Result r = Run(dev, atlas, bg, sprites, reference ? seconds / 2 : seconds,
                           reference ? 20 : 100000);
      std::printf("%-10s %8d %12.1f %14.2f %12.2f\n", reference ? "reference" : "fast", n, r.fps,
                  r.ns_per_pixel, r.submit_ms);
      std::fflush(stdout);
    }
    SetForceReferencePath(false);
    for (Sprite& s : sprites) s.vb->Release();
  }
  bg->Release();
  atlas->Release();
  dev->Release();
  d3d->Release();
  return 0;
}
