// Frame tests of lines, filled rectangles, triangles and text, the line cache, and the device
// states that must not leak from a picture into them.
#include <algorithm>
#include <climits>
#include <string>

#include "game/GroupStack.h"
#include "surface_fixture.h"

using namespace surface_test;
using platform::win32::RECT;

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF,
                   kBlack = 0x000000;

struct Probe {
  int x, y;
  uint32_t rgb;
  int tol = 2;
};

class LinesTest : public SurfaceTest {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    PutFile("atlas.png", "data/Textures/atlas.png");
    auto& e = MakeEngine(100, 100);
    e.CreateSufaceFromTexture("quad", "atlas.png", RECT{0, 0, 16, 16}, true, false, 0, false);
  }
  void Triangle(double x1, double y1, double x2, double y2, double x3, double y3, bool filled,
                int32_t c1, int32_t c2, int32_t c3, const std::string& surface = "",
                int32_t blend = 0, double u2 = 0, double v3 = 0) {
    engine_->DrawTriangle(255, c1, x1, y1, x2, y2, x3, y3, filled, 255, 255, c2, c3, surface, 0,
                          0, u2, 0, 0, v3, blend);
  }
  void Check(const CapturedFrame& f, std::initializer_list<Probe> probes) {
    for (const Probe& p : probes) EXPECT_TRUE(NearColor(f, p.x, p.y, p.rgb, p.tol));
  }
};

TEST_F(LinesTest, FilledAndUnfilledLines) {
  BeginFrame();
  engine_->DrawLine(255, kRed, 10, 10, 40, 30, true);
  engine_->DrawLine(128, kGreen, 90, 60, 60, 40, true);  // corners given the other way round
  engine_->DrawLine(255, kWhite, 10, 50, 90, 50, false);
  engine_->DrawLine(128, 0xFFFF00, 10, 60, 40, 90, false);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(MatchesGolden(f, "lines_basic"));
  Check(f, {{20, 20, kRed}, {9, 20, kBlack}, {75, 45, 0x008000}, {50, 50, kWhite},
            {20, 55, kBlack}, {25, 75, 0x808000, 3}});
}

TEST_F(LinesTest, FilledRectangleCornerOrderDoesNotMatter) {
  BeginFrame();
  engine_->DrawLine(255, kBlue, 0, 0, 100, 50, true);
  const CapturedFrame a = EndFrame();
  BeginFrame();
  engine_->DrawLine(255, kBlue, 100, 50, 0, 0, true);
  const CapturedFrame b = EndFrame();
  EXPECT_EQ(a.pixels, b.pixels);
  Check(a, {{0, 0, kBlue}, {99, 49, kBlue}, {50, 50, kBlack}});
}

