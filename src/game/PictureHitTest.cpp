#include "game/PictureHitTest.h"

#include <algorithm>
#include <cstring>

namespace d3d9 = platform::d3d9;

namespace {

uint32_t Read32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint16_t Read16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

bool CanReadAlpha(d3d9::D3DFORMAT format) {
  switch (format) {
    case d3d9::D3DFMT_A8R8G8B8:
    case d3d9::D3DFMT_X8R8G8B8:
    case d3d9::D3DFMT_A4R4G4B4:
    case d3d9::D3DFMT_X4R4G4B4:
    case d3d9::D3DFMT_A1R5G5B5:
    case d3d9::D3DFMT_X1R5G5B5:
    case d3d9::D3DFMT_R5G6B5:
      return true;
    default:
      return false;
  }
}

uint8_t TexelAlpha(const TLockedTexels& t, int32_t x, int32_t y) {
  const uint8_t* row = t.Bits + static_cast<std::ptrdiff_t>(y) * t.Pitch;
  switch (t.Format) {
    case d3d9::D3DFMT_A8R8G8B8:
      return static_cast<uint8_t>(Read32(row + static_cast<std::ptrdiff_t>(x) * 4) >> 24);
    case d3d9::D3DFMT_A4R4G4B4:
      return static_cast<uint8_t>((Read16(row + static_cast<std::ptrdiff_t>(x) * 2) >> 12) * 17);
    case d3d9::D3DFMT_A1R5G5B5:
      return (Read16(row + static_cast<std::ptrdiff_t>(x) * 2) & 0x8000) ? 255 : 0;
    default:
      return 255;  // no alpha channel: every texel is solid
  }
}

bool AnySolidTexel(const TLockedTexels& t, int64_t x, int64_t y, int32_t radius, int32_t threshold) {
  if (!t.Bits || !CanReadAlpha(t.Format) || t.Width <= 0 || t.Height <= 0) return false;
  const int64_t x0 = std::max<int64_t>(x - radius, 0);
  const int64_t x1 = std::min<int64_t>(x + radius, t.Width - 1);
  const int64_t y0 = std::max<int64_t>(y - radius, 0);
  const int64_t y1 = std::min<int64_t>(y + radius, t.Height - 1);
  for (int64_t px = x0; px <= x1; ++px) {
    for (int64_t py = y0; py <= y1; ++py) {
      if (TexelAlpha(t, static_cast<int32_t>(px), static_cast<int32_t>(py)) > threshold) return true;
    }
  }
  return false;
}
