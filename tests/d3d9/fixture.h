// A small device the way the surface engine sets it up: orthographic projection of the target
// size (y down, z from -1 to 1), no culling, no lighting, vertices in the system's 24-byte
// layout (FVF 0x142).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace d3d9_test {

using namespace platform::d3d9;

struct Vertex {
  float x, y, z;
  D3DCOLOR color;
  float u, v;
};
static_assert(sizeof(Vertex) == 24);

inline D3DMATRIX Identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1;
  return m;
}
inline D3DMATRIX Translation(float x, float y) {
  D3DMATRIX m = Identity();
  m._41 = x;
  m._42 = y;
  return m;
}
inline D3DMATRIX Scaling(float x, float y) {
  D3DMATRIX m = Identity();
  m._11 = x;
  m._22 = y;
  m._33 = 0;
  return m;
}
inline D3DMATRIX RotationZ(float angle) {
  D3DMATRIX m = Identity();
  const float c = std::cos(angle), s = std::sin(angle);
  m._11 = c;
  m._12 = s;
  m._21 = -s;
  m._22 = c;
  return m;
}
inline D3DMATRIX Mul(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
  return r;
}
// Left-handed orthographic off-centre projection, left 0, right w, bottom h, top 0, z -1..1.
inline D3DMATRIX Ortho(float w, float h) {
  D3DMATRIX m{};
  m._11 = 2 / w;
  m._22 = 2 / (0 - h);
  m._33 = 1 / (1.0f - -1.0f);
  m._41 = (0 + w) / (0 - w);
  m._42 = (0 + h) / (h - 0);
  m._43 = -1.0f / (-1.0f - 1.0f);
  m._44 = 1;
  return m;
}

class DeviceTest : public ::testing::Test {
 protected:
  void Open(int w, int h) {
    d3d_ = Direct3DCreate9(0x8000001F);
    ASSERT_NE(d3d_, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = w;
    pp.BackBufferHeight = h;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x20, &pp, &dev_), D3D_OK);
    dev_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev_->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    const D3DMATRIX id = Identity(), proj = Ortho(float(w), float(h));
    dev_->SetTransform(D3DTS_WORLD, &id);
    dev_->SetTransform(D3DTS_VIEW, &id);
    dev_->SetTransform(D3DTS_PROJECTION, &proj);
    dev_->SetFVF(0x142);
  }
  void TearDown() override {
    for (auto* t : textures_) t->Release();
    for (auto* b : buffers_) b->Release();
    SafeRelease(dev_);
    SafeRelease(d3d_);
  }

  IDirect3DTexture9* MakeTexture(int w, int h, const std::function<uint32_t(int, int)>& texel,
                                 D3DFORMAT format = D3DFMT_A8R8G8B8) {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(dev_->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* row = static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch;
        if (format == D3DFMT_A4R4G4B4)
          reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(texel(x, y));
        else
          reinterpret_cast<uint32_t*>(row)[x] = texel(x, y);
      }
    t->UnlockRect(0);
    textures_.push_back(t);
    return t;
  }

  void Draw(D3DPRIMITIVETYPE type, const std::vector<Vertex>& v, UINT prims) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev_->CreateVertexBuffer(UINT(v.size() * 24), 0, 0x142, D3DPOOL_MANAGED, &vb,
                                       nullptr),
              D3D_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, v.data(), v.size() * 24);
    vb->Unlock();
    dev_->SetStreamSource(0, vb, 0, 24);
    EXPECT_EQ(dev_->DrawPrimitive(type, 0, prims), D3D_OK);
    buffers_.push_back(vb);
  }

  // The surface engine's quad for a whole w x h texture: half-texel insets on positions and
  // texture coordinates, drawn with the given world transform.
  void Sprite(IDirect3DTexture9* tex, int w, int h, const D3DMATRIX& world,
              D3DCOLOR diffuse = 0xFFFFFFFF) {
    const float uL = 0.5f / w, vT = 0.5f / h, uR = (w - 0.5f) / w, vB = (h - 0.5f) / h;
    const std::vector<Vertex> v = {{0.5f, 0.5f, 1, diffuse, uL, vT},
                                   {0.5f, h - 0.5f, 1, diffuse, uL, vB},
                                   {w - 0.5f, 0.5f, 1, diffuse, uR, vT},
                                   {w - 0.5f, h - 0.5f, 1, diffuse, uR, vB}};
    dev_->SetTransform(D3DTS_WORLD, &world);
    dev_->SetTexture(0, tex);
    Draw(D3DPT_TRIANGLESTRIP, v, 2);
    const D3DMATRIX id = Identity();
    dev_->SetTransform(D3DTS_WORLD, &id);
  }

  void Filter(DWORD f) {
    dev_->SetSamplerState(0, D3DSAMP_MAGFILTER, f);
    dev_->SetSamplerState(0, D3DSAMP_MINFILTER, f);
  }
  void Blend(DWORD src, DWORD dst) {
    dev_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev_->SetRenderState(D3DRS_SRCBLEND, src);
    dev_->SetRenderState(D3DRS_DESTBLEND, dst);
  }
  void Modulate() {
    dev_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    dev_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    dev_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    dev_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  }

  CapturedFrame Frame() { return ReadBackBuffer(dev_); }
  uint32_t Pixel(const CapturedFrame& f, int x, int y) {
    return f.pixels[static_cast<size_t>(y) * f.width + x];
  }

  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* dev_ = nullptr;
  std::vector<IDirect3DTexture9*> textures_;
  std::vector<IDirect3DVertexBuffer9*> buffers_;
};

}  // namespace d3d9_test
