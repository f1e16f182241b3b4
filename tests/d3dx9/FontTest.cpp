// The engine's text font: DejaVu Sans Bold in a 20-pixel cell, drawn in back-buffer pixels
// with Windows-1252 bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "TestSupport.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/d3dx9_glyph_cache.h"

namespace d3dx9_test {
namespace {

using namespace platform::d3d9;
using namespace platform::d3dx9;

constexpr D3DCOLOR kBackground = 0xFF102040;

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // As the engine makes it: height 20, weight 700, default character set, empty face name.
    ASSERT_EQ(D3DXCreateFontW(device.get(), 20, 0, 700, 1, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, DEFAULT_QUALITY, 0, u"", &font),
              D3D_OK);
  }
  void TearDown() override { SafeRelease(font); }

  INT Text(const char* text, int x, int y, D3DCOLOR color = 0xFFFFFFFF, DWORD format = DT_NOCLIP,
           INT count = -1, RECT* clip = nullptr) {
    RECT rect{x, y, 0, 0};
    return font->DrawTextA(nullptr, text, count, clip != nullptr ? clip : &rect, format, color);
  }

  // The back buffer after clearing it and running the drawing in one scene.
  template <typename Drawing>
  Picture Draw(Drawing drawing) {
    IDirect3DDevice9* d = device.get();
    d->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0);
    d->BeginScene();
    drawing();
    d->EndScene();
    CapturedFrame frame = ReadBackBuffer(d);
    return {frame.width, frame.height, std::move(frame.pixels)};
  }

  TestDevice device{200, 48};
  ID3DXFont* font = nullptr;
};

TEST_F(FontTest, DefaultFontMatchesTheGoldenPicture) {
  INT heights[2] = {0, 0};
  const Picture picture = Draw([&] {
    heights[0] = Text("Quorrel 0123 Wij!?", 2, 2);
    // Windows-1252: A, O, U umlauts, e acute, euro sign, curly quotes; half-transparent orange.
    heights[1] = Text("\xC4\xD6\xDC \xE9 \x80 \x93ok\x94", 2, 25, 0x80FF8000);
  });
  EXPECT_EQ(heights[0], 20);
  EXPECT_EQ(heights[1], 20);
  const std::string mismatch = CompareWithGolden(picture, "font_default", 16);
  EXPECT_TRUE(mismatch.empty()) << mismatch;
}

TEST_F(FontTest, GlyphsStandOnTheBaselineAtTopPlusAscent) {
  const Picture picture = Draw([&] { Text("H", 10, 10); });
  int lowest = -1;
  int highest = -1;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      if (picture.pixels[y * picture.width + x] != (kBackground | 0xFF000000u)) {
        if (highest < 0) highest = y;
        lowest = y;
      }
    }
  }
  // Ascent of the 20-pixel cell: 20 * 1901 / 2384 rounded = 16, so the baseline is row 26.
  EXPECT_EQ(lowest, 25);
  EXPECT_GT(highest, 10);  // capitals do not reach the top of the cell
}

// A nonzero width is the average character width: the same cell, the glyphs stretched across.
TEST_F(FontTest, AWidthStretchesTheGlyphsToThatAverage) {
  TEXTMETRICA natural;
  ASSERT_EQ(font->GetTextMetricsA(&natural), D3D_OK);
  EXPECT_EQ(natural.tmHeight, 20);
  EXPECT_EQ(natural.tmAscent, 16);
  EXPECT_EQ(natural.tmDescent, 4);
  EXPECT_GT(natural.tmAveCharWidth, 8);
  EXPECT_LT(natural.tmAveCharWidth, 14);
  const auto inkWidth = [&](ID3DXFont* f) {
    std::swap(font, f);
    const Picture p = Draw([&] { Text("mmmm", 0, 0); });
    std::swap(font, f);
    int left = p.width, right = -1;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x)
        if (p.pixels[y * p.width + x] != (kBackground | 0xFF000000u)) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
    return right - left + 1;
  };
  ID3DXFont* wide = nullptr;
  ASSERT_EQ(D3DXCreateFontW(device.get(), 20, 2 * natural.tmAveCharWidth, 700, 1, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, DEFAULT_QUALITY, 0, u"", &wide),
            D3D_OK);
  TEXTMETRICA stretched;
  ASSERT_EQ(wide->GetTextMetricsA(&stretched), D3D_OK);
  EXPECT_EQ(stretched.tmHeight, 20);
  EXPECT_NEAR(stretched.tmAveCharWidth, 2 * natural.tmAveCharWidth, 1);
  EXPECT_NEAR(inkWidth(wide), 2.0 * inkWidth(font), 4);
  SafeRelease(wide);
}

