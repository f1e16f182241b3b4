// The fast paths against the reference rasteriser on a busy scene: sprites at random positions,
// angles and scales over every state combination the kernels specialise, plus the fallbacks
// (non-power-of-two texture, other blend factors), lines, fills and glyph coverage.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "fixture.h"
#include "platform/d3d9/d3d9_internal.h"

namespace d3d9_test {
namespace {

class Paths : public DeviceTest {
 protected:
  void TearDown() override {
    DeviceTest::TearDown();
    SetForceReferencePath(false);
    SetRasterThreads(0);
    SetWideSpans(true);
  }

  CapturedFrame Scene(bool reference) {
    SetForceReferencePath(reference);
    Open(173, 131);
    std::mt19937 rng(1234);
    auto uni = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto texel = [](int x, int y) {
      return (uint32_t((x * 37 + y * 11) & 0xFF) << 24) | (uint32_t(x * 29) << 16) |
             (uint32_t(y * 53) << 8) | uint32_t((x ^ y) * 17);
    };
    IDirect3DTexture9* textures[] = {
        MakeTexture(32, 16, texel), MakeTexture(16, 16, texel, D3DFMT_X8R8G8B8),
        MakeTexture(24, 10, texel),  // not a power of two: the generic span loop
        MakeTexture(8, 8, [](int x, int y) { return 0xF000u | (x << 8) | (y << 5) | 0x7u; },
                    D3DFMT_A4R4G4B4),
        // A solid half and an empty half, each with one odd column in eight: groups of eight
        // pixels that are all opaque, all transparent, or all but one.
        MakeTexture(32, 32, [](int x, int y) {
          const uint32_t a = x < 16 ? (x % 8 == 5 ? 0x80 : 0xFF) : (x % 8 == 3 ? 0x40 : 0);
          return a << 24 | uint32_t(x * 8) << 8 | uint32_t(y * 8);
        })};
    const int sizes[][2] = {{32, 16}, {16, 16}, {24, 10}, {8, 8}, {32, 32}};
    dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1, 0);
    // Enough draws that batches go to the workers while later ones are still being recorded.
    for (int i = 0; i < 1600; ++i) {
      const int t = pick(5);
      const int mode = pick(6);
      Modulate();
      dev_->SetRenderState(D3DRS_ALPHABLENDENABLE, pick(4) != 0);
      dev_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      const DWORD dests[] = {D3DBLEND_INVSRCALPHA, D3DBLEND_ONE, D3DBLEND_SRCCOLOR};
      dev_->SetRenderState(D3DRS_DESTBLEND, dests[pick(3)]);
      if (mode == 0) {  // the tint silhouette
        dev_->SetRenderState(D3DRS_TEXTUREFACTOR, rng() & 0x00FFFFFF);
        dev_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
        dev_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEMP);
        dev_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
      } else if (mode == 1) {
        dev_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
      } else if (mode == 2) {
        dev_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);  // generic only
      }
      Filter(pick(2) ? D3DTEXF_LINEAR : D3DTEXF_POINT);
      const float scale = uni(0.4f, 2.5f);
      const int w = sizes[t][0], h = sizes[t][1];
      const D3DMATRIX world =
          Mul(Mul(Mul(Mul(Translation(-w / 2.0f, -h / 2.0f), RotationZ(uni(-7, 7) * (pick(3) != 0))),
                      Scaling(scale, scale)),
                  Translation(w / 2.0f, h / 2.0f)),
              Translation(uni(-20, 170), uni(-20, 130)));
      const D3DCOLOR tint = (pick(2) ? 0xFF000000u : uint32_t(uni(0, 255)) << 24) | (rng() & 0x00FFFFFF);
      if (pick(3) == 0) {
        // Per-vertex colours.
        dev_->SetTransform(D3DTS_WORLD, &world);
        dev_->SetTexture(0, textures[t]);
        Draw(D3DPT_TRIANGLESTRIP,
             {{0.5f, 0.5f, 1, tint, 0.02f, 0.03f},
              {0.5f, h - 0.5f, 1, uint32_t(rng()), 0.02f, 1.9f},
              {w - 0.5f, 0.5f, 1, uint32_t(rng()), 1.7f, 0.03f},
              {w - 0.5f, h - 0.5f, 1, tint, 1.7f, 1.9f}},
             2);
        const D3DMATRIX id = Identity();
        dev_->SetTransform(D3DTS_WORLD, &id);
      } else {
        Sprite(textures[t], w, h, world, tint);
      }
      if (i % 200 == 0) {
        dev_->SetTexture(0, nullptr);
        Modulate();
        Draw(D3DPT_LINESTRIP, {{uni(0, 173), uni(0, 131), 1, 0xFFFFFF00, 0, 0},
                               {uni(0, 173), uni(0, 131), 1, 0xFF00FFFF, 0, 0},
                               {uni(0, 173), uni(0, 131), 1, 0x80FF00FF, 0, 0}},
             2);
        const uint8_t mask[12] = {0, 64, 128, 255, 255, 128, 64, 0, 30, 60, 90, 120};
        BlendCoverage(dev_, pick(170), pick(128), 4, 3, mask, 4, 0xC0FFFFFF);
        const D3DRECT r{pick(100), pick(100), 100 + pick(70), 100 + pick(30)};
        dev_->Clear(1, &r, D3DCLEAR_TARGET, 0xFF102030, 1, 0);
      }
      if (i == 150 || i == 1300) {
        // Changing a texture mid-frame: earlier draws keep what they read.
        D3DLOCKED_RECT lr;
        textures[0]->LockRect(0, &lr, nullptr, 0);
        static_cast<uint32_t*>(lr.pBits)[0] = 0xFFFFFFFFu;
        textures[0]->UnlockRect(0);
        dev_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
        const RECT clip{20, 15, 140, 100};
        dev_->SetScissorRect(&clip);
      }
    }
    CapturedFrame f = Frame();
    for (auto* t : textures_) t->Release();
    textures_.clear();
    for (auto* b : buffers_) b->Release();
    buffers_.clear();
    SafeRelease(dev_);
    SafeRelease(d3d_);
    return f;
  }
};

