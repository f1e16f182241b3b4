// The pixel test behind InsidePicture: is there a solid texel near a point of a picture? It
// reads the picture's own rectangle of its texture through a lock, with the lock's row pitch
// and the texture's pixel format, and never outside the locked rectangle. Nothing here
// includes Lua. Main thread only.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"

// A locked rectangle of texels.
struct TLockedTexels {
  const uint8_t* Bits = nullptr;  // first texel of the rectangle
  int32_t Pitch = 0;              // bytes from one row to the next
  platform::d3d9::D3DFORMAT Format = platform::d3d9::D3DFMT_UNKNOWN;
  int32_t Width = 0, Height = 0;  // of the locked rectangle
};

// Whether the format's alpha can be read here (32-bit ARGB/XRGB, 16-bit ARGB/RGB).
bool CanReadAlpha(platform::d3d9::D3DFORMAT format);

// The alpha (0..255) of texel (X, Y), which lies inside the rectangle; formats without alpha
// read as opaque.
uint8_t TexelAlpha(const TLockedTexels& texels, int32_t x, int32_t y);

// True when a texel of the square X-Radius..X+Radius, Y-Radius..Y+Radius, clamped to the
// rectangle, has an alpha above Threshold. The scan stops at the first one. X and Y are 64-bit:
// a point's offset from its picture may lie outside the 32-bit range.
bool AnySolidTexel(const TLockedTexels& texels, int64_t x, int64_t y, int32_t radius, int32_t threshold);
