// The software device's pipeline, stage by stage: vertex transform, clipping, set-up,
// rasterisation, texture stage, blending. Shared by the reference rasteriser and the fast paths.
//
// Numbers follow Direct3D 9 so the system's pictures come out as they did there:
// - positions are row vectors, p x World x View x Projection, then the viewport maps clip space
//   to pixels with pixel centres at integer coordinates;
// - set-up snaps positions to 1/256 pixel so the top-left fill rule is decided exactly;
// - texture coordinates become fixed point in texel units, rounded to 1/256 texel before
//   sampling, so a sample exactly on a texel edge takes the texel to its right or below;
// - attributes are planes in fixed point, so evaluating a pixel directly or by stepping from a
//   neighbour gives the same bits (the fast paths rely on this to match the reference).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace platform::d3d9 {

// ---- Texels ---------------------------------------------------------------------------------

// Level 0 of a texture. bits hold the texels in the texture's own format (what LockRect shows);
// argb holds them widened to 0xAARRGGBB for sampling (the same buffer for 32-bit formats).
struct TexelStore {
  int width = 0;
  int height = 0;
  D3DFORMAT format = D3DFMT_A8R8G8B8;
  int pitch = 0;                 // bytes per row of bits
  std::vector<uint8_t> bits;     // level 0, own format
  std::vector<uint32_t> widened; // only for 16-bit formats
  bool opaque_format = false;    // X8R8G8B8: alpha reads 255
  bool all_opaque = false;       // every texel's alpha is 255 (so every sample's is)
  // Otherwise: 8 x 8 tiles holding a texel of alpha below 255, as 2-D prefix sums over
  // (tiles_w + 1) x (tiles_h + 1), so that any region can be asked whether it is opaque.
  std::vector<uint32_t> clear_tiles;
  int tiles_w = 0, tiles_h = 0;

  const uint32_t* Argb() const {
    return widened.empty() ? reinterpret_cast<const uint32_t*>(bits.data()) : widened.data();
  }
  // Re-derives the sampling copy and what is opaque after the bits changed.
  void Rewiden();
  // Whether every texel of columns [x_lo, x_hi] and rows [y_lo, y_hi] (wrapped) has alpha 255;
  // false may also mean that it could not tell.
  bool RegionOpaque(int64_t x_lo, int64_t x_hi, int64_t y_lo, int64_t y_hi) const;
};

int BytesPerTexel(D3DFORMAT format);

// ---- Render target --------------------------------------------------------------------------

struct Target {
  uint32_t* pixels = nullptr;  // 0xFFRRGGBB
  int width = 0;
  int height = 0;
  int stride = 0;  // in pixels
};

// Half-open pixel rectangle.
struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
};
inline PixelRect Intersect(const PixelRect& a, const PixelRect& b) {
  return {a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
          a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}

// ---- State captured per draw ----------------------------------------------------------------

struct StageState {
  DWORD color_op = D3DTOP_MODULATE;
  DWORD color_arg1 = D3DTA_TEXTURE;
  DWORD color_arg2 = D3DTA_CURRENT;
  DWORD alpha_op = D3DTOP_SELECTARG1;
  DWORD alpha_arg1 = D3DTA_TEXTURE;
  DWORD alpha_arg2 = D3DTA_CURRENT;
};

struct DrawState {
  std::shared_ptr<const TexelStore> texture;  // null: TEXTURE reads opaque white
  StageState stage;
  D3DCOLOR tfactor = 0xFFFFFFFF;
  bool mag_linear = false;  // sampler filters: LINEAR or ANISOTROPIC
  bool min_linear = false;
  bool blend = false;
  DWORD src_blend = D3DBLEND_ONE;
  DWORD dest_blend = D3DBLEND_ZERO;
  DWORD blend_op = D3DBLENDOP_ADD;
  PixelRect clip;  // render target, intersected with the scissor rectangle when it is on
};

// ---- Vertex transform -----------------------------------------------------------------------

struct Matrix4 {
  double m[4][4];
  static Matrix4 From(const D3DMATRIX& d);
  static Matrix4 Identity();
};
Matrix4 Multiply(const Matrix4& a, const Matrix4& b);  // a acts first (row vectors)

// A vertex after transform: clip-space position and the attributes the stages read.
struct ClipVertex {
  double x, y, z, w;
  float b, g, r, a;  // diffuse, 0..255
  float u, v;
};

struct Viewport {
  double x, y, width, height;
};

// Bytes a vertex of this untransformed format occupies (texture coordinates as pairs).
UINT FvfSize(DWORD fvf);

// Reads vertex `index` of a stream laid out by fvf/stride and transforms it. Missing components
// read as the platform's defaults (diffuse opaque white, texture coordinates 0).
ClipVertex TransformVertex(const uint8_t* stream, UINT stride, DWORD fvf, UINT index,
                           const Matrix4& wvp, bool lighting);

// ---- Clipping --------------------------------------------------------------------------------

// A vertex in pixels after the viewport, before set-up.
struct ScreenVertex {
  double x, y;
  float b, g, r, a;
  float u, v;
};

// Clips a triangle against the near/far planes and a guard band far outside any target, so that
// set-up works with bounded fixed-point numbers; the target itself is clipped by rasterisation.
// Appends 0 or more triangles (as vertex triples) to out.
void ClipTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c,
                  const Viewport& vp, std::vector<ScreenVertex>& out);
