// Frame tests of surface drawing: position, pivot, rotation, scale, colour modes, sub-rectangles,
// pictures stored turned, groups and clips. Each frame is compared with its golden image; the
// probes beside it say what the picture must show.
//
// atlas.png: (0,0)-(16,16) holds four 8 x 8 squares, red top-left, green top-right, blue
// bottom-left, white bottom-right; (16,0)-(26,20) a picture stored turned: magenta rows 0..9
// (a white mark in columns 24, 25 of rows 0..3) over yellow rows 10..19. quad16.png: the same
// four squares with the white one at half alpha.
#include "game/GroupStack.h"
#include "surface_fixture.h"

using namespace surface_test;
using platform::win32::RECT;

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF,
                   kBlack = 0x000000, kMagenta = 0xFF00FF, kYellow = 0xFFFF00;

class DrawTest : public SurfaceTest {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    PutFile("atlas.png", "data/Textures/atlas.png");
    PutFile("quad16.png", "data/Textures/quad16.png");
    auto& e = MakeEngine(48, 48);
    e.CreateSufaceFromTexture("quad", "atlas.png", RECT{0, 0, 16, 16}, true, false, 0, false);
    e.CreateSufaceFromTexture("turned", "atlas.png", RECT{16, 0, 26, 20}, true, true, 0, false);
    e.CreateSufaceFromTexture("semi", "quad16.png", RECT{0, 0, 16, 16}, true, false, 0, false);
  }
};

struct Probe {
  int x, y;
  uint32_t rgb;
  int tol = 2;
};

void ExpectProbes(const CapturedFrame& f, std::initializer_list<Probe> probes) {
  for (const Probe& p : probes) EXPECT_TRUE(NearColor(f, p.x, p.y, p.rgb, p.tol));
}