// Lines scale about the group's centre when it has one, pictures always about the origin.
TEST_F(LinesTest, GroupsScaleLinesAboutTheirCentre) {
  struct Case {
    const char* golden;
    double cx, cy;
    double fill[4], line[4];
    std::vector<Probe> probes;
  } cases[] = {
      {"lines_group_origin", -1, -1, {10, 10, 20, 20}, {5, 30, 25, 30},
       {{30, 30, kBlue}, {15, 15, kBlack}, {41, 30, kBlack}, {30, 60, kWhite}, {60, 20, kRed}}},
      {"lines_group_centre50", 50, 50, {40, 40, 60, 60}, {40, 70, 60, 70},
       {{31, 31, kBlue}, {68, 68, kBlue}, {28, 28, kBlack}, {50, 90, kWhite}, {60, 20, kRed}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    GroupStack = {{"g", 0, 0, 2, 2, 1, c.cx, c.cy}};
    BeginFrame();
    engine_->DrawLine(255, kBlue, c.fill[0], c.fill[1], c.fill[2], c.fill[3], true);
    engine_->DrawLine(255, kWhite, c.line[0], c.line[1], c.line[2], c.line[3], false);
    DrawPicture("quad", 25, 5);
    const CapturedFrame f = EndFrame();
    GroupStack.clear();
    EXPECT_TRUE(MatchesGolden(f, c.golden));
    for (const Probe& p : c.probes) EXPECT_TRUE(NearColor(f, p.x, p.y, p.rgb, p.tol));
  }
}

TEST_F(LinesTest, LineCacheIsKeyedByValueAndBounded) {
  BeginFrame();
  engine_->DrawLine(255, kRed, 1, 2, 3, 4, false);
  engine_->DrawLine(255, kRed, 1, 2, 3, 4, false);
  EXPECT_EQ(engine_->Lines.size(), 1u);
  engine_->DrawLine(254, kRed, 1, 2, 3, 4, false);
  engine_->DrawLine(255, kRed, 1, 2, 3, 4, true);
  engine_->DrawLine(255, kRed, -0.0, 2, 3, 4, true);
  engine_->DrawLine(255, kRed, 0.0, 2, 3, 4, true);  // equal to -0.0: the same entry
  EXPECT_EQ(engine_->Lines.size(), 4u);
  EndFrame();

  // A line animated every frame: the cache stays bounded and the newest line still draws.
  const int frames = static_cast<int>(TKeshSurfaceEngine3D::kMaxCachedLines) * 2 + 10;
  for (int i = 0; i < frames; ++i) {
    BeginFrame();
    engine_->DrawLine(255, kGreen, 10, 10 + i * 0.001, 90, 10, false);
    engine_->DrawLine(255, kWhite, 0, 80, 100, 100, true);
    EndFrame();
    ASSERT_LE(engine_->Lines.size(), TKeshSurfaceEngine3D::kMaxCachedLines);
  }
  BeginFrame();
  engine_->DrawLine(255, kRed, 10, 50, 90, 50, false);
  const CapturedFrame f = EndFrame();
  Check(f, {{50, 50, kRed}});
}

// Lines, rectangles and untextured triangles set their own colour stage and blending, whatever
// the picture before them left.
TEST_F(LinesTest, StatesOfAPictureDoNotLeakIntoLines) {
  struct Case {
    const char* what;
    int32_t color;
    uint8_t power, mode;
  } cases[] = {{"tinted, mode 0", 0x00FF00, 200, 0},
               {"additive, mode 1", 0xFFFFFF, 0, 1},
               {"tinted, mode 2", 0x0000FF, 255, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BeginFrame(0x404040);
    DrawPicture("quad", 80, 80, 0, 1, 1, 255, c.color, c.power, c.mode);
    engine_->DrawLine(255, kRed, 0, 10, 100, 10, false);
    DrawPicture("quad", 80, 80, 0, 1, 1, 255, c.color, c.power, c.mode);
    engine_->DrawLine(255, kBlue, 10, 20, 30, 40, true);
    DrawPicture("quad", 80, 80, 0, 1, 1, 255, c.color, c.power, c.mode);
    engine_->DrawLine(128, kRed, 0, 50, 100, 50, false);  // blended like a filled line
    DrawPicture("quad", 80, 80, 0, 1, 1, 255, c.color, c.power, c.mode);
    Triangle(40, 20, 70, 20, 40, 40, true, kGreen, kGreen, kGreen);
    const CapturedFrame f = EndFrame();
    Check(f, {{50, 10, kRed}, {20, 30, kBlue}, {50, 50, 0xA02020, 3}, {45, 25, kGreen}});
  }
}

TEST_F(LinesTest, ShadedAndTexturedTriangles) {
  BeginFrame();
  Triangle(10, 10, 60, 10, 10, 60, true, kRed, kGreen, kBlue);
  // The upper-left half of the four squares, in the surface's own pixels.
  Triangle(60, 60, 96, 60, 60, 96, true, kWhite, kWhite, kWhite, "quad", 0, 16, 16);
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(MatchesGolden(f, "triangles"));
  const uint32_t nearRed = Pixel(f, 12, 12), middle = Pixel(f, 25, 25);
  EXPECT_GT(Red(nearRed), 220);
  EXPECT_GT(Red(middle), 40);
  EXPECT_GT(Green(middle), 40);
  EXPECT_GT(Blue(middle), 40);
  Check(f, {{40, 40, kBlack}, {64, 64, kRed}, {86, 63, kGreen, 8}, {63, 86, kBlue, 8},
            {90, 90, kBlack}});
}

TEST_F(LinesTest, TriangleNamingAnAbsentSurfaceIsUntextured) {
  BeginFrame();
  Triangle(60, 60, 96, 60, 60, 96, true, kWhite, kWhite, kWhite, "quad", 0, 16, 16);
  Triangle(10, 10, 50, 10, 10, 50, true, kGreen, kGreen, kGreen, "no such surface", 0, 16, 16);
  const CapturedFrame f = EndFrame();
  Check(f, {{14, 14, kGreen}, {30, 14, kGreen}, {14, 30, kGreen}});
}

TEST_F(LinesTest, UnfilledTriangleIsItsFirstSegment) {
  BeginFrame();
  Triangle(10, 10, 60, 10, 10, 60, false, kWhite, kWhite, kWhite);
  const CapturedFrame f = EndFrame();
  Check(f, {{30, 10, kWhite}, {10, 30, kBlack}, {30, 30, kBlack}, {20, 20, kBlack}});
}

TEST_F(LinesTest, AdditiveTriangle) {
  BeginFrame(0x404040);
  Triangle(10, 10, 60, 10, 10, 60, true, kRed, kRed, kRed, "", 1);
  const CapturedFrame f = EndFrame();
  Check(f, {{20, 20, 0xFF4040}, {70, 70, 0x404040}});
}

TEST_F(LinesTest, TextInTheDefaultFont) {
  ASSERT_NE(engine_->Font, nullptr);
  BeginFrame();
  engine_->DrawFontText("Quorrel", engine_->Font, 2, 2, 0xFFFFFF00);
  engine_->DrawFontText("gone", nullptr, 2, 50, 0xFFFFFFFF);  // no font: nothing
  const CapturedFrame f = EndFrame();
  EXPECT_TRUE(MatchesGolden(f, "text_default_font", 8));
  int lit = 0, below = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) {
      const uint32_t c = Pixel(f, x, y);
      if (Red(c) > 128 && Green(c) > 128 && Blue(c) < 64) (y < 30 ? lit : below)++;
      if (y >= 30 && (c & 0xFFFFFF) != 0) ++below;
    }
  }
  EXPECT_GT(lit, 40);  // a 20-pixel bold line of text in yellow
  EXPECT_EQ(below, 0);
}

// The lit box of yellow text in a frame.
struct Box {
  int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
};
Box TextBox(const CapturedFrame& f) {
  Box b;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      const uint32_t c = Pixel(f, x, y);
      if (Red(c) > 128 && Green(c) > 128 && Blue(c) < 64) {
        b.left = std::min(b.left, x);
        b.top = std::min(b.top, y);
        b.right = std::max(b.right, x + 1);
        b.bottom = std::max(b.bottom, y + 1);
      }
    }
  return b;
}

