// A frame as the runtime draws it (a clear, a black rectangle larger than the target, border
// lines, then a background stretched over the target and pictures on top), fast paths against
// the reference. The workers leave out what a later opaque draw overwrites, and axis-aligned
// bilinear rows take their own kernel: both must give the reference's picture exactly, also
// where the background is not quite opaque, not quite covering, mirrored, wrapped or minified.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fixture.h"

namespace d3d9_test {
namespace {

constexpr int kW = 203, kH = 150;

struct Background {
  const char* name;
  int tex_w, tex_h;
  D3DFORMAT format;
  uint32_t alpha_hole;  // a texel's alpha, or 0x100 for none
  bool clear_right;     // the right half of the texture has alpha (an atlas)
  D3DCOLOR diffuse;
  bool blend;
  bool linear;
  float x0, y0, x1, y1;  // position
  float u0, v0, u1, v1;  // texture coordinates
  bool scissor;
};

const Background kCases[] = {
    // What games draw: a picture's half-texel insets, stretched about 2.5 times.
    {"stretched", 64, 64, D3DFMT_A8R8G8B8, 0x100, false, 0xFFFFFFFF, true, true, 1.25f, 1.25f,
     kW - 0.75f, kH - 0.75f, 0.5f / 64, 0.5f / 64, 63.5f / 64, 63.5f / 64, false},
    {"covering", 64, 32, D3DFMT_A8R8G8B8, 0x100, false, 0xFFFFFFFF, true, true, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0, 0, 1, 1, false},
    {"alpha ignored", 32, 32, D3DFMT_X8R8G8B8, 0x100, false, 0xFFFFFFFF, true, true, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0, 0, 1, 1, false},
    {"one texel 254", 64, 64, D3DFMT_A8R8G8B8, 0xFE, false, 0xFFFFFFFF, true, true, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0, 0, 1, 1, false},
    {"tint alpha 254", 64, 64, D3DFMT_A8R8G8B8, 0x100, false, 0xFEFFFFFF, true, true, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0, 0, 1, 1, false},
    {"blend off", 64, 64, D3DFMT_A8R8G8B8, 0x10, false, 0xFF80C0FF, false, true, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0, 0, 1, 1, false},
    {"mirrored and wrapped", 64, 16, D3DFMT_A8R8G8B8, 0x100, false, 0xFFFFFFFF, true, true, -0.5f,
     -0.5f, kW - 0.5f, kH - 0.5f, 1.7f, -0.2f, -0.3f, 1.9f, false},
    {"minified", 256, 64, D3DFMT_A8R8G8B8, 0x100, false, 0xFFFFFFFF, true, true, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0.1f, 0, 1.6f, 1, false},
    {"point", 64, 64, D3DFMT_A8R8G8B8, 0x100, false, 0xFFFFFFFF, true, false, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0, 0, 1, 1, false},
    {"scissored", 64, 64, D3DFMT_A8R8G8B8, 0x100, false, 0xFFFFFFFF, true, true, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0, 0, 1, 1, true},
    // Half an atlas whose other half has alpha: the right taps at the edge weigh nothing...
    {"opaque part of an atlas", 64, 32, D3DFMT_A8R8G8B8, 0x100, true, 0xFFFFFFFF, true, true,
     1.25f, 1.25f, kW - 0.75f, kH - 0.75f, 0.5f / 64, 0.5f / 32, 31.5f / 64, 31.5f / 32, false},
    // ...until they reach a little into it.
    {"atlas edge", 64, 32, D3DFMT_A8R8G8B8, 0x100, true, 0xFFFFFFFF, true, true, -0.5f, -0.5f,
     kW - 0.5f, kH - 0.5f, 0.5f / 64, 0.5f / 32, 31.9f / 64, 31.5f / 32, false},
    {"narrow", 64, 64, D3DFMT_A8R8G8B8, 0x100, false, 0xFFFFFFFF, true, true, 30.3f, 10.6f, 110.2f,
     140.1f, 0, 0, 1, 1, false},
};

class Overdraw : public DeviceTest {
 protected:
  void TearDown() override {
    DeviceTest::TearDown();
    SetForceReferencePath(false);
    SetRasterThreads(0);
  }

  void Quad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
            D3DCOLOR color) {
    Draw(D3DPT_TRIANGLESTRIP,
         {{x0, y0, 1, color, u0, v0},
          {x0, y1, 1, color, u0, v1},
          {x1, y0, 1, color, u1, v0},
          {x1, y1, 1, color, u1, v1}},
         2);
  }