// Position, pivot, rotation and scale of one picture.
TEST_F(DrawTest, Transforms) {
  struct Case {
    const char* golden;
    double x, y, angle, sx, sy, tx, ty;
    std::vector<Probe> probes;
  } cases[] = {
      {"draw_1to1", 8, 8, 0, 1, 1, -1, -1,
       {{12, 12, kRed}, {20, 12, kGreen}, {12, 20, kBlue}, {20, 20, kWhite}, {4, 4, kBlack}}},
      // +90 degrees turns +x towards +y: clockwise on the screen, about the centre (16, 16).
      {"draw_rot90_centre", 8, 8, 90, 1, 1, -1, -1,
       {{20, 12, kRed}, {20, 20, kGreen}, {12, 12, kBlue}, {12, 20, kWhite}}},
      // About the picture's own corner: it swings to the left of (32, 8).
      {"draw_rot90_pivot", 32, 8, 90, 1, 1, 0, 0,
       {{28, 12, kRed}, {28, 20, kGreen}, {20, 12, kBlue}, {20, 20, kWhite}, {36, 12, kBlack}}},
      // TransX -1 alone is a real pivot at x = -1.
      {"draw_rot90_pivot_x_minus1", 32, 8, 90, 1, 1, -1, 0,
       {{27, 13, kRed}, {19, 21, kWhite}}},
      {"draw_scaled", 16, 16, 0, 2, 1.5, -1, -1,
       {{14, 16, kRed}, {34, 16, kGreen}, {14, 32, kBlue}, {34, 32, kWhite}, {6, 24, kBlack}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    BeginFrame();
    DrawPicture("quad", c.x, c.y, c.angle, c.sx, c.sy, 255, 0xFFFFFF, 0, 0, nullptr, c.tx, c.ty);
    const CapturedFrame f = EndFrame();
    EXPECT_TRUE(MatchesGolden(f, c.golden));
    for (const Probe& p : c.probes) EXPECT_TRUE(NearColor(f, p.x, p.y, p.rgb, p.tol));
  }
}

// Colour modes: 0 shows the tint with the texture's alpha, 2 modulates, 1 adds.
TEST_F(DrawTest, ColourModes) {
  struct Case {
    const char* golden;
    uint32_t background;
    int32_t color;
    uint8_t power, mode;
    std::vector<Probe> probes;
  } cases[] = {
      // factor 255 * 200 >> 8 = 199; the half-alpha square shows half of it.
      {"draw_tint_mode0", kBlack, 0x00FF00, 200, 0,
       {{12, 12, 0x00C700}, {20, 12, 0x00C700}, {12, 20, 0x00C700}, {20, 20, 0x006400, 3}}},
      {"draw_tint_mode2", kBlack, 0xFF8000, 255, 2,
       {{12, 12, 0xFF0000}, {20, 12, 0x008000}, {12, 20, 0x000000}, {20, 20, 0x804000, 3}}},
      {"draw_additive_mode1", 0x404040, 0xFFFFFF, 0, 1,
       {{12, 12, 0xFF4040}, {20, 12, 0x40FF40}, {12, 20, 0x4040FF}, {20, 20, 0xBFBFBF, 3}}},
      // With a colour power, mode 1 adds the texture modulated by the tint.
      {"draw_additive_tinted", 0x404040, 0x0000FF, 255, 1,
       {{12, 12, 0x404040}, {12, 20, 0x4040FF}, {20, 20, 0x4040BF, 3}, {20, 12, 0x404040}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    BeginFrame(c.background);
    // A tinted mode-0 picture first leaves ADD / TFACTOR in the colour stage.
    DrawPicture("semi", 32, 32, 0, 1, 1, 255, 0x00FF00, 200, 0);
    DrawPicture("semi", 8, 8, 0, 1, 1, 255, c.color, c.power, c.mode);
    const CapturedFrame f = EndFrame();
    EXPECT_TRUE(MatchesGolden(f, c.golden));
    for (const Probe& p : c.probes) EXPECT_TRUE(NearColor(f, p.x, p.y, p.rgb, p.tol));
  }
}

TEST_F(DrawTest, TextureFactorOfFullPowerWhiteIs254) {
  BeginFrame();
  DrawPicture("quad", 8, 8, 0, 1, 1, 255, 0xFFFFFF, 255, 0);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(NearColor(f, 12, 12, 0xFEFEFE, 0));
}

TEST_F(DrawTest, SubRectangleThenWholeAgain) {
  const TSurfaceOffsets green{{8, 0, 16, 8}};
  BeginFrame();
  DrawPicture("quad", 4, 4, 0, 1, 1, 255, 0xFFFFFF, 0, 0, &green);
  DrawPicture("quad", 24, 24);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(MatchesGolden(f, "draw_subrect_then_whole"));
  ExpectProbes(f, {{8, 8, kGreen}, {14, 8, kBlack}, {8, 14, kBlack},
                   {28, 28, kRed}, {36, 28, kGreen}, {28, 36, kBlue}});
}

// Stored turned: 10 texels wide and 20 high in the texture, drawn 20 wide and 10 high, turning
// about (10, 5) by default.
TEST_F(DrawTest, TurnedPictureAndItsPivot) {
  TIntSize size;
  engine_->GetSurfaceSize("turned", size);
  EXPECT_EQ(size.width, 10);
  EXPECT_EQ(size.height, 20);
  BeginFrame();
  DrawPicture("turned", 8, 8);
  DrawPicture("turned", 8, 28, 180);  // about its own centre: the same box, upside down
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(MatchesGolden(f, "draw_turned"));
  ExpectProbes(f, {{12, 14, kMagenta}, {24, 14, kYellow}, {9, 9, kWhite}, {29, 14, kBlack},
                   {12, 19, kBlack}, {24, 34, kMagenta}, {12, 34, kYellow}, {27, 37, kWhite}});
}

// A scaled group forces linear filtering; the same scale of the picture's own keeps the
// engine's point filter, with hard edges between the squares.
TEST_F(DrawTest, GroupWithScale2FiltersLinearly) {
  engine_->FilterMode = 1;
  BeginFrame();
  GroupStack.push_back({"g", 0, 0, 2, 2, 1, -1, -1});
  DrawPicture("quad", 2, 2);
  GroupStack.clear();
  DrawPicture("quad", 24, 24, 0, 2, 2, 255, 0xFFFFFF, 0, 0, nullptr, 0, 0);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(MatchesGolden(f, "draw_group_scale2_linear"));
  // The group's picture spans 2 * (2 + 0.5) .. 2 * (2 + 15.5); its red/green edge is at x = 20.
  const uint32_t edge = Pixel(f, 20, 10);
  EXPECT_GT(Red(edge), 40);
  EXPECT_GT(Green(edge), 40);
  bool mixed = false;  // the point-filtered copy shows only pure squares
  for (int x = 25; x < 48; ++x) {
    const uint32_t c = Pixel(f, x, 30);
    if (Red(c) > 10 && Red(c) < 245) mixed = true;
  }
  EXPECT_FALSE(mixed);
}

TEST_F(DrawTest, ClipRectangleCutsThePicture) {
  tClipRect clip;
  clip.ClipLeft = 12;
  clip.ClipTop = 12;
  clip.ClipRight = 20;
  clip.ClipBottom = 20;
  ClipStack.push_back(clip);
  BeginFrame();
  DrawPicture("quad", 8, 8);
  ClipStack.clear();
  DrawPicture("quad", 28, 28);  // the clip is gone again
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(MatchesGolden(f, "draw_clipped"));
  ExpectProbes(f, {{10, 10, kBlack}, {12, 12, kRed}, {19, 19, kWhite}, {20, 19, kBlack},
                   {19, 20, kBlack}, {32, 32, kRed}});
}

TEST_F(DrawTest, AlphaZeroStillDrawsAndAlphaBlends) {
  BeginFrame(0x404040);
  DrawPicture("quad", 0, 0, 0, 1, 1, 0);
  DrawPicture("quad", 24, 24, 0, 1, 1, 128);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(NearColor(f, 4, 4, 0x404040));
  EXPECT_TRUE(NearColor(f, 28, 28, 0xA02020, 3));
  EXPECT_EQ(engine_->Surfaces[engine_->IndexOfSurface("quad")].A, 128);
}

}  // namespace
