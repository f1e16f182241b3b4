// The fast paths against the reference rasteriser on a busy scene: sprites at random positions,
// angles and scales over every state combination the kernels specialise, plus the fallbacks
// (non-power-of-two texture, other blend factors), lines, fills and glyph coverage.
#include <gtest/gtest.h>

#include <random>

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
  for (int threads : {1, 3, 8}) {
    SetRasterThreads(threads);
    const CapturedFrame fast = Scene(false);
    ASSERT_EQ(fast.pixels.size(), ref.pixels.size());
    int bad = 0;
    for (size_t i = 0; i < ref.pixels.size(); ++i) bad += ref.pixels[i] != fast.pixels[i];
    EXPECT_EQ(bad, 0) << threads << " threads";
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

}  // namespace
}  // namespace d3d9_test
