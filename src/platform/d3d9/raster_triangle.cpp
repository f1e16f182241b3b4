// Rasterisation stage, reference path: every pixel centre of the clipped bounding box is tested
// against the three edge functions and, when inside, shaded by the generic per-pixel stages.
// Slow and plain on purpose; the fast paths are checked against it.
#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {

void RasterTriangleReference(const TriangleSetup& t, const DrawState& s, const Target& target,
                             const PixelRect& clip) {
  const PixelRect r = Intersect(t.bounds, clip);
  int64_t attrs[kAttrCount];
  for (int py = r.top; py < r.bottom; ++py) {
    uint32_t* row = target.pixels + static_cast<size_t>(py) * target.stride;
    for (int px = r.left; px < r.right; ++px) {
      bool inside = true;
      for (int k = 0; k < 3 && inside; ++k)
        inside = t.ec[k] + t.ea[k] * (px - t.ox) + t.eb[k] * (py - t.oy) >= 0;
      if (!inside) continue;
      for (int k = 0; k < kAttrCount; ++k) attrs[k] = t.attr[k].At(px, py, t.ox, t.oy);
      row[px] = ShadePixel(s, attrs, t.linear, row[px]);
    }
  }
}

}  // namespace platform::d3d9
