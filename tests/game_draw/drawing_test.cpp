// The drawing operations: DrawPicture's key/value reading and the engine call it prepares, the
// splash scaling, and DrawText, DrawPoligon and DrawTriangle on the software device.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <algorithm>
#include <cmath>
#include <string>

#include "draw_fixture.h"
#include "game/PictureDraw.h"

namespace draw_test {
namespace {

TDrawPictureParams g_params;

int CaptureParams(lua_State* L) {
  ReadDrawPictureParams(L, g_params);
  return 0;
}

class DrawPictureTest : public DrawTest {
protected:
  void SetUp() override {
    DrawTest::SetUp();
    // The engine fields are all the preparation reads; no device is needed.
    form.Engine = std::make_unique<TKeshSurfaceEngine3D>(1024, 768, false, 0, 0, 1024, 768, "data\\");
    lua_register(lua->LuaState, "Capture", &CaptureParams);
  }
  // Reads the arguments of Capture(...) and prepares the engine call.
  bool Prepare(const std::string& args, TPictureDrawCall& call) {
    Run("Capture(" + args + ")");
    return PreparePictureDraw(form, g_params, call);
  }
  void AddTexture(const std::string& name, int w, int h) {
    TKeshSurfaceEngine3D& e = *form.Engine;
    e.Textures.emplace_back();
    e.Textures.back().Name = name;
    e.Textures.back().Width = w;
    e.Textures.back().Height = h;
    e.TextureIndex.SetValue(name, static_cast<int32_t>(e.Textures.size() - 1));
  }
};

TEST_F(DrawPictureTest, ArgumentsReachTheEngineCall) {
  Layout({Row("a.png", "atlas", 0, 0, 8, 8)});
  Run("DublicateSurface('b.png', 'a.png') DublicateSurface('c.png', 'b.png')");
  struct Case {
    std::string args;
    bool drawn;
    std::string name;
    int alpha;
    double x, angle;
    int colorPower;
    bool filter;
  };
  const Case cases[] = {
      {"", false, "", 0, 0, 0, 0, false},
      {"'ALPHA', 0, 'src', 'a.png'", false, "", 0, 0, 0, 0, false},
      {"'src', 'a.png', 'alpha', 256", false, "", 0, 0, 0, 0, false},  // only the low 8 bits count
      {"'SRC', 'a.png', 'Alpha', 127.5", true, "a.png", 128, 0, 0, 0, false},
      {"'src', 'a.png', 'alpha', 126.5", true, "a.png", 126, 0, 0, 0, false},
      {"'src', 'a.png', 'colorpower', 255", true, "a.png", 255, 0, 0, 254, false},
      {"'src', 'a.png', 'colorpower', 200", true, "a.png", 255, 0, 0, 200, false},
      // Keys match whatever their case; a longer or empty key is no key.
      {"'src', 'a.png', 'ColorPOWER', 200, 'colorpowerx', 9, '', 3, 'C', 7, 'x\\0', 5", true, "a.png",
       255, 0, 0, 200, false},
      {"'src', 'a.png', 'angle', math.pi / 2", true, "a.png", 255, 0, 90, 0, true},
      {"'src', 'a.png', 'scalex', 1, 'angle', 0", true, "a.png", 255, 0, 0, 0, false},
      {"'src', 'a.png', 'scalex', 1, 'angle', 0, 'filter', true", true, "a.png", 255, 0, 0, 0, true},
      {"'src', 'a.png', 'ScaleY', 1.5", true, "a.png", 255, 0, 0, 0, true},
      {"'src', 'a.png', 'rect', 1, 2, 3, 4, 'x', 7", true, "a.png", 255, 7, 0, 0, false},
      {"'src', 'a.png', 'bogus', 5, 'x', 3", true, "a.png", 255, 3, 0, 0, false},
      {"'src', 'a.png', 'x', 1, 'x', 2", true, "a.png", 255, 2, 0, 0, false},
      {"'src', 'a.png', 'x'", true, "a.png", 255, 0, 0, 0, false},  // odd count: the value reads as 0
      {"'dest', 'x', 'bump', 'y', 'src', 'n.png'", true, "n.png", 255, 0, 0, 0, false},
      // An alias draws its source; an alias of an alias names the intermediate alias.
      {"'src', 'b.png'", true, "a.png", 255, 0, 0, 0, false},
      {"'src', 'c.png'", true, "b.png", 255, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    TPictureDrawCall call;
    const bool drawn = Prepare(c.args, call);
    ASSERT_EQ(drawn, c.drawn) << c.args;
    if (!drawn) continue;
    EXPECT_EQ(*call.Name, c.name) << c.args;
    EXPECT_EQ(call.Alpha, c.alpha) << c.args;
    EXPECT_EQ(call.X, c.x) << c.args;
    EXPECT_NEAR(call.Angle, c.angle, 1e-12) << c.args;
    EXPECT_EQ(call.ColorPower, c.colorPower) << c.args;
    EXPECT_EQ(call.Filter, c.filter) << c.args;
  }
}

TEST(DrawPictureKeyTest, EveryKeyInAnyCaseAndNothingNearIt) {
  using K = TDrawPictureKey;
  const struct {
    const char* text;
    K key;
  } cases[] = {
      {"src", K::Src},        {"DEST", K::Dest},          {"Bump", K::Bump},
      {"x", K::X},            {"Y", K::Y},                {"alpha", K::Alpha},
      {"Color", K::Color},    {"colorPower", K::ColorPower}, {"OUTPUTMODE", K::OutputMode},
      {"angle", K::Angle},    {"scaleX", K::ScaleX},      {"ScaleY", K::ScaleY},
      {"transx", K::TransX},  {"TransY", K::TransY},      {"Filter", K::Filter},
      {"rect", K::Rect},      {"SPLASH", K::Splash},
      {"", K::None},          {"z", K::None},             {"srcs", K::None},
      {"alphb", K::None},     {"anglE2", K::None},        {"scalez", K::None},
      {"splasi", K::None},    {"transz", K::None},        {"filtex", K::None},
      {"colorpowe", K::None}, {"outputmodes", K::None},   {"colorpowex", K::None},
      {"rects", K::None},     {"d\xC5st", K::None},       {"[rc", K::None},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchDrawPictureKey(c.text), c.key) << c.text;
}

// The byte keys keep the low 8 bits of the rounded value whatever its size; only NaN and the
// infinities, which have no low bits, read as 0.
TEST_F(DrawPictureTest, ByteKeysKeepTheLowBitsOfAnyFiniteValue) {
  const struct {
    std::string value;
    int byte;
  } cases[] = {
      {"200", 200},          {"-1", 255},           {"255.5", 0},
      {"2^31", 0},           {"2^31 + 7", 7},       {"2^32 + 128", 128},
      {"-2^31 - 1", 255},    {"-(2^40) + 3", 3},    {"2^53 + 2", 2},
      {"1e300", 0},          {"-1e300", 0},         {"0/0", 0},
      {"1/0", 0},            {"-1/0", 0},
      // Both sides of the largest magnitude whose rounding is read as an integer.
      {"2^52 - 1", 255},     {"2^52 + 3", 3},       {"-(2^52) + 1", 1},
      {"-(2^52) - 2", 254},  {"-255.5", 0},         {"-0.4", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    TPictureDrawCall call;
    const bool drawn = Prepare("'src', 'a.png', 'alpha', " + c.value, call);
    EXPECT_EQ(drawn, c.byte != 0);
    if (drawn) {
      EXPECT_EQ(call.Alpha, c.byte);
    }
    ASSERT_TRUE(Prepare("'src', 'a.png', 'colorpower', " + c.value + ", 'outputmode', " + c.value,
                        call));
    EXPECT_EQ(call.ColorPower, c.byte == 255 ? 254 : c.byte);
    EXPECT_EQ(call.OutputMode, c.byte);
  }
}

TEST_F(DrawPictureTest, EveryValueAndTheGroupReachTheCall) {
  Run("GroupBegin('g', 10, 20, 2, 3, 0.5, 4, 5)");
  TPictureDrawCall call;
  ASSERT_TRUE(Prepare("'src', 'p.png', 'x', 1.5, 'y', 2.5, 'color', 0x123456, 'outputmode', 1,"
                      "'transx', 3, 'transy', 4, 'rect', 1, 2, 3, 4.25, 'alpha', 255", call));
  EXPECT_EQ(call.Alpha, 128);  // 127.5 halves to even
  EXPECT_EQ(call.Y, 2.5);
  EXPECT_EQ(call.Color, 0x123456);
  EXPECT_EQ(call.OutputMode, 1);
  EXPECT_EQ(call.TransX, 3);
  EXPECT_EQ(call.TransY, 4);
  ASSERT_NE(call.Rect, nullptr);
  EXPECT_EQ(call.Rect->a[3], 4.25);
  EXPECT_EQ(call.GroupX, 10);
  EXPECT_EQ(call.GroupY, 20);
  EXPECT_EQ(call.GroupScaleX, 2);
  EXPECT_EQ(call.GroupScaleY, 3);
  EXPECT_EQ(call.GroupCX, 4);
  EXPECT_EQ(call.GroupCY, 5);
  ASSERT_TRUE(Prepare("'src', 'p.png'", call));
  EXPECT_EQ(call.Rect, nullptr);
  EXPECT_EQ(call.TransX, -1);
  EXPECT_EQ(call.Color, 0xFFFFFF);
}

TEST_F(DrawPictureTest, SplashScalesTheTextureToTheScreen) {
  AddTexture("splash.jpg", 1024, 768);
  struct Case {
    bool fullScreen;
    int systemWidth, systemHeight, logicalWidth, logicalHeight;
    double gsx, gsy;
    std::string logLine;
  };
  const Case cases[] = {
      {true, 1280, 1024, 0, 0, 1.25, 1024.0 / 768, "GScaleX = 1.25 GScaleY = 1.33333333333333"},
      {true, 800, 600, 0, 0, 1, 1, "GScaleX = 1 GScaleY = 1"},  // 600 lines or fewer: 1024 x 768
      {false, 1280, 1024, 512, 384, 0.5, 0.5, ""},
  };
  for (const Case& c : cases) {
    TKeshSurfaceEngine3D& e = *form.Engine;
    e.FullScreen = c.fullScreen;
    e.SystemWidth = c.systemWidth;
    e.SystemHeight = c.systemHeight;
    e.LogicalWidth = c.logicalWidth;
    e.LogicalHeight = c.logicalHeight;
    Run("GroupBegin('open', 5, 5)");
    const std::size_t logBefore = LogText().size();
    TPictureDrawCall call;
    ASSERT_TRUE(Prepare("'src', 'splash.jpg', 'splash', true", call));
    EXPECT_DOUBLE_EQ(call.GroupScaleX, c.gsx);
    EXPECT_DOUBLE_EQ(call.GroupScaleY, c.gsy);
    // The open groups are replaced by the splash group for the draw, and gone after it.
    ASSERT_EQ(GroupStack.size(), 1u);
    EXPECT_EQ(GroupStack[0].Name, "splash");
    EXPECT_DOUBLE_EQ(GroupStack[0].ScaleX, c.gsx);
    EXPECT_EQ(CurrentGroup, 0);
    EXPECT_EQ(CurrentGroupValues.X, 5);  // the current values stay
    IssuePictureDraw(form, call);
    EXPECT_TRUE(GroupStack.empty());
    const std::string log = LogText().substr(logBefore);
    if (c.logLine.empty()) {
      EXPECT_EQ(log.find("GScaleX"), std::string::npos);
    } else {
      EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
    }
    CurrentGroupValues = tGroupValues{};
  }
}

TEST_F(DrawPictureTest, FullScreenLogsTheGroupScaleOnEveryDraw) {
  form.Engine->FullScreen = true;
  Run("GroupBegin('g', 0, 0, 2, 0.5)");
  TPictureDrawCall call;
  ASSERT_TRUE(Prepare("'src', 'p.png'", call));
  EXPECT_NE(LogText().find("GScaleX = 2 GScaleY = 0.5"), std::string::npos);
}

TEST_F(DrawPictureTest, FirstDrawTimeIsSetByTheFirstCallEvenWithoutAPicture) {
  form.FirstDrawTime = 0;
  Run("DrawPicture()");
  EXPECT_NE(form.FirstDrawTime, 0);
  const int32_t first = form.FirstDrawTime;
  Run("DrawPicture('src', 'none')");
  EXPECT_EQ(form.FirstDrawTime, first);
  EXPECT_NE(LogText().find("ShowTitleTime start"), std::string::npos);
}

TEST_F(DrawTest, DrawPictureDrawsThroughTheEngine) {
  MakeEngine(64, 64);
  Picture atlas = Filled(16, 8, 0xFFFF0000);
  for (int y = 0; y < 8; ++y)
    for (int x = 8; x < 16; ++x) atlas.at(x, y) = 0xFF00FF00;
  PutTexture("atlas.png", atlas);
  Layout({Row("red.png", "atlas", 0, 0, 8, 8), Row("green.png", "atlas", 8, 0, 8, 8)});
  Run("LoadTextures('atlas') DublicateSurface('alias.png', 'green.png')");
  form.DebugOverlay = true;
  BeginFrame();
  Run("DrawPicture('src', 'red.png', 'x', 10, 'y', 10)"
      "DrawPicture('src', 'alias.png', 'x', 30, 'y', 10)"
      "DrawPicture('src', 'red.png', 'x', 10, 'y', 30, 'alpha', 127.5)");
  const CapturedFrame f = EndFrame();
  EXPECT_EQ(Pixel(f, 13, 13), 0xFF0000u);
  EXPECT_EQ(Pixel(f, 33, 13), 0x00FF00u);
  EXPECT_NEAR(static_cast<int>(Pixel(f, 13, 33) >> 16), 128, 2);
  EXPECT_EQ(form.FrameTextures, (std::vector<int32_t>{0}));  // the texture once
}

TEST_F(DrawTest, DrawTextConvertsTheWindowsColour) {
  MakeEngine(128, 32);
  struct Case {
    std::string args;
    uint32_t strongest;  // 0xRRGGBB of the brightest text pixel, within a tolerance
    double r, g, b, alpha;
  };
  const Case cases[] = {
      {"255", 0xFF0000, 1, 0, 0, 1},        // red in 0x00BBGGRR
      {"0xFF0000", 0x0000FF, 0, 0, 1, 1},   // blue
      {"", 0xFFFFFF, 1, 1, 1, 1},           // white by default
      {"0x00FF00, 0", 0x000000, 0, 1, 0, 0},  // transparent
  };
  for (const Case& c : cases) {
    BeginFrame();
    Run("DrawText('MMMM', 2, 2" + (c.args.empty() ? "" : ", " + c.args) + ")");
    const CapturedFrame f = EndFrame();
    uint32_t best = 0;
    int bestSum = -1;
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        const uint32_t p = Pixel(f, x, y);
        const int sum = static_cast<int>((p >> 16 & 255) + (p >> 8 & 255) + (p & 255));
        if (sum > bestSum) bestSum = sum, best = p;
      }
    for (int shift : {16, 8, 0}) {
      EXPECT_NEAR(static_cast<int>(best >> shift & 255), static_cast<int>(c.strongest >> shift & 255), 8) << c.args;
    }
    ASSERT_EQ(form.TextItems.size(), 1u);
    EXPECT_DOUBLE_EQ(form.TextItems[0].R, c.r) << c.args;
    EXPECT_DOUBLE_EQ(form.TextItems[0].G, c.g) << c.args;
    EXPECT_DOUBLE_EQ(form.TextItems[0].B, c.b) << c.args;
    EXPECT_DOUBLE_EQ(form.TextItems[0].Alpha, c.alpha) << c.args;
  }
  // OutTextXY is always opaque white.
  BeginFrame();
  Run("OutTextXY('MMMM', 2, 2)");
  const CapturedFrame f = EndFrame();
  int whitest = 0;  // the largest of each pixel's smallest channel
  for (uint32_t p : f.pixels) whitest = std::max(whitest, static_cast<int>(std::min({p >> 16 & 255, p >> 8 & 255, p & 255})));
  EXPECT_GE(whitest, 240);
}

TEST_F(DrawTest, DrawPoligonClosesTheOutline) {
  MakeEngine(64, 64);
  struct Segment {
    double x1, y1, x2, y2;
  };
  struct Case {
    std::string points;
    int color;  // one per case, so each case's lines are new to the engine's line cache
    std::vector<Segment> lines;  // the distinct lines drawn, in order
  };
  const Case cases[] = {
      {"(1,1)", 1, {}},
      {"(1,1)(20,1)", 2, {{1, 1, 20, 1}}},  // the same segment twice: one cached line
      {"(1,1)(20,1)(20,20)", 3, {{1, 1, 20, 1}, {20, 1, 20, 20}, {1, 1, 20, 20}}},
  };
  for (const Case& c : cases) {
    const std::size_t before = form.Engine->Lines.size();
    BeginFrame();
    Run("DrawPoligon('" + c.points + "', " + std::to_string(c.color) + ")");
    EndFrame();
    ASSERT_EQ(form.Engine->Lines.size() - before, c.lines.size()) << c.points;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      const TLine& l = form.Engine->Lines[before + i];
      EXPECT_EQ(l.X1, c.lines[i].x1) << c.points;
      EXPECT_EQ(l.Y1, c.lines[i].y1) << c.points;
      EXPECT_EQ(l.X2, c.lines[i].x2) << c.points;
      EXPECT_EQ(l.Y2, c.lines[i].y2) << c.points;
      EXPECT_EQ(l.Alpha, 255);
      EXPECT_EQ(l.Color, c.color);
    }
  }
}

TEST_F(DrawTest, LinesFadeWithTheGroupButOutlinesDoNot) {
  MakeEngine(64, 64);
  BeginFrame();
  Run("GroupBegin('g', 0, 0, 1, 1, 0.5)"
      "DrawLine(1, 2, 30, 40, 0x123456, 200, true)"
      "DrawLine(1, 2, 30, 41)"
      "DrawPoligon('(5,5)(9,9)', 7)");
  EndFrame();
  const auto& lines = form.Engine->Lines;
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Alpha, 100);
  EXPECT_EQ(lines[0].Color, 0x123456);
  EXPECT_EQ(lines[0].Filled, 1);
  EXPECT_EQ(lines[1].Alpha, 128);  // 255 x 0.5 = 127.5, halves to even
  EXPECT_EQ(lines[1].Color, 255);
  EXPECT_EQ(lines[1].Filled, 0);
  EXPECT_EQ(lines[2].Alpha, 255);
}

TEST_F(DrawTest, DrawTriangleTakesTextureAndOutputModeByArgumentCount) {
  MakeEngine(64, 64);
  PutTexture("g.png", Filled(8, 8, 0xFF00FF00));
  Layout({Row("g.png", "g", 0, 0, 8, 8)});
  Run("LoadTextures('g')");
  const std::string corners = "0, 0, 60, 0, 0, 60, ";
  struct Case {
    std::string args;
    uint32_t pixel;  // at (10, 10), over a 0x202020 background
  };
  const Case cases[] = {
      // 19 arguments: texture arguments short of complete are ignored.
      {corners + "0x404040, 255, true, 0x404040, 255, 0x404040, 255, 'g.png', 0, 0, 8, 0, 0", 0x404040},
      {corners + "0xFFFFFF, 255, true, 0xFFFFFF, 255, 0xFFFFFF, 255, 'g.png', 0, 0, 8, 0, 0, 8", 0x00FF00},
      // The output mode (additive) counts only as the 21st argument.
      {corners + "0x404040, 255, true, 0x404040, 255, 0x404040, 255, '', 0, 0, 0, 0, 0, 0", 0x404040},
      {corners + "0x404040, 255, true, 0x404040, 255, 0x404040, 255, '', 0, 0, 0, 0, 0, 0, 1", 0x606060},
  };
  for (const Case& c : cases) {
    BeginFrame(0x202020);
    Run("DrawTriangle(" + c.args + ")");
    const CapturedFrame f = EndFrame();
    const uint32_t p = Pixel(f, 10, 10);
    for (int shift : {16, 8, 0}) {
      EXPECT_NEAR(static_cast<int>(p >> shift & 255), static_cast<int>(c.pixel >> shift & 255), 2) << c.args;
    }
  }
}

}  // namespace
}  // namespace draw_test