// In full screen the projection stretches the logical size over the screen: the text's place
// and its glyphs take the same factors, so it lands where a picture drawn there would.
TEST_F(LinesTest, FullScreenTextFollowsTheProjectionsScale) {
  const auto draw = [&](TKeshSurfaceEngine3D& e) {
    BeginFrame();
    e.DrawFontText("Quorrel Shuffle", e.Font, 100, 50, 0xFFFFFF00);
    return TextBox(EndFrame());
  };
  SetScreen(1024, 768);
  TKeshSurfaceEngine3D& windowed = MakeEngine(1024, 768);
  const Box one = draw(windowed);
  ASSERT_GT(one.right, one.left);
  const struct {
    int screenW, screenH;
  } screens[] = {{2048, 1536}, {1920, 1080}, {1024, 768}};
  for (const auto& s : screens) {
    SetScreen(s.screenW, s.screenH);
    engine_ = std::make_unique<TKeshSurfaceEngine3D>(0, 0, true, 0, 0, 1024, 768, "data\\");
    bool isWindowed = true;
    ASSERT_EQ(engine_->InitD3D(Window(), 1024, 768, isWindowed), 0);
    const double fx = s.screenW / 1024.0, fy = s.screenH / 768.0;
    const Box b = draw(*engine_);
    SCOPED_TRACE(std::to_string(s.screenW) + "x" + std::to_string(s.screenH));
    EXPECT_NEAR(b.left, one.left * fx, 2.5);
    EXPECT_NEAR(b.top, one.top * fy, 2.5);
    EXPECT_NEAR(b.right - b.left, (one.right - one.left) * fx, 0.06 * (one.right - one.left) * fx);
    EXPECT_NEAR(b.bottom - b.top, (one.bottom - one.top) * fy, 2.5);
    if (fx == 1 && fy == 1) {
      EXPECT_EQ(b.left, one.left);
      EXPECT_EQ(b.right, one.right);
    }
  }
}

}  // namespace
