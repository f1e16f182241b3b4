// Set-up stage: snaps triangle corners to 1/256 pixel, builds exact integer edge functions with
// the top-left fill rule folded in, and turns every attribute into a fixed-point plane. Both
// rasterisers start from this record, so they agree on coverage and on every attribute bit.
#include <algorithm>
#include <cmath>

#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {

namespace {

constexpr int64_t kOne = int64_t{1} << kSubPixelBits;

// std::llround without the library call: nearest integer, halves away from zero. Only for
// |v| < 2^63; every caller bounds its argument well inside that.
inline int64_t RoundHalfAway(double v) {
  const int64_t i = static_cast<int64_t>(v);  // truncates; exact once |v| >= 2^52 (v is whole)
  const double frac = v - static_cast<double>(i);  // exact: the fraction of a double fits one
  // Without branches: the fractions are as good as random, so a branch would mispredict.
  return i + static_cast<int64_t>(frac >= 0.5) - static_cast<int64_t>(frac <= -0.5);
}

int64_t Snap(double v) { return RoundHalfAway(v * static_cast<double>(kOne)); }

// Whether hypot(a, b) > limit, deciding from the squared length when it is clearly on one side.
bool LongerThan(double a, double b, double limit) {
  const double q = a * a + b * b, l2 = limit * limit;
  if (q > l2 * (1 + 1e-9)) return true;
  if (q < l2 * (1 - 1e-9)) return false;
  return std::hypot(a, b) > limit;
}

// Floor division of a (possibly negative) fixed-point value by one pixel.
int64_t FloorPx(int64_t v) { return v >> kSubPixelBits; }
int64_t CeilPx(int64_t v) { return -((-v) >> kSubPixelBits); }

double AttrOf(const ScreenVertex& v, int k, int tex_w, int tex_h) {
  switch (k) {
    case kAttrB: return v.b;
    case kAttrG: return v.g;
    case kAttrR: return v.r;
    case kAttrA: return v.a;
    case kAttrU: return static_cast<double>(v.u) * tex_w;
    default: return static_cast<double>(v.v) * tex_h;
  }
}

}  // namespace

bool SetupTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                   int tex_w, int tex_h, const PixelRect& clip, bool mag_linear,
                   bool min_linear, TriangleSetup& t) {
  const ScreenVertex* v[3] = {&a, &b, &c};
  int64_t X[3], Y[3];
  for (int k = 0; k < 3; ++k) {
    X[k] = Snap(v[k]->x);
    Y[k] = Snap(v[k]->y);
  }
  int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
  if (area == 0) return false;
  if (area < 0) {
    std::swap(v[1], v[2]);
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
    area = -area;
  }

  const int64_t min_x = std::min({X[0], X[1], X[2]}), max_x = std::max({X[0], X[1], X[2]});
  const int64_t min_y = std::min({Y[0], Y[1], Y[2]}), max_y = std::max({Y[0], Y[1], Y[2]});
  PixelRect box{static_cast<int>(CeilPx(min_x)), static_cast<int>(CeilPx(min_y)),
                static_cast<int>(FloorPx(max_x) + 1), static_cast<int>(FloorPx(max_y) + 1)};
  t.bounds = Intersect(box, clip);
  if (t.bounds.Empty()) return false;
  t.ox = t.bounds.left;
  t.oy = t.bounds.top;

  for (int k = 0; k < 3; ++k) {
    const int j = (k + 1) % 3;
    const int64_t dx = X[j] - X[k], dy = Y[j] - Y[k];
    const bool top_left = dy < 0 || (dy == 0 && dx > 0);
    t.ea[k] = -dy * kOne;
    t.eb[k] = dx * kOne;
    t.ec[k] = dx * (t.oy * kOne - Y[k]) - dy * (t.ox * kOne - X[k]) - (top_left ? 0 : 1);
  }

  const double x0 = X[0] / double(kOne), y0 = Y[0] / double(kOne);
  const double x1 = X[1] / double(kOne), y1 = Y[1] / double(kOne);
  const double x2 = X[2] / double(kOne), y2 = Y[2] / double(kOne);
  const double d = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
  for (int k = 0; k < kAttrCount; ++k) {
    const double scale = (k >= kAttrU) ? double(int64_t{1} << kTexFracBits)
                                       : double(int64_t{1} << kColorFracBits);
    const double a0 = AttrOf(*v[0], k, tex_w, tex_h);
    const double a1 = AttrOf(*v[1], k, tex_w, tex_h);
    const double a2 = AttrOf(*v[2], k, tex_w, tex_h);
    // Bounded so that stepping across the guard band cannot overflow.
    auto fix = [&](double val, double lim) {
      if (!std::isfinite(val)) return int64_t{0};
      return RoundHalfAway(std::clamp(val * scale, -lim, lim));
    };
    if (a0 == a1 && a0 == a2 && d != 0) {
      // A constant attribute (a sprite's tint): the general formulas give gradients of zero
      // and a0 itself at the origin (both 0 for infinite a0), so skip the divisions.
      t.attr[k] = {fix(a0, 4.0e18), 0, 0};
      continue;
    }
    const double gx = ((a1 - a0) * (y2 - y0) - (a2 - a0) * (y1 - y0)) / d;
    const double gy = ((a2 - a0) * (x1 - x0) - (a1 - a0) * (x2 - x0)) / d;
    const double at = a0 + gx * (t.ox - x0) + gy * (t.oy - y0);
    t.attr[k] = {fix(at, 4.0e18), fix(gx, 1.0e12), fix(gy, 1.0e12)};
  }
  if (min_linear == mag_linear) {
    t.linear = min_linear;  // the footprint cannot change the filter
  } else {
    const double limit = double(int64_t{1} << kTexFracBits) * 1.0001;
    const bool minified =
        LongerThan(double(t.attr[kAttrU].dx), double(t.attr[kAttrV].dx), limit) ||
        LongerThan(double(t.attr[kAttrU].dy), double(t.attr[kAttrV].dy), limit);
    t.linear = minified ? min_linear : mag_linear;
  }
  t.flat_color = a.b == b.b && a.b == c.b && a.g == b.g && a.g == c.g && a.r == b.r &&
                 a.r == c.r && a.a == b.a && a.a == c.a;
  return true;
}

}  // namespace platform::d3d9
