// Line set-up and rasterisation: one-pixel lines by the diamond-exit rule, which lights the
// pixel of every column (or row) whose centre line the segment leaves, so the last pixel of a
// segment is left out and strips join without doubling a pixel. Positions are snapped to 1/256
// pixel as for triangles; attributes are interpolated along the major axis.
#include <cmath>
#include <cstdlib>

#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {
namespace {

constexpr int64_t kOne = int64_t{1} << kSubPixelBits;
constexpr int64_t kHalf = kOne / 2;

int64_t FloorDiv(int64_t a) { return a >> kSubPixelBits; }
int64_t CeilDiv(int64_t a) { return -((-a) >> kSubPixelBits); }

}  // namespace

void RasterLine(const LineSetup& l, const DrawState& s, const Target& target,
                const PixelRect& clip) {
  const int64_t X0 = std::llround(l.v0.x * kOne), Y0 = std::llround(l.v0.y * kOne);
  const int64_t X1 = std::llround(l.v1.x * kOne), Y1 = std::llround(l.v1.y * kOne);
  const int64_t dx = X1 - X0, dy = Y1 - Y0;
  if (dx == 0 && dy == 0) return;
  const bool x_major = std::llabs(dx) >= std::llabs(dy);
  // Major axis in fixed point: start, end and the minor coordinate at the start.
  const int64_t a0 = x_major ? X0 : Y0, a1 = x_major ? X1 : Y1;
  int64_t first, last;  // pixel indices along the major axis, inclusive
  if (a1 > a0) {
    first = FloorDiv(a0 - kHalf) + 1;
    last = FloorDiv(a1 - kHalf);
  } else {
    first = CeilDiv(a1 + kHalf);
    last = CeilDiv(a0 + kHalf) - 1;
  }
  if (first > last) return;
  const int lo_bound = x_major ? clip.left : clip.top;
  const int hi_bound = x_major ? clip.right : clip.bottom;
  if (first < lo_bound) first = lo_bound;
  if (last >= hi_bound) last = hi_bound - 1;

  const double major0 = static_cast<double>(a0) / kOne;
  const double span = static_cast<double>(a1 - a0) / kOne;
  const double minor0 = static_cast<double>(x_major ? Y0 : X0) / kOne;
  const double minor_span = static_cast<double>(x_major ? dy : dx) / kOne;
  const float from[kAttrCount] = {l.v0.b, l.v0.g, l.v0.r, l.v0.a, l.v0.u * l.tex_w,
                                  l.v0.v * l.tex_h};
  const float to[kAttrCount] = {l.v1.b, l.v1.g, l.v1.r, l.v1.a, l.v1.u * l.tex_w,
                                l.v1.v * l.tex_h};
  int64_t attrs[kAttrCount];
  // A line of one colour and one texture coordinate (the frame's border lines) shades every
  // pixel alike: from + (to - from) * t is from itself.
  bool constant = true;
  for (int k = 0; k < kAttrCount; ++k)
    constant = constant && from[k] == to[k] && std::isfinite(from[k]);
  Color src{};
  bool overwrite = false;  // the blend gives src whatever the target holds
  if (constant) {
    for (int k = 0; k < kAttrCount; ++k) {
      const double scale = double(int64_t{1} << (k >= kAttrU ? kTexFracBits : kColorFracBits));
      attrs[k] = std::llround(from[k] * scale);
    }
    src = ShadedSource(s, attrs, s.mag_linear);
    overwrite = !s.blend || (s.blend_op == D3DBLENDOP_ADD && s.src_blend == D3DBLEND_SRCALPHA &&
                             s.dest_blend == D3DBLEND_INVSRCALPHA && src.a == 255);
  }
  const uint32_t overwritten = Pack({src.b, src.g, src.r, 255});
  for (int64_t i = first; i <= last; ++i) {
    const double t = (static_cast<double>(i) - major0) / span;
    const int64_t m = static_cast<int64_t>(std::floor(minor0 + t * minor_span + 0.5));
    const int64_t px = x_major ? i : m, py = x_major ? m : i;
    if (px < clip.left || px >= clip.right || py < clip.top || py >= clip.bottom) continue;
    uint32_t& out = target.pixels[static_cast<size_t>(py) * target.stride + px];
    if (constant) {
      out = overwrite ? overwritten : BlendPixel(s, src, out);
      continue;
    }
    for (int k = 0; k < kAttrCount; ++k) {
      const double scale = double(int64_t{1} << (k >= kAttrU ? kTexFracBits : kColorFracBits));
      attrs[k] = std::llround((from[k] + (to[k] - from[k]) * t) * scale);
    }
    out = ShadePixel(s, attrs, s.mag_linear, out);
  }
}

}  // namespace platform::d3d9