namespace draw_test {
namespace {

// The index answers as a scan from the first row would, as the table grows or is replaced.
TEST(TexSurfaceIndexTest, AnswersAsTheFirstMatchingRow) {
  std::vector<tTexSurface> rows(3);
  rows[0].Name = "a.png";
  rows[1].Name = "b.png";
  rows[2].Name = "a.png";
  TTexSurfaceIndex index;
  EXPECT_EQ(index.Find(rows, "a.png"), 0);
  EXPECT_EQ(index.Find(rows, "b.png"), 1);
  EXPECT_EQ(index.Find(rows, "c.png"), -1);
  EXPECT_EQ(index.Find(rows, "A.png"), -1);  // exact, letter case included
  rows.emplace_back();
  rows.back().Name = "c.png";  // an alias appended after the index was built
  EXPECT_EQ(index.Find(rows, "c.png"), 3);
  // A new parse with as many rows but other names (the parser invalidates the index), and one
  // with fewer rows.
  for (tTexSurface& r : rows) r.Name = "x" + r.Name;
  index.Invalidate();
  EXPECT_EQ(index.Find(rows, "xa.png"), 0);
  EXPECT_EQ(index.Find(rows, "a.png"), -1);
  rows.resize(1);
  EXPECT_EQ(index.Find(rows, "xb.png"), -1);
  EXPECT_EQ(index.Find(rows, "xa.png"), 0);
}

}  // namespace
}  // namespace draw_test
