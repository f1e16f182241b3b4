// Blending stage and the one-pixel shading routine the reference rasteriser runs per pixel.
// The back buffer has no alpha (X8R8G8B8): destination alpha reads as 255 and every written
// pixel keeps 0xFF in its top byte.
#include <algorithm>

#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {
namespace {

// Rounded division by 255, exact up to 255 * 255 and saturating above it.
inline int Div255Sat(int t) {
  t += 128;
  return std::min(255, (t + (t >> 8)) >> 8);
}

int Factor(DWORD blend, int src_c, int src_a, int dst_c) {
  switch (blend) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 255;
    case D3DBLEND_SRCCOLOR: return src_c;
    case D3DBLEND_INVSRCCOLOR: return 255 - src_c;
    case D3DBLEND_SRCALPHA: return src_a;
    case D3DBLEND_INVSRCALPHA: return 255 - src_a;
    case D3DBLEND_DESTALPHA: return 255;
    case D3DBLEND_INVDESTALPHA: return 0;
    case D3DBLEND_DESTCOLOR: return dst_c;
    case D3DBLEND_INVDESTCOLOR: return 255 - dst_c;
    default: return 255;
  }
}

int BlendChannel(const DrawState& s, int src, int src_a, int dst) {
  const int ps = src * Factor(s.src_blend, src, src_a, dst);
  const int pd = dst * Factor(s.dest_blend, src, src_a, dst);
  switch (s.blend_op) {
    case D3DBLENDOP_SUBTRACT: return ps > pd ? Div255Sat(ps - pd) : 0;
    case D3DBLENDOP_REVSUBTRACT: return pd > ps ? Div255Sat(pd - ps) : 0;
    case D3DBLENDOP_MIN: return std::min(src, dst);
    case D3DBLENDOP_MAX: return std::max(src, dst);
    default: return Div255Sat(ps + pd);
  }
}

}  // namespace

uint32_t BlendPixel(const DrawState& s, const Color& src, uint32_t dst) {
  if (!s.blend) return Pack({src.b, src.g, src.r, 255});
  const Color d = Unpack(dst);
  return Pack({BlendChannel(s, src.b, src.a, d.b), BlendChannel(s, src.g, src.a, d.g),
               BlendChannel(s, src.r, src.a, d.r), 255});
}

Color ShadedSource(const DrawState& s, const int64_t attrs[kAttrCount], bool linear) {
  auto channel = [&](int k) {
    const int64_t v = (attrs[k] + (int64_t{1} << (kColorFracBits - 1))) >> kColorFracBits;
    return static_cast<int>(std::clamp<int64_t>(v, 0, 255));
  };
  const Color diffuse{channel(kAttrB), channel(kAttrG), channel(kAttrR), channel(kAttrA)};
  const Color tex = s.texture ? SampleTexture(*s.texture, attrs[kAttrU], attrs[kAttrV], linear)
                              : Color{255, 255, 255, 255};
  return CombineStage(s.stage, tex, diffuse, s.tfactor);
}

uint32_t ShadePixel(const DrawState& s, const int64_t attrs[kAttrCount], bool linear,
                    uint32_t dst) {
  return BlendPixel(s, ShadedSource(s, attrs, linear), dst);
}

void FillRect(uint32_t argb, const Target& target, const PixelRect& rect) {
  const uint32_t v = argb | 0xFF000000u;
  for (int y = rect.top; y < rect.bottom; ++y)
    std::fill(target.pixels + static_cast<size_t>(y) * target.stride + rect.left,
              target.pixels + static_cast<size_t>(y) * target.stride + rect.right, v);
}

void RasterCoverage(int x, int y, int w, int h, const uint8_t* coverage, int pitch,
                    D3DCOLOR color, const Target& target, const PixelRect& clip) {
  const PixelRect r = Intersect({x, y, x + w, y + h}, clip);
  const Color c = Unpack(color);
  for (int py = r.top; py < r.bottom; ++py) {
    const uint8_t* row = coverage + static_cast<ptrdiff_t>(py - y) * pitch;
    uint32_t* out = target.pixels + static_cast<size_t>(py) * target.stride;
    for (int px = r.left; px < r.right; ++px) {
      const int a = Mul255(row[px - x], c.a);
      if (a == 0) continue;
      const Color d = Unpack(out[px]);
      out[px] = Pack({Div255Sat(c.b * a + d.b * (255 - a)), Div255Sat(c.g * a + d.g * (255 - a)),
                      Div255Sat(c.r * a + d.r * (255 - a)), 255});
    }
  }
}

}  // namespace platform::d3d9
