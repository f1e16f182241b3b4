// A window program over the software device, drawing the way the surface engine does: a 320 x 240
// back buffer presented into a 640 x 480 client area (so the present scales), a black
// background, rotating and pulsing sprites from a generated atlas with tints, alpha and additive
// blending, a tint silhouette, a clipped sprite, a filled rectangle, a line strip and a row of
// coverage "glyphs".
//
//   d3d9_demo [frames]   runs that many frames (default: until the window is closed)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_internal.h"
#include "platform/win32/win32.h"

using namespace platform::win32;
namespace d3d = platform::d3d9;

namespace {

constexpr int kBackW = 320, kBackH = 240;
constexpr DWORD kStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

struct Vertex {
  float x, y, z;
  d3d::D3DCOLOR color;
  float u, v;
};

d3d::D3DMATRIX Identity() {
  d3d::D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1;
  return m;
}

d3d::D3DMATRIX Place(float x, float y, float angle, float scale, float pivot) {
  const float c = std::cos(angle) * scale, s = std::sin(angle) * scale;
  d3d::D3DMATRIX m = Identity();
  m._11 = c;
  m._12 = s;
  m._21 = -s;
  m._22 = c;
  m._33 = 0;
  m._41 = -pivot * c + pivot * s + pivot + x;
  m._42 = -pivot * s - pivot * c + pivot + y;
  return m;
}

LRESULT Procedure(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_CLOSE) {
    DestroyWindow(h);
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProc(h, msg, w, l);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : -1;
  WNDCLASSA wc{};
  wc.lpfnWndProc = Procedure;
  wc.lpszClassName = "D3D Window";
  RegisterClassA(&wc);
  RECT r{0, 0, 640, 480};
  AdjustWindowRect(&r, kStyle, FALSE);
  HWND window = CreateWindowA("D3D Window", "Quorrel device demo", kStyle, 40, 40,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr,
                              nullptr);
  if (!window) {
    std::fprintf(stderr, "d3d9_demo: no window\n");
    return 1;
  }
  d3d::IDirect3D9* d3d9 = d3d::Direct3DCreate9(0x8000001F);
  d3d::D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = kBackW;
  pp.BackBufferHeight = kBackH;
  pp.BackBufferFormat = d3d::D3DFMT_X8R8G8B8;
  pp.BackBufferCount = 1;
  pp.SwapEffect = d3d::D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = window;
  pp.Windowed = TRUE;
  pp.Flags = d3d::D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  d3d::IDirect3DDevice9* dev = nullptr;
  if (d3d9->CreateDevice(0, d3d::D3DDEVTYPE_HAL, window, 0x20, &pp, &dev) != d3d::D3D_OK) {
    std::fprintf(stderr, "d3d9_demo: CreateDevice failed\n");
    return 1;
  }
  dev->SetRenderState(d3d::D3DRS_CULLMODE, d3d::D3DCULL_NONE);
  dev->SetRenderState(d3d::D3DRS_LIGHTING, FALSE);
  d3d::D3DMATRIX proj{};
  proj._11 = 2.0f / kBackW;
  proj._22 = -2.0f / kBackH;
  proj._33 = 0.5f;
  proj._41 = -1;
  proj._42 = 1;
  proj._43 = 0.5f;
  proj._44 = 1;
  dev->SetTransform(d3d::D3DTS_PROJECTION, &proj);
  dev->SetFVF(0x142);

  // Atlas of 32 x 32 cells: a ring, a diamond, a disc with soft edge, a checker.
  d3d::IDirect3DTexture9* atlas = nullptr;
  dev->CreateTexture(64, 64, 1, 0, d3d::D3DFMT_A8R8G8B8, d3d::D3DPOOL_MANAGED, &atlas, nullptr);
  d3d::D3DLOCKED_RECT lr;
  atlas->LockRect(0, &lr, nullptr, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const int cell = (y / 32) * 2 + x / 32;
      const float dx = (x % 32) - 15.5f, dy = (y % 32) - 15.5f, d = std::sqrt(dx * dx + dy * dy);
      uint32_t a = 0, rgb = 0;
      if (cell == 0) a = (d > 9 && d < 15) ? 255 : 0, rgb = 0xFFD040;
      if (cell == 1) a = (std::fabs(dx) + std::fabs(dy) < 15) ? 255 : 0, rgb = 0x40C0FF;
      if (cell == 2) a = d < 10 ? 255 : d < 16 ? uint32_t(255 * (16 - d) / 6) : 0, rgb = 0xFF6080;
      if (cell == 3) a = 255, rgb = ((x / 4 + y / 4) & 1) ? 0xFFFFFF : 0x404040;
      static_cast<uint32_t*>(lr.pBits)[y * (lr.Pitch / 4) + x] = (a << 24) | rgb;
    }
  atlas->UnlockRect(0);

  d3d::IDirect3DVertexBuffer9* quad = nullptr;
  dev->CreateVertexBuffer(96, 0, 0x142, d3d::D3DPOOL_MANAGED, &quad, nullptr);
  d3d::IDirect3DVertexBuffer9* shape = nullptr;
  dev->CreateVertexBuffer(96, 0, 0x142, d3d::D3DPOOL_MANAGED, &shape, nullptr);
  const auto write = [](d3d::IDirect3DVertexBuffer9* vb, const std::vector<Vertex>& v) {
    void* p = nullptr;
    vb->Lock(0, 0, &p, 0);
    std::memcpy(p, v.data(), v.size() * sizeof(Vertex));
    vb->Unlock();
  };
  const auto sprite = [&](int cell, float x, float y, float angle, float scale, uint32_t color) {
    const float l = float(cell % 2 * 32), t = float(cell / 2 * 32);
    write(quad, {{0.5f, 0.5f, 1, color, (l + 0.5f) / 64, (t + 0.5f) / 64},
                 {0.5f, 31.5f, 1, color, (l + 0.5f) / 64, (t + 31.5f) / 64},
                 {31.5f, 0.5f, 1, color, (l + 31.5f) / 64, (t + 0.5f) / 64},
                 {31.5f, 31.5f, 1, color, (l + 31.5f) / 64, (t + 31.5f) / 64}});
    const d3d::D3DMATRIX w = Place(x, y, angle, scale, 16);
    dev->SetTransform(d3d::D3DTS_WORLD, &w);
    dev->SetTexture(0, atlas);
    dev->SetFVF(0x142);
    dev->SetStreamSource(0, quad, 0, 24);
    dev->DrawPrimitive(d3d::D3DPT_TRIANGLESTRIP, 0, 2);
  };
  const auto modulate = [&]() {
    dev->SetTextureStageState(0, d3d::D3DTSS_COLORARG1, d3d::D3DTA_TEXTURE);
    dev->SetTextureStageState(0, d3d::D3DTSS_COLORARG2, d3d::D3DTA_DIFFUSE);
    dev->SetTextureStageState(0, d3d::D3DTSS_COLOROP, d3d::D3DTOP_MODULATE);
    dev->SetTextureStageState(0, d3d::D3DTSS_ALPHAOP, d3d::D3DTOP_MODULATE);
  };
  const d3d::D3DMATRIX id = Identity();
  uint8_t glyph[10 * 14];
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 10; ++x) glyph[y * 10 + x] = (x == 1 || x == 8 || y == 0 || y == 13 || x + y == 12) ? 255 : (x + y) % 5 == 0 ? 96 : 0;

