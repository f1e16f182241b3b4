// FreeType glyph rendering and the Windows-1252 code page for the D3DX font.
#include "platform/d3dx9/d3dx9_glyph_cache.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>

namespace platform::d3dx9 {

std::unique_ptr<GlyphCache> GlyphCache::Open(const std::string& fontFile, int height, int width,
                                             std::string& error) {
  std::unique_ptr<GlyphCache> cache(new GlyphCache());
  if (FT_Init_FreeType(&cache->library_) != 0) {
    error = "FreeType could not start";
    return nullptr;
  }
  if (FT_New_Face(cache->library_, fontFile.c_str(), 0, &cache->face_) != 0) {
    error = "cannot open font " + fontFile;
    return nullptr;
  }
  FT_Face face = cache->face_;
  if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
    error = "font is not scalable: " + fontFile;
    return nullptr;
  }
  double ascentUnits = face->ascender;
  double descentUnits = -face->descender;
  double averageUnits = face->units_per_EM / 2.0;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)); os2 != nullptr) {
    if (os2->usWinAscent + os2->usWinDescent > 0) {
      ascentUnits = os2->usWinAscent;
      descentUnits = os2->usWinDescent;
    }
    if (os2->xAvgCharWidth > 0) averageUnits = os2->xAvgCharWidth;
  }
  const double cellUnits = ascentUnits + descentUnits;
  if (cellUnits <= 0) {
    error = "font has no vertical metrics: " + fontFile;
    return nullptr;
  }
  const double em = face->units_per_EM;
  // Windows fonts: a positive height is the cell, a negative one the em; 0 asks for a default.
  const int requested = height == 0 ? 16 : height;
  const double cellPixels = requested > 0 ? requested : -requested * cellUnits / em;
  const double emPixels = cellPixels * em / cellUnits;
  const double emWidthPixels = width > 0 ? width * em / averageUnits : emPixels;
  FT_Size_RequestRec size{};
  size.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
  size.height = static_cast<FT_Long>(std::lround(emPixels * 64));
  if (width > 0) size.width = static_cast<FT_Long>(std::lround(emWidthPixels * 64));
  if (FT_Request_Size(face, &size) != 0) {
    error = "cannot size font " + fontFile;
    return nullptr;
  }
  cache->lineHeight_ = static_cast<int>(std::lround(cellPixels));
  cache->ascent_ = static_cast<int>(std::lround(cellPixels * ascentUnits / cellUnits));
  cache->averageWidth_ = static_cast<int>(std::lround(emWidthPixels * averageUnits / em));
  return cache;
}

GlyphCache::~GlyphCache() {
  if (face_ != nullptr) FT_Done_Face(face_);
  if (library_ != nullptr) FT_Done_FreeType(library_);
}

const Glyph& GlyphCache::Get(char32_t codePoint) {
  auto found = glyphs_.find(codePoint);
  if (found != glyphs_.end()) return found->second;
  Glyph& glyph = glyphs_[codePoint];

  const FT_UInt index = FT_Get_Char_Index(face_, codePoint);
  if (FT_Load_Glyph(face_, index, FT_LOAD_DEFAULT) != 0) return glyph;
  FT_GlyphSlot slot = face_->glyph;
  glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return glyph;

  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) {
    return glyph;
  }
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.width = static_cast<int>(bitmap.width);
  glyph.height = static_cast<int>(bitmap.rows);
  glyph.coverage.resize(size_t(glyph.width) * glyph.height);
  const int pitch = std::abs(bitmap.pitch);
  for (int y = 0; y < glyph.height; ++y) {
    // A negative pitch means the rows are stored bottom-up.
    const int sourceRow = bitmap.pitch >= 0 ? y : glyph.height - 1 - y;
    const uint8_t* source = bitmap.buffer + size_t(sourceRow) * pitch;
    uint8_t* out = glyph.coverage.data() + size_t(y) * glyph.width;
    for (int x = 0; x < glyph.width; ++x) {
      if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        out[x] = bitmap.num_grays == 256
                     ? source[x]
                     : static_cast<uint8_t>(source[x] * 255 / (bitmap.num_grays - 1));
      } else {
        out[x] = (source[x >> 3] & (0x80 >> (x & 7))) != 0 ? 255 : 0;
      }
    }
  }
  return glyph;
}

char32_t CodePointFromWindows1252(uint8_t byte) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

std::string FindDejaVuSans(bool bold) {
  const std::string name = bold ? "DejaVuSans-Bold.ttf" : "DejaVuSans.ttf";
  std::vector<std::string> folders = {
      "/usr/share/fonts/truetype/dejavu",    // Debian, Ubuntu
      "/usr/share/fonts/TTF",                // Arch
      "/usr/share/fonts/dejavu-sans-fonts",  // Fedora
      "/usr/share/fonts/dejavu",
      "/usr/share/fonts/truetype",
      "/usr/local/share/fonts",
  };
  if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome != nullptr && *dataHome) {
    folders.push_back(std::string(dataHome) + "/fonts");
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home) {
    folders.push_back(std::string(home) + "/.local/share/fonts");
    folders.push_back(std::string(home) + "/.fonts");
  }
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
  }
  return {};
}

}  // namespace platform::d3dx9
