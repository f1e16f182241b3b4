// Clipping stage: near and far planes in clip space, then a guard band in pixels. The guard band
// lies far outside any render target; it exists only to keep set-up's fixed-point numbers
// bounded, so primitives much larger than the target (the frame's background is twice the
// screen) keep their exact edges. The target and scissor are applied during rasterisation.
//
// Attributes are interpolated linearly in screen space after clipping; the system draws only
// with an orthographic projection (w = 1), where that is exact.
#include <cmath>

#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {
namespace {

constexpr double kGuard = 262144.0;  // pixels; 2^18 keeps set-up products inside int64
constexpr int kMaxPoly = 16;

struct Poly {
  ClipVertex v[kMaxPoly];
  int n = 0;
};

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, double t) {
  ClipVertex r;
  r.x = a.x + (b.x - a.x) * t;
  r.y = a.y + (b.y - a.y) * t;
  r.z = a.z + (b.z - a.z) * t;
  r.w = a.w + (b.w - a.w) * t;
  const float ft = static_cast<float>(t);
  r.b = a.b + (b.b - a.b) * ft;
  r.g = a.g + (b.g - a.g) * ft;
  r.r = a.r + (b.r - a.r) * ft;
  r.a = a.a + (b.a - a.a) * ft;
  r.u = a.u + (b.u - a.u) * ft;
  r.v = a.v + (b.v - a.v) * ft;
  return r;
}

// Keeps the part of the polygon where dist(v) >= 0.
template <typename Dist>
void ClipPoly(Poly& p, Dist dist) {
  if (p.n == 0) return;
  Poly out;
  for (int i = 0; i < p.n; ++i) {
    const ClipVertex& a = p.v[i];
    const ClipVertex& b = p.v[(i + 1) % p.n];
    const double da = dist(a), db = dist(b);
    if (da >= 0 && out.n < kMaxPoly) out.v[out.n++] = a;
    if ((da >= 0) != (db >= 0) && out.n < kMaxPoly) out.v[out.n++] = Lerp(a, b, da / (da - db));
  }
  p = out;
}

// Vertices at exactly z = w (z = 1 under the system's orthographic projection) are kept.
double NearDist(const ClipVertex& v) { return v.z + 1e-7 * std::fabs(v.w); }
double FarDist(const ClipVertex& v) { return v.w - v.z + 1e-6 * std::fabs(v.w); }

ScreenVertex Project(const ClipVertex& c, const Viewport& vp) {
  const double w = c.w > 1e-12 ? c.w : 1e-12;
  ScreenVertex s;
  // Orthographic projections give w = 1, where the division changes nothing.
  const double px = w == 1.0 ? c.x : c.x / w, py = w == 1.0 ? c.y : c.y / w;
  s.x = vp.x + (px + 1.0) * 0.5 * vp.width;
  s.y = vp.y + (1.0 - py) * 0.5 * vp.height;
  s.b = c.b;
  s.g = c.g;
  s.r = c.r;
  s.a = c.a;
  s.u = c.u;
  s.v = c.v;
  return s;
}

void ClipPlanes(Poly& p, const Viewport& vp) {
  ClipPoly(p, NearDist);
  ClipPoly(p, FarDist);
  ClipPoly(p, [](const ClipVertex& v) { return v.w - 1e-9; });
  // Guard band, expressed in clip space so that the division comes after clipping.
  const double sx = 0.5 * vp.width, sy = 0.5 * vp.height;
  if (sx <= 0 || sy <= 0) {
    p.n = 0;
    return;
  }
  const double gx_hi = (kGuard - vp.x) / sx - 1.0, gx_lo = (-kGuard - vp.x) / sx - 1.0;
  const double gy_hi = 1.0 - (-kGuard - vp.y) / sy, gy_lo = 1.0 - (kGuard - vp.y) / sy;
  ClipPoly(p, [&](const ClipVertex& v) { return gx_hi * v.w - v.x; });
  ClipPoly(p, [&](const ClipVertex& v) { return v.x - gx_lo * v.w; });
  ClipPoly(p, [&](const ClipVertex& v) { return gy_hi * v.w - v.y; });
  ClipPoly(p, [&](const ClipVertex& v) { return v.y - gy_lo * v.w; });
}

bool Finite(const ClipVertex& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// Whether no plane or guard band cuts the vertex; then s holds its projection.
bool Inside(const ClipVertex& v, const Viewport& vp, ScreenVertex& s) {
  if (!(NearDist(v) >= 0 && FarDist(v) >= 0 && v.w > 1e-9)) return false;
  s = Project(v, vp);
  return std::fabs(s.x) < kGuard && std::fabs(s.y) < kGuard;
}

bool Inside(const ClipVertex& v, const Viewport& vp) {
  ScreenVertex s;
  return Inside(v, vp, s);
}

}  // namespace

ProjectedVertex ProjectVertex(const ClipVertex& v, const Viewport& vp) {
  ProjectedVertex p;
  p.inside = Finite(v) && Inside(v, vp, p.screen);
  return p;
}

void ClipTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c,
                  const ProjectedVertex& pa, const ProjectedVertex& pb,
                  const ProjectedVertex& pc, const Viewport& vp,
                  std::vector<ScreenVertex>& out) {
  if (pa.inside && pb.inside && pc.inside) {
    out.push_back(pa.screen);
    out.push_back(pb.screen);
    out.push_back(pc.screen);
    return;
  }
  ClipTriangle(a, b, c, vp, out);
}

void ClipTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c,
                  const Viewport& vp, std::vector<ScreenVertex>& out) {
  if (!Finite(a) || !Finite(b) || !Finite(c)) return;
  // The common case: nothing to clip.
  if (Inside(a, vp) && Inside(b, vp) && Inside(c, vp)) {
    out.push_back(Project(a, vp));
    out.push_back(Project(b, vp));
    out.push_back(Project(c, vp));
    return;
  }
  Poly p;
  p.v[0] = a;
  p.v[1] = b;
  p.v[2] = c;
  p.n = 3;
  ClipPlanes(p, vp);
  for (int i = 1; i + 1 < p.n; ++i) {
    out.push_back(Project(p.v[0], vp));
    out.push_back(Project(p.v[i], vp));
    out.push_back(Project(p.v[i + 1], vp));
  }
}

void ClipLine(const ClipVertex& a, const ClipVertex& b, const Viewport& vp,
              std::vector<ScreenVertex>& out) {
  if (!Finite(a) || !Finite(b)) return;
  if (Inside(a, vp) && Inside(b, vp)) {
    out.push_back(Project(a, vp));
    out.push_back(Project(b, vp));
    return;
  }
  // A segment is a degenerate polygon: clip a-b-a and keep the first two distinct vertices.
  Poly p;
  p.v[0] = a;
  p.v[1] = b;
  p.n = 2;
  ClipPlanes(p, vp);
  if (p.n >= 2) {
    out.push_back(Project(p.v[0], vp));
    out.push_back(Project(p.v[1], vp));
  }
}

}  // namespace platform::d3d9
