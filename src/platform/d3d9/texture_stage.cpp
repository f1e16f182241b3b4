// Texture stage: sampling of level 0 (wrap addressing, point or bilinear) and the colour and
// alpha operations of fixed-function stage 0. These are the reference definitions; the fast
// paths reproduce them bit for bit.
#include <algorithm>

#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {
namespace {

int Wrap(int64_t i, int n) {
  const int64_t r = i % n;
  return static_cast<int>(r < 0 ? r + n : r);
}

Color Arg(DWORD arg, const Color& tex, const Color& diffuse, const Color& tfactor) {
  Color c;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
    case D3DTA_CURRENT:  // stage 0: the current colour is the diffuse colour
      c = diffuse;
      break;
    case D3DTA_TEXTURE:
      c = tex;
      break;
    case D3DTA_TFACTOR:
      c = tfactor;
      break;
    default:  // TEMP, SPECULAR, CONSTANT: registers that the system never writes read 0
      c = {0, 0, 0, 0};
      break;
  }
  if (arg & D3DTA_COMPLEMENT) c = {255 - c.b, 255 - c.g, 255 - c.r, 255 - c.a};
  if (arg & D3DTA_ALPHAREPLICATE) c = {c.a, c.a, c.a, c.a};
  return c;
}

int Op(DWORD op, int a1, int a2, int diffuse) {
  switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return Mul255(a1, a2);
    case D3DTOP_MODULATE2X: return std::min(255, 2 * Mul255(a1, a2));
    case D3DTOP_MODULATE4X: return std::min(255, 4 * Mul255(a1, a2));
    case D3DTOP_ADD: return std::min(255, a1 + a2);
    case D3DTOP_ADDSIGNED: return std::clamp(a1 + a2 - 128, 0, 255);
    case D3DTOP_ADDSIGNED2X: return std::clamp(2 * (a1 + a2 - 128), 0, 255);
    case D3DTOP_SUBTRACT: return std::max(0, a1 - a2);
    case D3DTOP_DISABLE: return diffuse;
    default: return a1;  // operations the system never selects
  }
}

}  // namespace

Color SampleTexture(const TexelStore& tex, int64_t u, int64_t v, bool linear) {
  constexpr int kDrop = kTexFracBits - 8;
  // Round to 1/256 texel first: a coordinate a hair below a texel edge counts as on it.
  const int64_t uq = (u + (int64_t{1} << (kDrop - 1))) >> kDrop;
  const int64_t vq = (v + (int64_t{1} << (kDrop - 1))) >> kDrop;
  const uint32_t* texels = tex.Argb();
  const int w = tex.width, h = tex.height;
  Color c;
  if (!linear) {
    c = Unpack(texels[static_cast<size_t>(Wrap(vq >> 8, h)) * w + Wrap(uq >> 8, w)]);
  } else {
    const int64_t ul = uq - 128, vl = vq - 128;
    const int fu = static_cast<int>(ul & 255), fv = static_cast<int>(vl & 255);
    const int x0 = Wrap(ul >> 8, w), x1 = Wrap((ul >> 8) + 1, w);
    const int y0 = Wrap(vl >> 8, h), y1 = Wrap((vl >> 8) + 1, h);
    const Color c00 = Unpack(texels[static_cast<size_t>(y0) * w + x0]);
    const Color c10 = Unpack(texels[static_cast<size_t>(y0) * w + x1]);
    const Color c01 = Unpack(texels[static_cast<size_t>(y1) * w + x0]);
    const Color c11 = Unpack(texels[static_cast<size_t>(y1) * w + x1]);
    auto mix = [&](int p00, int p10, int p01, int p11) {
      const int top = p00 * (256 - fu) + p10 * fu;
      const int bot = p01 * (256 - fu) + p11 * fu;
      return (top * (256 - fv) + bot * fv + 32768) >> 16;
    };
    c = {mix(c00.b, c10.b, c01.b, c11.b), mix(c00.g, c10.g, c01.g, c11.g),
         mix(c00.r, c10.r, c01.r, c11.r), mix(c00.a, c10.a, c01.a, c11.a)};
  }
  if (tex.opaque_format) c.a = 255;
  return c;
}

Color CombineStage(const StageState& st, const Color& tex, const Color& diffuse,
                   D3DCOLOR tfactor) {
  const Color tf = Unpack(tfactor);
  Color out;
  if (st.color_op == D3DTOP_DISABLE) return diffuse;  // stage 0 off: the diffuse colour
  const Color c1 = Arg(st.color_arg1, tex, diffuse, tf);
  const Color c2 = Arg(st.color_arg2, tex, diffuse, tf);
  out.b = Op(st.color_op, c1.b, c2.b, diffuse.b);
  out.g = Op(st.color_op, c1.g, c2.g, diffuse.g);
  out.r = Op(st.color_op, c1.r, c2.r, diffuse.r);
  const Color a1 = Arg(st.alpha_arg1, tex, diffuse, tf);
  const Color a2 = Arg(st.alpha_arg2, tex, diffuse, tf);
  out.a = Op(st.alpha_op, a1.a, a2.a, diffuse.a);
  return out;
}

}  // namespace platform::d3d9