  CapturedFrame Scene(const Background& b, bool reference) {
    SetForceReferencePath(reference);
    Open(kW, kH);
    const uint32_t hole = b.alpha_hole;
    const bool right = b.clear_right;
    const int half = b.tex_w / 2;
    IDirect3DTexture9* bg = MakeTexture(b.tex_w, b.tex_h, [hole, right, half](int x, int y) {
      const uint32_t a = x == 5 && y == 3 && hole <= 0xFF ? hole : right && x >= half ? 0x30 : 0xFF;
      return a << 24 | uint32_t(x * 13 + y) << 16 | uint32_t(y * 29) << 8 | uint32_t(x ^ y);
    }, b.format);
    IDirect3DTexture9* sprite = MakeTexture(16, 16, [](int x, int y) {
      return uint32_t((x * 16 + y) & 0xFF) << 24 | 0x00406080u | uint32_t(x * y);
    });
    dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1, 0);
    Modulate();
    Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    dev_->SetTexture(0, nullptr);
    const float w2 = 2.0f * kW, h2 = 2.0f * kH;
    // Black in the runtime; a colour here, so that what shows through is told apart from the
    // initial black.
    Quad(0.5f, 0.5f, w2 - 0.5f, h2 - 0.5f, 0, 0, 0, 0, 0xFF3060A0);
    Draw(D3DPT_LINELIST,
         {{0, 0, 1, 0xFF000000, 0, 0},
          {0, h2, 1, 0xFF000000, 0, 0},
          {0, 0, 1, 0xFF000000, 0, 0},
          {w2, 0, 1, 0xFF000000, 0, 0},
          {w2, 0, 1, 0xFF000000, 0, 0},
          {w2, h2, 1, 0xFF000000, 0, 0},
          {0, h2, 1, 0xFF000000, 0, 0},
          {w2, h2, 1, 0xFF000000, 0, 0}},
         4);
    if (b.scissor) {
      const RECT clip{17, 9, 190, 131};
      dev_->SetScissorRect(&clip);
      dev_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    }
    if (!b.blend) dev_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    Filter(b.linear ? D3DTEXF_LINEAR : D3DTEXF_POINT);
    dev_->SetTexture(0, bg);
    Quad(b.x0, b.y0, b.x1, b.y1, b.u0, b.v0, b.u1, b.v1, b.diffuse);
    dev_->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    // Pictures on top, and a second clear of a part, overwritten in turn by an opaque fill.
    Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    Filter(D3DTEXF_LINEAR);
    std::mt19937 rng(5);
    auto uni = [&](float lo, float hi) {
      return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    for (int i = 0; i < 40; ++i) {
      const D3DMATRIX world =
          Mul(Mul(Mul(Translation(-8, -8), RotationZ(i % 3 ? uni(-3, 3) : 0)),
                  Scaling(uni(0.8f, 3), uni(0.8f, 3))),
              Translation(uni(0, kW), uni(0, kH)));
      Sprite(sprite, 16, 16, world, uint32_t(uni(100, 255)) << 24 | 0xFFFFFF);
    }
    const D3DRECT part{40, 33, 160, 70};
    dev_->Clear(1, &part, D3DCLEAR_TARGET, 0xFF202020, 1, 0);
    dev_->SetTexture(0, nullptr);
    Quad(39.5f, 32.5f, 160.5f, 70.5f, 0, 0, 0, 0, 0xFFC08040);
    CapturedFrame f = Frame();
    for (auto* t : textures_) t->Release();
    textures_.clear();
    for (auto* v : buffers_) v->Release();
    buffers_.clear();
    SafeRelease(dev_);
    SafeRelease(d3d_);
    return f;
  }
};

TEST_F(Overdraw, FramesMatchReference) {
  for (const Background& b : kCases) {
    const CapturedFrame ref = Scene(b, true);
    for (int threads : {1, 3, 8}) {
      SetRasterThreads(threads);
      const CapturedFrame fast = Scene(b, false);
      ASSERT_EQ(fast.pixels.size(), ref.pixels.size());
      int bad = 0;
      for (size_t i = 0; i < ref.pixels.size(); ++i) bad += ref.pixels[i] != fast.pixels[i];
      EXPECT_EQ(bad, 0) << b.name << ", " << threads << " threads";
    }
  }
}

}  // namespace
}  // namespace d3d9_test
