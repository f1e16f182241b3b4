// Golden pictures of the surface engine's drawing cases, each run through the reference
// rasteriser and through the fast paths; both must give the committed picture exactly.
#include <gtest/gtest.h>

#include "fixture.h"
#include "golden.h"

namespace d3d9_test {
namespace {

constexpr D3DCOLOR kGrey = 0xFF404040;

// Texel (x, y) of the 8 x 8 test texture: red and green encode the position, blue is fixed.
uint32_t Checker(int x, int y) {
  return 0xFF000000u | (uint32_t(x * 32 + 16) << 16) | (uint32_t(y * 32 + 16) << 8) | 0x80u;
}

class Pictures : public DeviceTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    SetForceReferencePath(GetParam());
    Open(16, 16);
    dev_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kGrey, 1.0f, 0);
    dev_->BeginScene();
  }
  void TearDown() override {
    DeviceTest::TearDown();
    SetForceReferencePath(false);
  }
  void ExpectGolden(const std::string& name, int tolerance = 0) {
    dev_->EndScene();
    const std::string msg = CompareGolden(name, Frame(), tolerance);
    EXPECT_TRUE(msg.empty()) << msg << (GetParam() ? " (reference)" : " (fast)");
  }
};

// An 8 x 8 texture drawn unscaled at (4, 4) covers pixels 5..11 in each direction, each showing
// the texel with the same offset from the corner; the rest is the background.
TEST_P(Pictures, SpritePointSamplingShowsTexelOfSameOffset) {
  IDirect3DTexture9* tex = MakeTexture(8, 8, Checker);
  Modulate();
  Filter(D3DTEXF_POINT);
  Sprite(tex, 8, 8, Translation(4, 4));
  const CapturedFrame f = Frame();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool in = x >= 5 && x <= 11 && y >= 5 && y <= 11;
      EXPECT_EQ(Pixel(f, x, y), in ? Checker(x - 4, y - 4) : kGrey) << x << "," << y;
    }
  ExpectGolden("sprite_point");
}

// Under linear filtering each covered pixel sits on the shared corner of four texels and shows
// their even blend.
TEST_P(Pictures, SpriteLinearSamplingBlendsFourTexelsEvenly) {
  IDirect3DTexture9* tex = MakeTexture(8, 8, Checker);
  Modulate();
  Filter(D3DTEXF_LINEAR);
  Sprite(tex, 8, 8, Translation(4, 4));
  const CapturedFrame f = Frame();
  for (int y = 5; y <= 11; ++y)
    for (int x = 5; x <= 11; ++x) {
      const int tx = x - 4, ty = y - 4;
      uint32_t expect = 0xFF000000u;
      for (int c = 0; c < 24; c += 8) {
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += (Checker(tx - 1 + (k & 1), ty - 1 + (k >> 1)) >> c) & 0xFF;
        expect |= uint32_t((sum + 2) / 4) << c;
      }
      EXPECT_EQ(Pixel(f, x, y), expect) << x << "," << y;
    }
  EXPECT_EQ(Pixel(f, 4, 4), kGrey);
  EXPECT_EQ(Pixel(f, 12, 12), kGrey);
  ExpectGolden("sprite_linear");
}

// The engine's world matrix for a rotation: pivot to the origin, rotate, back, then place.
TEST_P(Pictures, SpriteRotated90AboutCentre) {
  IDirect3DTexture9* tex = MakeTexture(8, 8, Checker);
  Modulate();
  Filter(D3DTEXF_POINT);
  const float angle = 90.0f * 3.14159265f / 180.0f;
  const D3DMATRIX world =
      Mul(Mul(Mul(Translation(-4, -4), RotationZ(angle)), Translation(4, 4)), Translation(4, 4));
  Sprite(tex, 8, 8, world);
  ExpectGolden("sprite_rotated90");
}

TEST_P(Pictures, SpriteScale2Linear) {
  IDirect3DTexture9* tex = MakeTexture(4, 4, Checker);
  Modulate();
  Filter(D3DTEXF_LINEAR);
  const D3DMATRIX world =
      Mul(Mul(Mul(Translation(-2, -2), Scaling(2, 2)), Translation(2, 2)), Translation(4, 4));
  Sprite(tex, 4, 4, world);
  ExpectGolden("sprite_scale2_linear");
}