TEST_F(FontTest, LinesCountsAndUndefinedBytes) {
  EXPECT_EQ(Text("", 0, 0), 0);
  EXPECT_EQ(Text("A\nB", 0, 0), 40);

  const Picture twoLines = Draw([&] { Text("A\nB", 4, 2); });
  const Picture apart = Draw([&] {
    Text("A", 4, 2);
    Text("B", 4, 22);
  });
  EXPECT_EQ(twoLines.pixels, apart.pixels);

  const Picture counted = Draw([&] { Text("abcdef", 4, 2, 0xFFFFFFFF, DT_NOCLIP, 3); });
  const Picture whole = Draw([&] { Text("abc", 4, 2); });
  EXPECT_EQ(counted.pixels, whole.pixels);

  // 0x81 is undefined in Windows-1252: it draws nothing and takes no room.
  const Picture withUndefined = Draw([&] {
    Text(
        "a\x81"
        "b",
        4, 2);
  });
  const Picture without = Draw([&] { Text("ab", 4, 2); });
  EXPECT_EQ(withUndefined.pixels, without.pixels);
}

TEST_F(FontTest, WithoutNoClipTheRectangleClips) {
  const Picture background = Draw([] {});
  // The engine's rectangle is (x, y, 0, 0): without DT_NOCLIP nothing would show.
  EXPECT_EQ(Draw([&] { Text("Clip", 4, 2, 0xFFFFFFFF, 0); }).pixels, background.pixels);

  const Picture free = Draw([&] { Text("Clipped", 4, 2); });
  RECT half{4, 2, 30, 30};
  const Picture clipped = Draw([&] { Text("Clipped", 4, 2, 0xFFFFFFFF, 0, -1, &half); });
  bool drewInside = false;
  for (int y = 0; y < clipped.height; ++y) {
    for (int x = 0; x < clipped.width; ++x) {
      const size_t i = size_t(y) * clipped.width + x;
      const bool inside = x >= half.left && x < half.right && y >= half.top && y < half.bottom;
      ASSERT_EQ(clipped.pixels[i], inside ? free.pixels[i] : background.pixels[i]) << x << "," << y;
      drewInside = drewInside || (inside && clipped.pixels[i] != background.pixels[i]);
    }
  }
  EXPECT_TRUE(drewInside);
}

TEST_F(FontTest, PlacesGlyphsAtTheEdgesOfTheIntegerRange) {
  // Scripts hand the text position over as any 32-bit value; the pen, the baseline and the
  // glyph boxes past it must not overflow, and nothing lands on the target.
  constexpr int kMax = INT32_MAX, kMin = INT32_MIN;
  const Picture background = Draw([] {});
  const std::pair<int, int> corners[] = {
      {0, kMax}, {kMax, 0}, {kMax, kMax}, {kMin, 0}, {0, kMin}, {kMin, kMin}, {kMax - 5, 2}, {2, kMax - 30},
  };
  for (const auto& [x, y] : corners) {
    INT height = 0;
    const Picture picture = Draw([&] { height = Text("Wide text\nA\nB", x, y); });
    EXPECT_EQ(height, 60) << x << "," << y;
    EXPECT_EQ(picture.pixels, background.pixels) << x << "," << y;
    RECT clip{x, y, kMax, kMax};  // the clipped path, with the rectangle as the position
    EXPECT_EQ(Draw([&] { Text("Wide text\nA", x, y, 0xFFFFFFFF, 0, -1, &clip); }).pixels, background.pixels);
  }
  // The same text just inside the target is drawn as before.
  EXPECT_NE(Draw([&] { Text("A", 2, 2); }).pixels, background.pixels);
}

TEST(Windows1252Test, BytesMapToTheirUnicodeCodePoints) {
  const std::pair<uint8_t, char32_t> cases[] = {
      {0x41, U'A'}, {0x7E, U'~'},      {0x80, U'\u20AC'}, {0x81, 0},         {0x8A, U'\u0160'},
      {0x8D, 0},    {0x8F, 0},         {0x90, 0},         {0x93, U'\u201C'}, {0x99, U'\u2122'},
      {0x9D, 0},    {0x9F, U'\u0178'}, {0xA0, U'\u00A0'}, {0xE9, U'\u00E9'}, {0xFF, U'\u00FF'},
  };
  for (const auto& [byte, codePoint] : cases) {
    EXPECT_EQ(CodePointFromWindows1252(byte), codePoint) << std::hex << int(byte);
  }
}

}  // namespace
}  // namespace d3dx9_test
