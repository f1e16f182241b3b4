// Rendered glyphs of one FreeType face at one size, for the D3DX font. Each glyph is rendered
// once, as an 8-bit coverage bitmap, on first use and kept for the life of the cache (the font
// draws single-byte text, so at most a few hundred glyphs are ever kept).
//
// Metrics follow Windows fonts: the cell height is the face's Windows ascent plus descent (its
// OS/2 table, or the horizontal header when that is missing), a positive height asks for that
// cell height and a negative one for the em size, a nonzero width asks for that average
// character width (the OS/2 table's, else half the em) by stretching the em across, and pen
// positions advance by whole pixels with no kerning.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace platform::d3dx9 {

struct Glyph {
  int left = 0;  // from the pen position to the bitmap's first column
  int top = 0;   // from the baseline up to the bitmap's first row
  int width = 0;
  int height = 0;
  int advance = 0;                // whole pixels
  std::vector<uint8_t> coverage;  // width * height, rows top to bottom
};

class GlyphCache {
 public:
  // Opens the font file and sets the size (width 0: the face's own proportions); null with a
  // reason on failure.
  static std::unique_ptr<GlyphCache> Open(const std::string& fontFile, int height, int width,
                                          std::string& error);
  ~GlyphCache();
  GlyphCache(const GlyphCache&) = delete;
  GlyphCache& operator=(const GlyphCache&) = delete;

  int Ascent() const { return ascent_; }
  int LineHeight() const { return lineHeight_; }
  int AverageWidth() const { return averageWidth_; }

  // The glyph of a Unicode code point; a character the face lacks gives its missing-glyph
  // shape, and a glyph FreeType cannot render gives an empty one.
  const Glyph& Get(char32_t codePoint);
  size_t CachedGlyphs() const { return glyphs_.size(); }

 private:
  GlyphCache() = default;

  FT_LibraryRec_* library_ = nullptr;
  FT_FaceRec_* face_ = nullptr;
  int ascent_ = 0;
  int lineHeight_ = 0;
  int averageWidth_ = 0;
  std::unordered_map<char32_t, Glyph> glyphs_;
};

// The Unicode code point of a Windows-1252 byte; 0 for the five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D).
char32_t CodePointFromWindows1252(uint8_t byte);

// The DejaVu Sans file (bold or regular) from the standard font folders; "" when none is found.
std::string FindDejaVuSans(bool bold);

}  // namespace platform::d3dx9