TEST_P(Pictures, ModulateTint) {
  IDirect3DTexture9* tex = MakeTexture(8, 8, Checker);
  Modulate();
  Filter(D3DTEXF_POINT);
  Sprite(tex, 8, 8, Translation(4, 4), 0xFF80FF40);
  const CapturedFrame f = Frame();
  const uint32_t t = Checker(1, 1);  // at pixel (5, 5)
  const auto mul = [](uint32_t a, uint32_t b) { return (a * b + 127) / 255; };
  const uint32_t expect = 0xFF000000u | mul((t >> 16) & 0xFF, 0x80) << 16 |
                          mul((t >> 8) & 0xFF, 0xFF) << 8 | mul(t & 0xFF, 0x40);
  EXPECT_EQ(Pixel(f, 5, 5), expect);
  ExpectGolden("modulate_tint");
}

// ADD of TEMP (which reads zero) and TFACTOR: the tint colour in the texture's shape.
TEST_P(Pictures, AddTempTfactorSilhouette) {
  IDirect3DTexture9* tex =
      MakeTexture(8, 8, [](int x, int y) { return (x + y) % 3 ? 0xFF123456u : 0x00FFFFFFu; });
  Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
  dev_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x00FE7F10);
  dev_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
  dev_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEMP);
  dev_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  dev_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  Filter(D3DTEXF_POINT);
  Sprite(tex, 8, 8, Translation(4, 4));
  const CapturedFrame f = Frame();
  EXPECT_EQ(Pixel(f, 5, 5), 0xFFFE7F10u);  // texel (1, 1): opaque, shows the tint colour
  EXPECT_EQ(Pixel(f, 6, 5), kGrey);        // texel (2, 1): transparent
  ExpectGolden("add_tfactor_silhouette");
}

TEST_P(Pictures, AdditiveBlendingSaturates) {
  dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF2080F0, 1.0f, 0);
  IDirect3DTexture9* tex = MakeTexture(8, 8, [](int x, int) {
    return (uint32_t(x * 36) << 24) | 0x00C08040u;
  });
  Modulate();
  Blend(D3DBLEND_SRCALPHA, D3DBLEND_ONE);
  Filter(D3DTEXF_POINT);
  Sprite(tex, 8, 8, Translation(4, 4));
  const CapturedFrame f = Frame();
  // Texel x = 7 has alpha 252: red 0x20 + 0xC0 * 252 / 255, blue saturates.
  EXPECT_EQ(Pixel(f, 11, 8), 0xFF000000u | (0x20 + (0xC0 * 252 + 127) / 255) << 16 |
                                 (0x80 + (0x80 * 252 + 127) / 255) << 8 | 0xFF);
  ExpectGolden("blend_additive");
}

TEST_P(Pictures, AlphaBlendingOverColouredBackground) {
  dev_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF2080F0, 1.0f, 0);
  IDirect3DTexture9* tex = MakeTexture(8, 8, [](int x, int y) {
    return (uint32_t(x * 36) << 24) | (y < 4 ? 0x00FF0000u : 0x0000FF00u);
  });
  Modulate();
  Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
  Filter(D3DTEXF_POINT);
  Sprite(tex, 8, 8, Translation(4, 4), 0x80FFFFFF);  // vertex alpha halves the texel alpha
  const CapturedFrame f = Frame();
  const uint32_t a = (252 * 0x80 + 127) / 255;  // texel x = 7 at pixel 11
  const auto mix = [&](uint32_t s, uint32_t d) { return (s * a + d * (255 - a) + 127) / 255; };
  EXPECT_EQ(Pixel(f, 11, 6), 0xFF000000u | mix(0xFF, 0x20) << 16 | mix(0, 0x80) << 8 | mix(0, 0xF0));
  ExpectGolden("blend_alpha");
}

TEST_P(Pictures, ScissorClipsAndClampsToTarget) {
  IDirect3DTexture9* tex = MakeTexture(8, 8, Checker);
  Modulate();
  Filter(D3DTEXF_POINT);
  dev_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  const RECT clip{7, 6, 10, 30};  // bottom beyond the target
  dev_->SetScissorRect(&clip);
  Sprite(tex, 8, 8, Translation(4, 4));
  const RECT inverted{12, 12, 2, 2};
  dev_->SetScissorRect(&inverted);
  Sprite(tex, 8, 8, Translation(0, 0));  // draws nothing
  dev_->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
  const CapturedFrame f = Frame();
  EXPECT_EQ(Pixel(f, 6, 6), kGrey);
  EXPECT_EQ(Pixel(f, 7, 6), Checker(3, 2));
  EXPECT_EQ(Pixel(f, 9, 11), Checker(5, 7));
  EXPECT_EQ(Pixel(f, 10, 8), kGrey);
  ExpectGolden("scissor");
}