  MSG msg{};
  for (int frame = 0; frames < 0 || frame < frames; ++frame) {
    bool quit = false;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) quit = true;
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    }
    if (quit || !IsWindow(window)) break;
    const float t = frame * 0.03f;
    dev->Clear(0, nullptr, d3d::D3DCLEAR_TARGET | d3d::D3DCLEAR_ZBUFFER, 0xFF0000FF, 1, 0);
    dev->BeginScene();
    dev->SetTransform(d3d::D3DTS_WORLD, &id);
    dev->SetTexture(0, nullptr);
    modulate();
    dev->SetRenderState(d3d::D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(d3d::D3DRS_SRCBLEND, d3d::D3DBLEND_SRCALPHA);
    dev->SetRenderState(d3d::D3DRS_DESTBLEND, d3d::D3DBLEND_INVSRCALPHA);
    write(shape, {{0, 0, 1, 0xFF000000, 0, 0}, {640, 0, 1, 0xFF000000, 0, 0},
                  {640, 480, 1, 0xFF102040, 0, 0}, {0, 480, 1, 0xFF102040, 0, 0}});
    dev->SetStreamSource(0, shape, 0, 24);
    dev->DrawPrimitive(d3d::D3DPT_TRIANGLEFAN, 0, 2);
    dev->SetSamplerState(0, d3d::D3DSAMP_MAGFILTER, d3d::D3DTEXF_LINEAR);
    dev->SetSamplerState(0, d3d::D3DSAMP_MINFILTER, d3d::D3DTEXF_LINEAR);
    for (int i = 0; i < 12; ++i) {
      const float a = t + i * 0.5236f;
      sprite(i % 3, 144 + 90 * std::cos(a), 104 + 70 * std::sin(a), a * 2, 1 + 0.4f * std::sin(t * 3 + i),
             0xC0000000u | (0x00FFFFFF - i * 0x101010));
    }
    dev->SetRenderState(d3d::D3DRS_DESTBLEND, d3d::D3DBLEND_ONE);  // additive glow
    sprite(2, 144, 104, 0, 2.5f + 0.5f * std::sin(t), 0xFF80FF80);
    dev->SetRenderState(d3d::D3DRS_DESTBLEND, d3d::D3DBLEND_INVSRCALPHA);
    dev->SetRenderState(d3d::D3DRS_TEXTUREFACTOR, 0x00FF2020);  // the tint silhouette
    dev->SetTextureStageState(0, d3d::D3DTSS_COLOROP, d3d::D3DTOP_ADD);
    dev->SetTextureStageState(0, d3d::D3DTSS_COLORARG1, d3d::D3DTA_TEMP);
    dev->SetTextureStageState(0, d3d::D3DTSS_COLORARG2, d3d::D3DTA_TFACTOR);
    sprite(1, 20, 190, t, 1, 0xFFFFFFFF);
    modulate();
    dev->SetRenderState(d3d::D3DRS_SCISSORTESTENABLE, TRUE);  // a clipped checker
    const RECT clip{250, 170, 300, 220};
    dev->SetScissorRect(&clip);
    sprite(3, 255, 175, t * 0.5f, 2, 0xFFFFFFFF);
    dev->SetRenderState(d3d::D3DRS_SCISSORTESTENABLE, FALSE);
    dev->SetTransform(d3d::D3DTS_WORLD, &id);
    dev->SetTexture(0, nullptr);
    write(shape, {{70, 200, 1, 0x80FFFFFF, 0, 0}, {230, 200, 1, 0x80FFFFFF, 0, 0},
                  {230, 230, 1, 0x80FF8000, 0, 0}, {70, 230, 1, 0x80FF8000, 0, 0}});
    dev->SetStreamSource(0, shape, 0, 24);
    dev->DrawPrimitive(d3d::D3DPT_TRIANGLEFAN, 0, 2);
    write(shape, {{5, 5, 1, 0xFFFFFF00, 0, 0}, {315, 5, 1, 0xFF00FFFF, 0, 0},
                  {315, 235, 1, 0xFFFF00FF, 0, 0}, {5, 235, 1, 0xFFFFFFFF, 0, 0}});
    dev->DrawPrimitive(d3d::D3DPT_LINESTRIP, 0, 3);
    for (int k = 0; k < 12; ++k) d3d::BlendCoverage(dev, 80 + 12 * k, 208, 10, 14, glyph, 10, 0xFFFFFFFF);
    dev->EndScene();
    dev->Present(nullptr, nullptr, nullptr, nullptr);
  }
  quad->Release();
  shape->Release();
  atlas->Release();
  dev->Release();
  d3d9->Release();
  return 0;
}