TEST_F(Paths, FastPathsMatchReferencePixelForPixel) {
  const CapturedFrame ref = Scene(true);
  // Sixteen-pixel spans where the processor has them, and the eight-pixel ones it falls back to.
  for (bool wide : {true, false}) {
    SetWideSpans(wide);
    for (int threads : {1, 3, 8}) {
      SetRasterThreads(threads);
      const CapturedFrame fast = Scene(false);
      ASSERT_EQ(fast.pixels.size(), ref.pixels.size());
      int bad = 0;
      for (size_t i = 0; i < ref.pixels.size(); ++i) bad += ref.pixels[i] != fast.pixels[i];
      EXPECT_EQ(bad, 0) << threads << " threads, wide spans " << wide;
    }
  }
}

// Groups of eight pixels that are all opaque, all transparent or all but one take shortcuts in
// the blend kernels; unscaled sprites at every sub-group offset reach each of them.
TEST_F(Paths, BlendShortcutsMatchReference) {
  CapturedFrame frames[2];
  for (bool reference : {true, false}) {
    SetForceReferencePath(reference);
    Open(64, 40);
    dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1, 0);
    IDirect3DTexture9* tex = MakeTexture(32, 4, [](int x, int) {
      const uint32_t a = x < 16 ? (x % 8 == 5 ? 0x80 : 0xFF) : (x % 8 == 3 ? 0x40 : 0);
      return a << 24 | uint32_t(x * 8) << 8 | 0x20;
    });
    Modulate();
    Filter(D3DTEXF_POINT);
    for (int k = 0; k < 8; ++k) {
      Blend(D3DBLEND_SRCALPHA, k % 2 ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
      Sprite(tex, 32, 4, Translation(float(k), float(5 * k)));
    }
    frames[reference ? 0 : 1] = Frame();
    for (auto* t : textures_) t->Release();
    textures_.clear();
    for (auto* b : buffers_) b->Release();
    buffers_.clear();
    SafeRelease(dev_);
    SafeRelease(d3d_);
  }
  EXPECT_EQ(frames[0].pixels, frames[1].pixels);
}