// A vertex projected once for every triangle that shares it: inside tells that no plane or
// guard band cuts it, and then screen is where it lands.
struct ProjectedVertex {
  ScreenVertex screen;
  bool inside;
};
ProjectedVertex ProjectVertex(const ClipVertex& v, const Viewport& vp);
// ClipTriangle given the corners' projections as well (the same result, computed once).
void ClipTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c,
                  const ProjectedVertex& pa, const ProjectedVertex& pb,
                  const ProjectedVertex& pc, const Viewport& vp,
                  std::vector<ScreenVertex>& out);
// The same for a line segment; appends 0 or 2 vertices.
void ClipLine(const ClipVertex& a, const ClipVertex& b, const Viewport& vp,
              std::vector<ScreenVertex>& out);

// ---- Set-up ---------------------------------------------------------------------------------

constexpr int kSubPixelBits = 8;
constexpr int kTexFracBits = 24;    // texel coordinates: texel units, 24 fraction bits
constexpr int kColorFracBits = 16;  // colour channels: 0..255 with 16 fraction bits

// An attribute as a plane: value(px, py) = at_origin + dx * (px - ox) + dy * (py - oy).
struct Plane {
  int64_t at_origin, dx, dy;
  int64_t At(int px, int py, int ox, int oy) const {
    return at_origin + dx * (px - ox) + dy * (py - oy);
  }
};

enum Attr { kAttrB, kAttrG, kAttrR, kAttrA, kAttrU, kAttrV, kAttrCount };

struct TriangleSetup {
  // Edge k: e(px, py) = c + a * (px - ox) + b * (py - oy) evaluated at pixel centres; the pixel
  // is inside when every e >= 0 (the top-left rule is folded into c).
  int64_t ea[3], eb[3], ec[3];
  int ox, oy;        // plane origin (top-left of the bounding box)
  PixelRect bounds;  // covered pixels lie inside
  Plane attr[kAttrCount];
  bool flat_color;   // every vertex has the same diffuse colour
  bool linear;       // bilinear sampling (the sampler's filter for this triangle's footprint)
};

// Returns false when the triangle covers no pixel centre (degenerate or outside bounds).
// tex_w/tex_h scale u/v into texel units (1 when no texture). The filter is the minification
// filter when a pixel step covers more than one texel, else the magnification filter.
bool SetupTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                   int tex_w, int tex_h, const PixelRect& clip, bool mag_linear,
                   bool min_linear, TriangleSetup& out);

struct LineSetup {
  ScreenVertex v0, v1;
  int tex_w, tex_h;
};

// ---- Texture stage and blending (one pixel; the reference definitions) ----------------------

struct Color {
  int b, g, r, a;  // 0..255
};

inline Color Unpack(uint32_t argb) {
  return {static_cast<int>(argb & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
          static_cast<int>((argb >> 16) & 0xFF), static_cast<int>(argb >> 24)};
}
inline uint32_t Pack(const Color& c) {
  return static_cast<uint32_t>(c.b) | (static_cast<uint32_t>(c.g) << 8) |
         (static_cast<uint32_t>(c.r) << 16) | (static_cast<uint32_t>(c.a) << 24);
}
// a * b / 255 rounded to nearest, for 0..255 inputs.
inline int Mul255(int a, int b) {
  int t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

// Texel coordinates in kTexFracBits fixed point. Wrap addressing, level 0.
Color SampleTexture(const TexelStore& tex, int64_t u, int64_t v, bool linear);
Color CombineStage(const StageState& stage, const Color& tex, const Color& diffuse,
                   D3DCOLOR tfactor);
uint32_t BlendPixel(const DrawState& s, const Color& src, uint32_t dst);

// Shades one pixel given its interpolated attributes (fixed point as in the planes).
// ShadedSource is the colour that reaches the blend.
Color ShadedSource(const DrawState& s, const int64_t attrs[kAttrCount], bool linear);
uint32_t ShadePixel(const DrawState& s, const int64_t attrs[kAttrCount], bool linear,
                    uint32_t dst);

// ---- Rasterisation --------------------------------------------------------------------------

// Reference: every pixel centre of clip tested and shaded by the generic stages.
void RasterTriangleReference(const TriangleSetup& t, const DrawState& s, const Target& target,
                             const PixelRect& clip);
// Fast: a kernel specialised for the state when one applies, else the reference.
void RasterTriangleFast(const TriangleSetup& t, const DrawState& s, const Target& target,
                        const PixelRect& clip);
// One-pixel line with the last pixel left out (the diamond-exit rule for lines).
void RasterLine(const LineSetup& l, const DrawState& s, const Target& target,
                const PixelRect& clip);
// Coverage mask times colour, source-over.
void RasterCoverage(int x, int y, int w, int h, const uint8_t* coverage, int pitch,
                    D3DCOLOR color, const Target& target, const PixelRect& clip);
void FillRect(uint32_t argb, const Target& target, const PixelRect& rect);

// Whether a triangle writes every pixel it covers without reading the target: blending off, or
// SRCALPHA / INVSRCALPHA blending where every output alpha is provably 255.
bool WritesOpaque(const TriangleSetup& t, const DrawState& s);
// The columns [left, right) that a, with b when given, covers on every row of rect, as the
// rasterisers decide coverage, drawing clipped to clip; false when there are none.
bool CoveredColumns(const TriangleSetup& a, const TriangleSetup* b, const PixelRect& clip,
                    const PixelRect& rect, int* left, int* right);

}  // namespace platform::d3d9
