// Picture queries and hit tests: sizes, rectangles, the pixel test over the picture's own
// rectangle of its texture in every pixel format it meets, and the centre of points.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "draw_fixture.h"
#include "game/PictureHitTest.h"

namespace draw_test {
namespace {

namespace d3d9 = platform::d3d9;

class QueriesTest : public DrawTest {
protected:
  bool Query(const std::string& expression) {
    Run("result = " + expression);
    lua_getglobal(lua->LuaState, "result");
    const bool value = lua_toboolean(lua->LuaState, -1) != 0;
    lua_settop(lua->LuaState, 0);
    return value;
  }
  std::pair<double, double> Pair(const std::string& call) {
    Run("ra, rb = " + call);
    lua_getglobal(lua->LuaState, "ra");
    lua_getglobal(lua->LuaState, "rb");
    std::pair<double, double> r{lua_tonumber(lua->LuaState, -2), lua_tonumber(lua->LuaState, -1)};
    lua_settop(lua->LuaState, 0);
    return r;
  }
};

TEST_F(QueriesTest, InsideRectCountsAllFourEdges) {
  const std::pair<std::string, bool> cases[] = {
      {"10, 20, 10, 20, 0, 0", true},  {"11, 20, 10, 20, 0, 0", false},
      {"15, 25, 10, 20, 5, 5", true},  {"16, 25, 10, 20, 5, 5", false},
      {"10, 19, 10, 20, 5, 5", false}, {"12, 22, 10, 20, 5, 5", true},
  };
  for (const auto& [args, inside] : cases) EXPECT_EQ(Query("InsideRect(" + args + ")"), inside) << args;
}

TEST_F(QueriesTest, InsideRectReachesPastThe32BitRange) {
  // The far edges are corner plus size, which may lie outside the 32-bit range.
  const std::pair<std::string, bool> cases[] = {
      {"2^31, 2^31, 2^31, 2^31, 2^31, 2^31", true},         // up to 2 * (2^31 - 1)
      {"2^31 - 1, 0, 2^31 - 1, 0, 1, 1", true},
      {"2^31 - 1, 5, 2^31 - 8, 0, 2^31, 10", true},
      {"-2^31, -2^31, -2^31, -2^31, -2^31, -2^31", false},  // a negative size: empty
      {"-2^31, 0, -2^31, 0, -1, 1", false},
      {"-2^31, 0, -2^31, 0, 0, 0", true},
  };
  for (const auto& [args, inside] : cases) EXPECT_EQ(Query("InsideRect(" + args + ")"), inside) << args;
}

TEST_F(QueriesTest, GetMassCenterRoundsHalvesToEven) {
  const std::pair<std::string, std::pair<double, double>> cases[] = {
      {"(0,0)(1,1)", {0, 0}}, {"(1,1)(2,2)", {2, 2}}, {"", {0, 0}}, {"(3,4)(5,8)(10,0)", {6, 4}},
  };
  for (const auto& [points, centre] : cases) EXPECT_EQ(Pair("GetMassCenter('" + points + "')"), centre) << points;
}

TEST_F(QueriesTest, GetPictureSize) {
  MakeEngine(32, 32);
  Layout({Row("p.png", "atlas", 0, 0, 12, 7)});
  PutTexture("atlas.png", Filled(16, 8, 0xFFFFFFFF));
  Run("LoadTextures('atlas')");
  EXPECT_EQ(Pair("GetPictureSize('p.png')"), (std::pair<double, double>{12, 7}));
  EXPECT_EQ(Pair("GetPictureSize('unknown')"), (std::pair<double, double>{0, 0}));
}

TEST_F(QueriesTest, InsidePictureTestsASquareAroundThePoint) {
  MakeEngine(32, 32);
  // A 40 x 20 atlas: "solid" (0..19) fully opaque; "holes" (20..39) transparent but for a texel
  // of alpha 103 at (15, 15) of the picture and one of alpha 102 at (2, 2).
  Picture atlas = Filled(40, 20, 0xFF0000FF);
  for (int y = 0; y < 20; ++y)
    for (int x = 20; x < 40; ++x) atlas.at(x, y) = 0x00000000;
  atlas.at(20 + 15, 15) = 0x67FFFFFF;
  atlas.at(20 + 2, 2) = 0x66FFFFFF;
  PutTexture("atlas.png", atlas);
  Layout({Row("solid.png", "atlas", 0, 0, 20, 20), Row("holes.png", "atlas", 20, 0, 20, 20)});
  Run("LoadTextures('atlas')");
  const std::pair<std::string, bool> cases[] = {
      {"'solid.png', 100, 100, 90, 105", true},   // 10 left: the square reaches column 0
      {"'solid.png', 100, 100, 89, 105", false},  // 11 left: out of bounds
      {"'solid.png', 100, 100, 129, 105", true},
      {"'solid.png', 100, 100, 130, 105", false},
      {"'holes.png', 0, 0, 5, 5", true},          // the texel 10 away diagonally
      {"'holes.png', 0, 0, 5, 5, 9", false},
      {"'holes.png', 0, 0, 2, 2, 0", false},      // alpha 102 is not above the threshold
      {"'holes.png', 0, 0, 2, 2, 0, 101", true},
      {"'holes.png', 0, 0, 15, 15, 0, 255", false},
      {"'holes.png', 0, 0, 15, 15, 0.4", true},   // the radius rounds to 0
      {"'holes.png', 0, 0, 10, 10, -3", false},   // a negative radius tests the point itself
      {"'solid.png', 0, 0, 5, 5, -3", true},
      // Just left of "holes" lies the opaque "solid": the scan stays inside the picture.
      {"'holes.png', 0, 0, -5, 10, 10", false},
      {"'unknown.png', 0, 0, 0, 0", false},
      // The point's offset from the picture lies outside the 32-bit range: far away.
      {"'solid.png', -2^31, 0, 2^31, 5", false},
      {"'solid.png', 2^31, 0, -2^31, 5", false},
      {"'solid.png', 0, -2^31, 5, 2^31, 2^31", false},
      {"'solid.png', -2^31, 0, 18, 5, 2^31", true},         // 2^31 + 18 away: the radius reaches
      {"'solid.png', -2^31, 0, 19, 5, 2^31", false},        // column 19, the picture's last
  };
  for (const auto& [args, inside] : cases) EXPECT_EQ(Query("InsidePicture(" + args + ")"), inside) << args;
}

TEST_F(QueriesTest, InsidePictureTurnsThePointOfARotatedPicture) {
  MakeEngine(32, 32);
  // The picture is stored turned: texture rectangle 10 wide, 20 high, one opaque texel (9, 0).
  Picture atlas = Filled(10, 20, 0x00000000);
  atlas.at(9, 0) = 0xFFFFFFFF;
  PutTexture("turned.png", atlas);
  Layout({Row("t.png", "turned", 0, 0, 10, 20, true)});
  Run("LoadTextures('turned')");
  // The point (x, y) is tested at texture position (10 - y, x).
  EXPECT_TRUE(Query("InsidePicture('t.png', 0, 0, 0, 1, 0)"));
  EXPECT_FALSE(Query("InsidePicture('t.png', 0, 0, 0, 2, 0)"));
  EXPECT_FALSE(Query("InsidePicture('t.png', 0, 0, 1, 1, 0)"));
  // Turned, an offset outside the 32-bit range is still far away.
  EXPECT_FALSE(Query("InsidePicture('t.png', 0, -2^31, 0, 2^31, 0)"));
  EXPECT_FALSE(Query("InsidePicture('t.png', 0, 2^31, 0, -2^31, 0)"));
}

TEST_F(QueriesTest, InsidePictureReadsA16BitTextureWithItsPitch) {
  MakeEngine(32, 32);
  Picture atlas = Filled(24, 8, 0x00000000);
  atlas.at(16 + 3, 5) = 0x77FFFFFF;  // 16-bit alpha nibble 7: 119
  PutTexture("small.png", atlas);
  Run("LoadPictures('s.png|small|16|0|8|8|false', false, false, true)");
  const int32_t t = form.Engine->Surfaces[0].TextureIndex;
  d3d9::D3DSURFACE_DESC desc{};
  form.Engine->Textures[static_cast<std::size_t>(t)].Texture->GetLevelDesc(0, &desc);
  ASSERT_EQ(desc.Format, d3d9::D3DFMT_A4R4G4B4);
  EXPECT_TRUE(Query("InsidePicture('s.png', 0, 0, 3, 5, 0)"));
  EXPECT_FALSE(Query("InsidePicture('s.png', 0, 0, 4, 5, 0)"));
  EXPECT_FALSE(Query("InsidePicture('s.png', 0, 0, 3, 5, 0, 119)"));
}

TEST(PictureHitTest, EveryFormatWithItsPitch) {
  // A 3 x 2 rectangle with rows padded to 16 bytes; the solid texel is (2, 1).
  struct Case {
    d3d9::D3DFORMAT format;
    int bytes;
    uint32_t solid, clear;
    bool answer;  // at (2, 1) with radius 0 and threshold 102
  };
  const Case cases[] = {
      {d3d9::D3DFMT_A8R8G8B8, 4, 0x67000000, 0x66FFFFFF, true},
      {d3d9::D3DFMT_A8R8G8B8, 4, 0x66FFFFFF, 0x66FFFFFF, false},
      {d3d9::D3DFMT_X8R8G8B8, 4, 0x00FFFFFF, 0x00FFFFFF, true},  // no alpha: solid
      {d3d9::D3DFMT_A4R4G4B4, 2, 0x7FFF, 0x6FFF, true},          // 7 * 17 = 119
      {d3d9::D3DFMT_A4R4G4B4, 2, 0x6FFF, 0x6FFF, false},         // 6 * 17 = 102
      {d3d9::D3DFMT_A1R5G5B5, 2, 0x8000, 0x7FFF, true},
      {d3d9::D3DFMT_A8, 1, 0xFF, 0xFF, false},                  // a format it cannot read
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bits(2 * 16, 0);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        const uint32_t v = (x == 2 && y == 1) ? c.solid : c.clear;
        std::memcpy(&bits[static_cast<std::size_t>(y) * 16 + static_cast<std::size_t>(x) * c.bytes], &v, static_cast<std::size_t>(c.bytes));
      }
    const TLockedTexels texels{bits.data(), 16, c.format, 3, 2};
    EXPECT_EQ(AnySolidTexel(texels, 2, 1, 0, 102), c.answer) << c.format << " " << std::hex << c.solid;
    if (c.format != d3d9::D3DFMT_X8R8G8B8 && c.answer) {
      EXPECT_FALSE(AnySolidTexel(texels, 0, 0, 1, 102)) << c.format;  // (0..1, 0..1) holds no solid texel
      EXPECT_TRUE(AnySolidTexel(texels, 0, 0, 2, 102)) << c.format;
    }
  }
}

}  // namespace
}  // namespace draw_test