// The engine's filled rectangle: a fan over the four corners, untextured, alpha blended.
TEST_P(Pictures, FilledRectangleAsTriangleFan) {
  dev_->SetTexture(0, nullptr);
  Modulate();
  Blend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
  const D3DCOLOR c = 0xFFFF8000;
  Draw(D3DPT_TRIANGLEFAN, {{2, 3, 1, c, 0, 0}, {10, 3, 1, c, 0, 0}, {10, 7, 1, c, 0, 0},
                           {2, 7, 1, c, 0, 0}},
       2);
  const CapturedFrame f = Frame();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool in = x >= 2 && x < 10 && y >= 3 && y < 7;
      EXPECT_EQ(Pixel(f, x, y), in ? c : kGrey) << x << "," << y;
    }
  ExpectGolden("fan_rectangle");
}

// One-pixel lines leave out their last pixel; the strip's joints are drawn once.
TEST_P(Pictures, LineStripLeavesOutLastPixel) {
  dev_->SetTexture(0, nullptr);
  Modulate();
  const D3DCOLOR c = 0xFF00FF00;
  Draw(D3DPT_LINESTRIP, {{2, 2, 1, c, 0, 0}, {12, 2, 1, c, 0, 0}, {12, 12, 1, c, 0, 0},
                         {3, 9, 1, 0xFFFF0000, 0, 0}},
       3);
  const CapturedFrame f = Frame();
  // Each joint is lit once, by the segment that starts there: (12, 2) by the second,
  // (12, 12) by the third; the strip's last vertex (3, 9) stays unlit.
  for (int x = 0; x < 16; ++x) EXPECT_EQ(Pixel(f, x, 2), x >= 2 && x <= 12 ? c : kGrey) << x;
  for (int y = 3; y < 16; ++y) EXPECT_EQ(Pixel(f, 12, y), y <= 12 ? c : kGrey) << y;
  EXPECT_EQ(Pixel(f, 3, 9), kGrey);
  EXPECT_NE(Pixel(f, 4, 9), kGrey);
  ExpectGolden("line_strip");
}

TEST_P(Pictures, A4R4G4B4IsQuantised) {
  IDirect3DTexture9* tex = MakeTexture(
      8, 8, [](int x, int y) { return 0xF000u | (x << 8) | (y << 4) | 0x8u; }, D3DFMT_A4R4G4B4);
  Modulate();
  Filter(D3DTEXF_POINT);
  Sprite(tex, 8, 8, Translation(4, 4));
  const CapturedFrame f = Frame();
  EXPECT_EQ(Pixel(f, 7, 9), 0xFF000000u | (3 * 17) << 16 | (5 * 17) << 8 | (8 * 17));
  ExpectGolden("a4r4g4b4");
}

// Wrap addressing: texture coordinates 0 to 2 across 16 pixels show the 8-texel row twice, and
// negative coordinates wrap from the other end.
TEST_P(Pictures, TextureCoordinatesWrap) {
  IDirect3DTexture9* tex = MakeTexture(8, 1, [](int x, int) { return 0xFF000000u | x * 0x202020u; });
  Modulate();
  Filter(D3DTEXF_POINT);
  dev_->SetTexture(0, tex);
  const D3DCOLOR w = 0xFFFFFFFF;
  Draw(D3DPT_TRIANGLESTRIP, {{0, 0, 1, w, 0, 0}, {0, 2, 1, w, 0, 1}, {16, 0, 1, w, 2, 0},
                             {16, 2, 1, w, 2, 1}},
       2);
  Draw(D3DPT_TRIANGLESTRIP, {{0, 4, 1, w, -1, 0}, {0, 6, 1, w, -1, 1}, {16, 4, 1, w, 1, 0},
                             {16, 6, 1, w, 1, 1}},
       2);
  const CapturedFrame f = Frame();
  for (int x = 0; x < 16; ++x) {
    EXPECT_EQ(Pixel(f, x, 0), 0xFF000000u | (x % 8) * 0x202020u) << x;
    EXPECT_EQ(Pixel(f, x, 4), 0xFF000000u | (x % 8) * 0x202020u) << x;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, Pictures, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Reference" : "Fast"; });

}  // namespace
}  // namespace d3d9_test