// The demo's pictures: 64 x 64 cells of a 256 x 256 atlas, each a shape with a hard alpha
// outline and an inner facet of another colour, over texels whose colour under zero alpha is
// unrelated, so bilinear taps across an outline show any shift in coverage or texel address.
// Drawn as the surface engine draws them: u from (L + 0.5) / W to (R - 0.5) / W, positions
// inset by half a pixel, rotation about the centre, scale (with z scaled to 0) of 1 to 1.5,
// MODULATE by tint and alpha, SRCALPHA / INVSRCALPHA (and ONE for the glow), linear filter.
TEST_F(Paths, RotatedScaledAtlasSpritesMatchReference) {
  constexpr int kAtlas = 256, kCell = 64;
  const auto texel = [](int x, int y) {
    const int cx = x % kCell, cy = y % kCell, cell = (y / kCell) * 4 + x / kCell;
    const float dx = cx + 0.5f - 32, dy = cy + 0.5f - 32;
    const float r = std::sqrt(dx * dx + dy * dy) + 3 * std::sin(5 * std::atan2(dy, dx) + cell);
    if (r > 26) return (0x00FF00FFu ^ uint32_t(x * 0x010203)) & 0xFFFFFFu;  // clear, odd colour
    if (r > 24) return 0x80000000u | uint32_t(cell * 40) << 16 | 0x2060;
    if (dy < -4 && std::abs(dx) < 10) return 0xFFF0F0F0u;  // the facet
    return 0xFF000000u | uint32_t(cell * 40) << 16 | uint32_t(y * 3) << 8 | uint32_t(x);
  };
  struct Placement {
    int cell;
    float x, y, angle, scale;
    uint8_t alpha;
    bool additive;
  };
  // Angles in radians; positions on whole pixels, half pixels and other sub-pixel offsets.
  std::vector<Placement> table = {
      {0, 10.0f, 8.0f, 0.0f, 1.0f, 255, false},     {1, 80.3f, 6.7f, 0.25f, 1.0f, 255, false},
      {2, 150.5f, 10.5f, -0.25f, 1.15f, 230, false}, {3, 6.9f, 84.1f, 0.6f, 1.5f, 255, false},
      {4, 92.0f, 90.0f, 1.0f, 1.27f, 190, false},    {5, 170.2f, 88.8f, -1.3f, 1.0f, 255, true},
      {6, 40.0f, 40.0f, 3.14159265f, 1.5f, 255, false}};
  std::mt19937 rng(77);
  auto uni = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
  for (int i = 0; i < 60; ++i)
    table.push_back({int(rng() % 16), uni(-20, 220), uni(-20, 150), uni(-3.2f, 3.2f),
                     uni(1.0f, 1.5f), uint8_t(uni(128, 255.99f)), i % 10 == 9});

  const auto scene = [&](bool reference, int threads) {
    SetForceReferencePath(reference);
    SetRasterThreads(threads);
    Open(256, 176);
    dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF201848, 1, 0);
    IDirect3DTexture9* atlas = MakeTexture(kAtlas, kAtlas, texel);
    Modulate();
    Filter(D3DTEXF_LINEAR);
    dev_->SetTexture(0, atlas);
    const D3DCOLOR tints[] = {0xFF5050, 0x50FF70, 0x5090FF, 0xFFD040, 0xD060FF, 0xFFFFFF};
    for (size_t k = 0; k < table.size(); ++k) {
      const Placement& p = table[k];
      Blend(D3DBLEND_SRCALPHA, p.additive ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
      const float L = float(p.cell % 4 * kCell), T = float(p.cell / 4 * kCell);
      const float uL = (L + 0.5f) / kAtlas, uR = (L + kCell - 0.5f) / kAtlas;
      const float vT = (T + 0.5f) / kAtlas, vB = (T + kCell - 0.5f) / kAtlas;
      const D3DCOLOR c = uint32_t(p.alpha) << 24 | tints[k % 6];
      const float lo = 0.5f, hi = kCell - 0.5f, half = kCell / 2.0f;
      const D3DMATRIX world =
          Mul(Mul(Mul(Mul(Translation(-half, -half), RotationZ(p.angle)),
                      Scaling(p.scale, p.scale)),
                  Translation(half, half)),
              Translation(p.x, p.y));
      dev_->SetTransform(D3DTS_WORLD, &world);
      Draw(D3DPT_TRIANGLESTRIP,
           {{lo, lo, 1, c, uL, vT}, {lo, hi, 1, c, uL, vB}, {hi, lo, 1, c, uR, vT},
            {hi, hi, 1, c, uR, vB}},
           2);
    }
    CapturedFrame f = Frame();
    for (auto* t : textures_) t->Release();
    textures_.clear();
    for (auto* b : buffers_) b->Release();
    buffers_.clear();
    SafeRelease(dev_);
    SafeRelease(d3d_);
    return f;
  };

  const CapturedFrame ref = scene(true, 0);
  for (bool wide : {true, false}) {
    SetWideSpans(wide);
    for (int threads : {1, 8}) {
      const CapturedFrame fast = scene(false, threads);
      ASSERT_EQ(fast.pixels.size(), ref.pixels.size());
      int bad = 0, first = -1;
      for (size_t i = 0; i < ref.pixels.size(); ++i) {
        if (ref.pixels[i] == fast.pixels[i]) continue;
        if (bad++ == 0) first = int(i);
      }
      EXPECT_EQ(bad, 0) << threads << " threads, wide spans " << wide << "; first at ("
                        << first % ref.width << ", " << first / ref.width << ")";
    }
  }
}

}  // namespace
}  // namespace d3d9_test
