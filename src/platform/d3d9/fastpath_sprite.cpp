// Fast paths for what 2-D games draw all the time: textured quads (axis-aligned or rotated) with
// point or bilinear sampling, MODULATE by a constant or per-vertex colour, the tint silhouette
// (ADD of TEMP and TFACTOR), opaque, alpha-blended and additive output, and untextured fills.
//
// Each triangle row is cut to its exact span from the edge functions (the reference tests every
// pixel), then eight pixels at a time go through AVX2: texel addresses from the fixed-point
// planes, the two texels of each bilinear row fetched as one 64-bit load, the weights applied
// with multiply-add on 16-bit channels, then the stage operation and the blend, all with the
// reference's integer formulas, so the result is the reference's bit for bit. Groups that are
// wholly transparent (or wholly opaque under alpha blending) skip the read of the target.
// Rows along which v is constant (axis-aligned quads, such as a stretched background) blend
// their two texture rows once per texel before the horizontal taps. States the kernels do not
// cover, textures whose sides are not powers of two, processors without AVX2 and builds without
// x86 intrinsics take a per-pixel span loop over the generic stages, which is still exact.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/d3d9/fastpath_spans.h"
#include "platform/d3d9/pipeline.h"

namespace platform::d3d9 {
namespace {

using namespace spans;

#if QUORREL_X86_SIMD
bool IsDiffuse(DWORD a) { return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT; }

bool Pair(DWORD a1, DWORD a2, DWORD x, DWORD y) {
  return (a1 == x && a2 == y) || (a1 == y && a2 == x);
}
bool PairDiffuse(DWORD a1, DWORD a2, DWORD x) {
  return (a1 == x && IsDiffuse(a2)) || (a2 == x && IsDiffuse(a1));
}

// The selected argument of a SELECTARG operation, or ~0 for any other operation.
DWORD Selected(DWORD op, DWORD a1, DWORD a2) {
  if (op == D3DTOP_SELECTARG1) return a1;
  if (op == D3DTOP_SELECTARG2) return a2;
  return ~DWORD{0};
}

bool MakePlan(const DrawState& s, bool linear, Plan& p) {
  if (!CpuHasAvx2()) return false;
  const StageState& st = s.stage;
  if (st.color_op == D3DTOP_DISABLE) {
    p.color = ColorKind::kDiffuse;
    p.alpha = AlphaKind::kDiffuse;
  } else {
    const DWORD sel = Selected(st.color_op, st.color_arg1, st.color_arg2);
    if (st.color_op == D3DTOP_MODULATE && PairDiffuse(st.color_arg1, st.color_arg2, D3DTA_TEXTURE))
      p.color = ColorKind::kModulate;
    else if (st.color_op == D3DTOP_ADD &&
             Pair(st.color_arg1, st.color_arg2, D3DTA_TEMP, D3DTA_TFACTOR))
      p.color = ColorKind::kTfactor;  // TEMP reads 0, so the sum is the factor
    else if (sel == D3DTA_TFACTOR)
      p.color = ColorKind::kTfactor;
    else if (sel == D3DTA_TEXTURE)
      p.color = ColorKind::kTexture;
    else if (sel != ~DWORD{0} && IsDiffuse(sel))
      p.color = ColorKind::kDiffuse;
    else
      return false;
    const DWORD asel = Selected(st.alpha_op, st.alpha_arg1, st.alpha_arg2);
    if (st.alpha_op == D3DTOP_MODULATE && PairDiffuse(st.alpha_arg1, st.alpha_arg2, D3DTA_TEXTURE))
      p.alpha = AlphaKind::kModulate;
    else if (asel == D3DTA_TEXTURE)
      p.alpha = AlphaKind::kTexture;
    else if ((asel != ~DWORD{0} && IsDiffuse(asel)) || st.alpha_op == D3DTOP_DISABLE)
      p.alpha = AlphaKind::kDiffuse;
    else
      return false;
  }
  p.tfactor = s.tfactor;
  if (!s.blend) {
    p.blend = BlendKind::kOpaque;
  } else if (s.blend_op == D3DBLENDOP_ADD && s.src_blend == D3DBLEND_SRCALPHA &&
             s.dest_blend == D3DBLEND_INVSRCALPHA) {
    p.blend = BlendKind::kAlpha;
  } else if (s.blend_op == D3DBLENDOP_ADD && s.src_blend == D3DBLEND_SRCALPHA &&
             s.dest_blend == D3DBLEND_ONE) {
    p.blend = BlendKind::kAdd;
  } else {
    return false;
  }
  const bool reads_texture = p.color == ColorKind::kModulate || p.color == ColorKind::kTexture ||
                             p.alpha != AlphaKind::kDiffuse;
  if (!s.texture || !reads_texture) {
    p.sample = Sample::kNone;
    return true;
  }
  const TexelStore& t = *s.texture;
  const auto pow2 = [](int v) { return v > 0 && (v & (v - 1)) == 0; };
  if (!pow2(t.width) || !pow2(t.height)) return false;
  p.sample = linear ? Sample::kLinear : Sample::kPoint;
  p.texels = t.Argb();
  p.w_mask = t.width - 1;
  p.h_mask = t.height - 1;
  p.w_shift = __builtin_ctz(static_cast<unsigned>(t.width));
  p.force_alpha = t.opaque_format;
  p.texels_opaque = t.all_opaque;
  return true;
}

// ---- Span kernels ----------------------------------------------------------------------------

// Lane values (start + lane * step + half) >> drop for one chunk, split so that the wide start
// never enters 32-bit lanes: start = high * 2^drop + low.
template <int kShift>
__attribute__((target("avx2"))) inline __m256i Steps(int64_t start, int64_t wrap_mask,
                                                      __m256i lane_steps) {
  const int64_t r = start + (int64_t{1} << (kShift - 1));
  const int64_t high = (r >> kShift) & wrap_mask;
  const int32_t low = static_cast<int32_t>(r & ((int64_t{1} << kShift) - 1));
  const __m256i part = _mm256_add_epi32(_mm256_set1_epi32(low), lane_steps);
  return _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(high)),
                          _mm256_srai_epi32(part, kShift));
}

__attribute__((target("avx2"))) inline __m256i DiffuseLanes(int64_t start, int64_t step,
                                                             __m256i lanes) {
  start = std::clamp<int64_t>(start, -(int64_t{1} << 30), int64_t{1} << 30);
  const __m256i v = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(start)),
                                     _mm256_mullo_epi32(lanes, _mm256_set1_epi32(int32_t(step))));
  const __m256i r = _mm256_srai_epi32(
      _mm256_add_epi32(v, _mm256_set1_epi32(1 << (kColorFracBits - 1))), kColorFracBits);
  return _mm256_max_epi32(_mm256_min_epi32(r, _mm256_set1_epi32(255)), _mm256_setzero_si256());
}

__attribute__((target("avx2"))) inline __m256i PackLanes(__m256i b, __m256i g, __m256i r,
                                                         __m256i a) {
  return _mm256_or_si256(_mm256_or_si256(b, _mm256_slli_epi32(g, 8)),
                         _mm256_or_si256(_mm256_slli_epi32(r, 16), _mm256_slli_epi32(a, 24)));
}

// Whether every alpha element (3 and 7 of each 128-bit lane) of a P16 half is 255.
__attribute__((target("avx2"))) inline bool AllOpaque(__m256i v) {
  const __m256i full = _mm256_set1_epi16(255);
  return _mm256_movemask_epi8(_mm256_cmpeq_epi16(_mm256_blend_epi16(full, v, 0x88), full)) == -1;
}

// Target access: plain loads and stores for whole groups of eight, masked ones (slow on some
// CPUs) only for a span's last, partial group.
__attribute__((target("avx2"))) inline __m256i Load(const uint32_t* p, int count, __m256i live) {
  return count == 8 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))
                    : _mm256_maskload_epi32(reinterpret_cast<const int*>(p), live);
}
__attribute__((target("avx2"))) inline void Store(uint32_t* p, int count, __m256i live, __m256i v) {
  if (count == 8)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  else
    _mm256_maskstore_epi32(reinterpret_cast<int*>(p), live, v);
}

__attribute__((target("avx2"))) inline P16 Unpack16(__m256i px) {
  const __m256i z = _mm256_setzero_si256();
  return {_mm256_unpacklo_epi8(px, z), _mm256_unpackhi_epi8(px, z)};
}

// a * b / 255 rounded, per 16-bit channel of 0..255 values.
__attribute__((target("avx2"))) inline __m256i Mul255x16(__m256i a, __m256i b) {
  const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(128));
  return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

__attribute__((target("avx2"))) inline __m256i Div255x16(__m256i t) {
  t = _mm256_add_epi16(t, _mm256_set1_epi16(128));
  return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

// Lane k's value in every 32-bit element of its 128-bit half: k = 0 gives pixels 0 | 4, 1 gives
// 1 | 5 and so on, the pairing of the P16 halves.
template <int kLane>
__attribute__((target("avx2"))) inline __m256i Broadcast(__m256i v) {
  return _mm256_shuffle_epi32(v, kLane * 0x55);
}

// One row of bilinear taps for pixels (lane0, lane1) of a pair vector: the horizontal blend
// top = c0 * (256 - fu) + c1 * fu per channel, as 32-bit channels b, g, r, a.
__attribute__((target("avx2"))) inline void Horizontal(__m256i pairs, __m256i wlo, __m256i whi,
                                                        __m256i* lo, __m256i* hi) {
  // Bytes of each 8-byte pair (c0, c1) interleaved by channel: c0.b c1.b c0.g c1.g ...
  const __m256i order = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15,
                                         0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
  const __m256i x = _mm256_shuffle_epi8(pairs, order);
  const __m256i z = _mm256_setzero_si256();
  *lo = _mm256_madd_epi16(_mm256_unpacklo_epi8(x, z), wlo);
  *hi = _mm256_madd_epi16(_mm256_unpackhi_epi8(x, z), whi);
}

__attribute__((target("avx2"))) inline __m256i Vertical(__m256i top, __m256i bot, __m256i fv) {
  const __m256i sum = _mm256_add_epi32(_mm256_slli_epi32(top, 8),
                                       _mm256_mullo_epi32(_mm256_sub_epi32(bot, top), fv));
  return _mm256_srli_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(32768)), 16);
}

// A row of an axis-aligned quad reads two constant texture rows, so their vertical blend comes
// first, once per texel: V = top * (256 - fv) + bottom * fv per channel, 16 bits (at most
// 255 * 256). The bilinear result (V0 * (256 - fu) + V1 * fu + 32768) >> 16 is then the
// reference's exactly (the same sum, regrouped), with V split into high and low bytes so that
// 16-bit multiply-adds form it.
struct RowTaps {
  bool on = false;
  int64_t k_min = 0;  // texel column (unwrapped) of V[0]
  int last = 0;       // index of the last V pair start
  const uint16_t* v = nullptr;
};

// Texel column (unwrapped) of the left bilinear tap of a pixel whose u is u.
inline int64_t TapColumn(int64_t u) {
  return (((u + (int64_t{1} << (kDrop - 1))) >> kDrop) - 128) >> 8;
}

__attribute__((target("avx2"))) RowTaps BuildRowTaps(const Plan& p, int n, const SpanStart& a) {
  RowTaps r;
  // Only for rows along which v is constant and u moves at most two texels a pixel.
  if (a.dv != 0 || n < 8 || a.du > (int64_t{2} << kTexFracBits) ||
      a.du < -(int64_t{2} << kTexFracBits))
    return r;
  const int64_t k0 = TapColumn(a.u), k1 = TapColumn(a.u + (n - 1) * a.du);
  r.k_min = std::min(k0, k1);
  const int m = static_cast<int>(std::max(k0, k1) - r.k_min) + 2;
  thread_local std::vector<uint16_t> store;
  // Four channels a texel, rounded up to whole groups of four texels.
  const size_t need = (static_cast<size_t>(m) + 4) * 4;
  if (store.size() < need) store.resize(need);
  uint16_t* v = store.data();
  const int64_t vl = ((a.v + (int64_t{1} << (kDrop - 1))) >> kDrop) - 128;
  const int fv = static_cast<int>(vl & 255);
  const int y0 = static_cast<int>((vl >> 8) & p.h_mask), y1 = (y0 + 1) & p.h_mask;
  const uint32_t* row0 = p.texels + (static_cast<size_t>(y0) << p.w_shift);
  const uint32_t* row1 = p.texels + (static_cast<size_t>(y1) << p.w_shift);
  const __m256i w_top = _mm256_set1_epi16(static_cast<int16_t>(256 - fv));
  const __m256i w_bot = _mm256_set1_epi16(static_cast<int16_t>(fv));
  const __m128i force = _mm_set1_epi32(p.force_alpha ? static_cast<int32_t>(0xFF000000u) : 0);
  for (int j = 0; j < m; j += 4) {
    const int x = static_cast<int>((r.k_min + j) & p.w_mask);
    __m128i top, bot;
    if (x + 3 <= p.w_mask) {
      top = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + x));
      bot = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + x));
    } else {
      alignas(16) uint32_t t4[4], b4[4];
      for (int q = 0; q < 4; ++q) {
        const int xq = (x + q) & p.w_mask;
        t4[q] = row0[xq];
        b4[q] = row1[xq];
      }
      top = _mm_load_si128(reinterpret_cast<const __m128i*>(t4));
      bot = _mm_load_si128(reinterpret_cast<const __m128i*>(b4));
    }
    top = _mm_or_si128(top, force);
    bot = _mm_or_si128(bot, force);
    const __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_cvtepu8_epi16(top), w_top),
                                         _mm256_mullo_epi16(_mm256_cvtepu8_epi16(bot), w_bot));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + 4 * j), sum);
  }
  r.on = true;
  r.last = m - 2;
  r.v = v;
  return r;
}

// The bilinear results, as 32-bit channels, of two pixels whose taps start at p and q, with
// weights w (256 - fu, fu) for the pixel of each half.
__attribute__((target("avx2"), always_inline)) inline __m256i MixTaps(const uint16_t* p, const uint16_t* q,
                                                       __m256i w) {
  const __m256i pair = _mm256_set_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  // V0, V1 of each channel side by side.
  const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,
                                         0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
  const __m256i x = _mm256_shuffle_epi8(pair, order);
  const __m256i hi = _mm256_madd_epi16(_mm256_srli_epi16(x, 8), w);
  const __m256i lo = _mm256_madd_epi16(_mm256_and_si256(x, _mm256_set1_epi16(0xFF)), w);
  const __m256i sum = _mm256_add_epi32(_mm256_slli_epi32(hi, 8), lo);
  return _mm256_srli_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(32768)), 16);
}

// Bilinear texels of one group of eight pixels from a row's taps, as P16.
__attribute__((target("avx2"), always_inline)) inline P16 SampleRow(const RowTaps& r, const SpanStart& a, int i,
                                                     __m256i u_steps) {
  const int64_t start = a.u + i * a.du + (int64_t{1} << (kDrop - 1));
  const int64_t base = (start >> kDrop) - 128;
  const int32_t low = static_cast<int32_t>(start & ((int64_t{1} << kDrop) - 1));
  const __m256i off = _mm256_srai_epi32(_mm256_add_epi32(_mm256_set1_epi32(low), u_steps), kDrop);
  const __m256i tt = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(base & 255)), off);
  __m256i idx = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>((base >> 8) - r.k_min)),
                                 _mm256_srai_epi32(tt, 8));
  // Lanes past the span's end may step outside the row; their values are never stored.
  idx = _mm256_max_epi32(_mm256_min_epi32(idx, _mm256_set1_epi32(r.last)), _mm256_setzero_si256());
  const __m256i fu = _mm256_and_si256(tt, _mm256_set1_epi32(255));
  const __m256i wu = _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(256), fu),
                                     _mm256_slli_epi32(fu, 16));
  alignas(32) int j[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(j), idx);
  const uint16_t* v = r.v;
  const __m256i r04 = MixTaps(v + 4 * j[0], v + 4 * j[4], Broadcast<0>(wu));
  const __m256i r15 = MixTaps(v + 4 * j[1], v + 4 * j[5], Broadcast<1>(wu));
  const __m256i r26 = MixTaps(v + 4 * j[2], v + 4 * j[6], Broadcast<2>(wu));
  const __m256i r37 = MixTaps(v + 4 * j[3], v + 4 * j[7], Broadcast<3>(wu));
  return {_mm256_packus_epi32(r04, r15), _mm256_packus_epi32(r26, r37)};
}

template <Sample S, BlendKind B, bool Flat>
__attribute__((target("avx2"))) void Span(const Plan& p, uint32_t* dst, int n,
                                          const SpanStart& a) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i ff = _mm256_set1_epi32(0xFF);
  const __m256i opaque = _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u));
  const int64_t u_wrap = (int64_t{p.w_mask + 1} << 8) - 1;
  const int64_t v_wrap = (int64_t{p.h_mask + 1} << 8) - 1;
  const P16 flat_d = p.flat_d, tf = p.tf;
  const __m256i u_steps = p.u_steps, v_steps = p.v_steps;
  const P16 white = Unpack16(_mm256_set1_epi32(-1));
  RowTaps row;
  if constexpr (S == Sample::kLinear) row = BuildRowTaps(p, n, a);
  const bool plain = Flat && p.plain, known_opaque = Flat && p.known_opaque;
  for (int i = 0; i < n; i += 8) {
    const int count = std::min(8, n - i);
    const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(count), lanes);
    // Texture stage: sample.
    P16 t = white;
    if constexpr (S == Sample::kLinear) {
      if (row.on) t = SampleRow(row, a, i, u_steps);
    }
    if (S != Sample::kNone && !(S == Sample::kLinear && row.on)) {
      const __m256i uq = Steps<kDrop>(a.u + i * a.du, u_wrap, u_steps);
      const __m256i vq = Steps<kDrop>(a.v + i * a.dv, v_wrap, v_steps);
      const __m256i wm = _mm256_set1_epi32(p.w_mask), hm = _mm256_set1_epi32(p.h_mask);
      const __m128i wsh = _mm_cvtsi32_si128(p.w_shift);
      const int* base = reinterpret_cast<const int*>(p.texels);
      if constexpr (S == Sample::kPoint) {
        const __m256i x = _mm256_and_si256(_mm256_srai_epi32(uq, 8), wm);
        const __m256i y = _mm256_and_si256(_mm256_srai_epi32(vq, 8), hm);
        __m256i c = _mm256_i32gather_epi32(base, _mm256_add_epi32(_mm256_sll_epi32(y, wsh), x), 4);
        if (p.force_alpha) c = _mm256_or_si256(c, opaque);
        t = Unpack16(c);
      } else {
        const __m256i ul = _mm256_sub_epi32(uq, _mm256_set1_epi32(128));
        const __m256i vl = _mm256_sub_epi32(vq, _mm256_set1_epi32(128));
        const __m256i x0 = _mm256_and_si256(_mm256_srai_epi32(ul, 8), wm);
        const __m256i y0 = _mm256_and_si256(_mm256_srai_epi32(vl, 8), hm);
        const __m256i y1 = _mm256_and_si256(_mm256_add_epi32(y0, _mm256_set1_epi32(1)), hm);
        const __m256i i0 = _mm256_add_epi32(_mm256_sll_epi32(y0, wsh), x0);
        const __m256i i1 = _mm256_add_epi32(_mm256_sll_epi32(y1, wsh), x0);
        // Texel pairs (x0, x0 + 1) of both rows, for pixels 0, 1 | 4, 5 (A) and 2, 3 | 6, 7 (B).
        __m256i top_a, top_b, bot_a, bot_b;
        if (_mm256_testz_si256(_mm256_cmpeq_epi32(x0, wm), _mm256_set1_epi32(-1))) {
          // No pixel wraps to the row's first texel: each pair is one 64-bit load. Plain loads
          // beat hardware gathers on the CPUs this runs on.
          alignas(32) int j0[8], j1[8];
          _mm256_store_si256(reinterpret_cast<__m256i*>(j0), i0);
          _mm256_store_si256(reinterpret_cast<__m256i*>(j1), i1);
          const uint32_t* tx = p.texels;
          const auto pair = [tx](const int* j, int a, int b) {
            return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(tx + j[a])),
                                      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(tx + j[b])));
          };
          top_a = _mm256_set_m128i(pair(j0, 4, 5), pair(j0, 0, 1));
          top_b = _mm256_set_m128i(pair(j0, 6, 7), pair(j0, 2, 3));
          bot_a = _mm256_set_m128i(pair(j1, 4, 5), pair(j1, 0, 1));
          bot_b = _mm256_set_m128i(pair(j1, 6, 7), pair(j1, 2, 3));
        } else {
          const __m256i x1 = _mm256_and_si256(_mm256_add_epi32(x0, _mm256_set1_epi32(1)), wm);
          const __m256i r0 = _mm256_sll_epi32(y0, wsh), r1 = _mm256_sll_epi32(y1, wsh);
          const __m256i c00 = _mm256_i32gather_epi32(base, i0, 4);
          const __m256i c10 = _mm256_i32gather_epi32(base, _mm256_add_epi32(r0, x1), 4);
          const __m256i c01 = _mm256_i32gather_epi32(base, i1, 4);
          const __m256i c11 = _mm256_i32gather_epi32(base, _mm256_add_epi32(r1, x1), 4);
          top_a = _mm256_unpacklo_epi32(c00, c10);
          top_b = _mm256_unpackhi_epi32(c00, c10);
          bot_a = _mm256_unpacklo_epi32(c01, c11);
          bot_b = _mm256_unpackhi_epi32(c01, c11);
        }
        if (p.force_alpha) {
          top_a = _mm256_or_si256(top_a, opaque);
          top_b = _mm256_or_si256(top_b, opaque);
          bot_a = _mm256_or_si256(bot_a, opaque);
          bot_b = _mm256_or_si256(bot_b, opaque);
        }
        const __m256i fu = _mm256_and_si256(ul, ff), fv = _mm256_and_si256(vl, ff);
        const __m256i wu = _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(256), fu),
                                           _mm256_slli_epi32(fu, 16));
        const __m256i w04 = Broadcast<0>(wu), w15 = Broadcast<1>(wu);
        const __m256i w26 = Broadcast<2>(wu), w37 = Broadcast<3>(wu);
        __m256i t04, t15, t26, t37, b04, b15, b26, b37;
        Horizontal(top_a, w04, w15, &t04, &t15);
        Horizontal(top_b, w26, w37, &t26, &t37);
        Horizontal(bot_a, w04, w15, &b04, &b15);
        Horizontal(bot_b, w26, w37, &b26, &b37);
        const __m256i r04 = Vertical(t04, b04, Broadcast<0>(fv));
        const __m256i r15 = Vertical(t15, b15, Broadcast<1>(fv));
        const __m256i r26 = Vertical(t26, b26, Broadcast<2>(fv));
        const __m256i r37 = Vertical(t37, b37, Broadcast<3>(fv));
        t = {_mm256_packus_epi32(r04, r15), _mm256_packus_epi32(r26, r37)};
      }
    }
    // Diffuse colour.
    P16 d;
    if constexpr (Flat) {
      d = flat_d;
    } else {
      d = Unpack16(PackLanes(DiffuseLanes(a.d[0] + i * a.dd[0], a.dd[0], lanes),
                              DiffuseLanes(a.d[1] + i * a.dd[1], a.dd[1], lanes),
                              DiffuseLanes(a.d[2] + i * a.dd[2], a.dd[2], lanes),
                              DiffuseLanes(a.d[3] + i * a.dd[3], a.dd[3], lanes)));
    }
    // Stage operation: colour from one source, alpha (16-bit elements 3 and 7) from another.
    P16 rgb, al;
    const bool mod_both = p.color == ColorKind::kModulate || p.alpha == AlphaKind::kModulate;
    P16 m{};
    if (mod_both) m = plain ? t : P16{Mul255x16(t.lo, d.lo), Mul255x16(t.hi, d.hi)};
    switch (p.color) {
      case ColorKind::kModulate: rgb = m; break;
      case ColorKind::kTfactor: rgb = tf; break;
      case ColorKind::kDiffuse: rgb = d; break;
      default: rgb = t; break;
    }
    switch (p.alpha) {
      case AlphaKind::kModulate: al = m; break;
      case AlphaKind::kTexture: al = t; break;
      default: al = d; break;
    }
    const P16 src{_mm256_blend_epi16(rgb.lo, al.lo, 0x88), _mm256_blend_epi16(rgb.hi, al.hi, 0x88)};
    if constexpr (S == Sample::kNone && Flat) {
      // Every pixel of the span has this source colour: when it overwrites, the span is a fill.
      if (i == 0 && (B == BlendKind::kOpaque || known_opaque ||
                     (B == BlendKind::kAlpha && AllOpaque(src.lo) && AllOpaque(src.hi)))) {
        const __m256i packed = _mm256_or_si256(_mm256_packus_epi16(src.lo, src.hi), opaque);
        int j = 0;
        for (; j + 8 <= n; j += 8) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + j), packed);
        if (j < n)
          _mm256_maskstore_epi32(reinterpret_cast<int*>(dst + j),
                                 _mm256_cmpgt_epi32(_mm256_set1_epi32(n - j), lanes), packed);
        return;
      }
    }
    // Blending.
    P16 out;
    if constexpr (B == BlendKind::kOpaque) {
      out = src;
    } else if (known_opaque) {
      out = src;
    } else {
      // Alpha 0 leaves the target as it is, and alpha 255 under SRCALPHA / INVSRCALPHA writes the
      // source: both exactly what the blend formula gives, without reading the target.
      const __m256i amask = _mm256_set1_epi64x(0x00FF000000000000LL);
      const __m256i alphas = _mm256_or_si256(_mm256_and_si256(src.lo, amask),
                                             _mm256_srli_epi64(_mm256_and_si256(src.hi, amask), 8));
      if (_mm256_testz_si256(alphas, alphas)) continue;
      if (B == BlendKind::kAlpha && AllOpaque(src.lo) && AllOpaque(src.hi)) {
        const __m256i packed = _mm256_or_si256(_mm256_packus_epi16(src.lo, src.hi), opaque);
        Store(dst + i, count, live, packed);
        continue;
      }
      const P16 x = Unpack16(Load(dst + i, count, live));
      const __m256i alpha_order = _mm256_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15,
                                                   14, 15, 6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15,
                                                   14, 15, 14, 15);
      const __m256i sa_lo = _mm256_shuffle_epi8(src.lo, alpha_order);
      const __m256i sa_hi = _mm256_shuffle_epi8(src.hi, alpha_order);
      if constexpr (B == BlendKind::kAlpha) {
        const __m256i c255 = _mm256_set1_epi16(255);
        out.lo = Div255x16(_mm256_add_epi16(_mm256_mullo_epi16(src.lo, sa_lo),
                                            _mm256_mullo_epi16(x.lo, _mm256_sub_epi16(c255, sa_lo))));
        out.hi = Div255x16(_mm256_add_epi16(_mm256_mullo_epi16(src.hi, sa_hi),
                                            _mm256_mullo_epi16(x.hi, _mm256_sub_epi16(c255, sa_hi))));
      } else {
        // Dest * 255 / 255 is exact, so the rounded sum is dest plus the rounded source term.
        out.lo = _mm256_add_epi16(x.lo, Mul255x16(src.lo, sa_lo));
        out.hi = _mm256_add_epi16(x.hi, Mul255x16(src.hi, sa_hi));
      }
    }
    const __m256i packed = _mm256_or_si256(_mm256_packus_epi16(out.lo, out.hi), opaque);
    Store(dst + i, count, live, packed);
  }
}

// What every row of a triangle shares. Flat colours are constant planes (dx = dy = 0).
__attribute__((target("avx2"))) void PrepareRows(Plan& p, const TriangleSetup& t) {
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  p.tf = Unpack16(_mm256_set1_epi32(static_cast<int32_t>(p.tfactor)));
  p.u_steps = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(int32_t(t.attr[kAttrU].dx)));
  p.v_steps = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(int32_t(t.attr[kAttrV].dx)));
  p.flat_d = {_mm256_setzero_si256(), _mm256_setzero_si256()};
  p.plain = p.known_opaque = false;
  if (!t.flat_color) return;
  int64_t d[4];
  for (int k = 0; k < 4; ++k) d[k] = t.attr[kAttrB + k].at_origin;
  p.flat_d = Unpack16(PackLanes(DiffuseLanes(d[0], 0, lanes), DiffuseLanes(d[1], 0, lanes),
                                DiffuseLanes(d[2], 0, lanes), DiffuseLanes(d[3], 0, lanes)));
  // A constant diffuse colour of white leaves MODULATE's texel as it is (t * 255 / 255 is
  // exact), and with opaque texels and diffuse alpha every source alpha is 255.
  int c[4];
  for (int k = 0; k < 4; ++k)
    c[k] = static_cast<int>(std::clamp<int64_t>(
        (std::clamp<int64_t>(d[k], -(int64_t{1} << 30), int64_t{1} << 30) +
         (1 << (kColorFracBits - 1))) >> kColorFracBits, 0, 255));
  p.plain = c[0] == 255 && c[1] == 255 && c[2] == 255 && c[3] == 255;
  const bool texels = p.sample == Sample::kNone || p.texels_opaque;
  p.known_opaque = p.blend == BlendKind::kAlpha &&
                   (p.alpha == AlphaKind::kTexture ? texels
                    : p.alpha == AlphaKind::kDiffuse ? c[3] == 255
                                                     : texels && c[3] == 255);
}

template <Sample S, BlendKind B>
SpanFn PickFlat(bool flat) {
  return flat ? &Span<S, B, true> : &Span<S, B, false>;
}

template <Sample S>
SpanFn PickBlend(BlendKind b, bool flat) {
  switch (b) {
    case BlendKind::kOpaque: return PickFlat<S, BlendKind::kOpaque>(flat);
    case BlendKind::kAlpha: return PickFlat<S, BlendKind::kAlpha>(flat);
    default: return PickFlat<S, BlendKind::kAdd>(flat);
  }
}

SpanFn Pick(const Plan& p, bool flat) {
  switch (p.sample) {
    case Sample::kNone: return PickBlend<Sample::kNone>(p.blend, flat);
    case Sample::kPoint: return PickBlend<Sample::kPoint>(p.blend, flat);
    default: return PickBlend<Sample::kLinear>(p.blend, flat);
  }
}
#endif  // QUORREL_X86_SIMD

// ---- Spans from edge functions ---------------------------------------------------------------

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The span bounds an edge puts on successive rows, stepped without division: a rising edge
// (ea > 0) bounds the first pixel at ox + ceil(-e / ea), a falling one the last at
// ox + floor(e / -ea), where e is the edge value at (ox, row). Quotient and remainder advance by
// the precomputed quotient and remainder of the per-row step, so every row gets the exact value.
struct EdgeWalker {
  int kind;  // +1: bounds the first pixel, -1: bounds the last, 0: constant along the row
  int64_t q, r, qs, rs, d;
  bool never;  // a constant edge that excludes every pixel of the current row
  int64_t base, eb;

  void Start(const TriangleSetup& t, int k, int py) {
    base = t.ec[k] + t.eb[k] * (py - t.oy);
    eb = t.eb[k];
    const int64_t a = t.ea[k];
    if (a > 0) {
      kind = 1;
      d = a;
      // -base = q * d - r with 0 <= r < d, so q = ceil(-base / d).
      q = -FloorDiv(base, d);
      r = q * d + base;
      const int64_t step = -eb;
      qs = FloorDiv(step, d);
      rs = step - qs * d;
    } else if (a < 0) {
      kind = -1;
      d = -a;
      // base = q * d + r with 0 <= r < d, so q = floor(base / d).
      q = FloorDiv(base, d);
      r = base - q * d;
      qs = FloorDiv(eb, d);
      rs = eb - qs * d;
    } else {
      kind = 0;
    }
    never = kind == 0 && base < 0;
  }
  void Next() {
    if (kind == 1) {
      q += qs;
      r -= rs;
      if (r < 0) {
        r += d;
        ++q;
      }
    } else if (kind == -1) {
      q += qs;
      r += rs;
      if (r >= d) {
        r -= d;
        ++q;
      }
    } else {
      base += eb;
      never = base < 0;
    }
  }
};

// Whether every texel the triangle's samples weigh has alpha 255. Its u and v are planes, so
// their extremes over the triangle lie within those at the corners of its bounds.
bool FootprintOpaque(const TriangleSetup& t, const TexelStore& tex) {
  const PixelRect& b = t.bounds;
  if (b.Empty()) return true;
  int64_t lo[2], hi[2];
  for (int k = 0; k < 2; ++k) {
    const Plane& p = t.attr[kAttrU + k];
    lo[k] = INT64_MAX;
    hi[k] = INT64_MIN;
    for (int px : {b.left, b.right - 1})
      for (int py : {b.top, b.bottom - 1}) {
        const int64_t q = (p.At(px, py, t.ox, t.oy) + (int64_t{1} << (kDrop - 1))) >> kDrop;
        lo[k] = std::min(lo[k], q);
        hi[k] = std::max(hi[k], q);
      }
    if (t.linear) {
      // Taps x0 = (q - 128) >> 8 and x0 + 1, the second weighted by the fraction: a fraction
      // of 0 leaves it out.
      lo[k] = (lo[k] - 128) >> 8;
      const int64_t h = hi[k] - 128;
      hi[k] = (h >> 8) + ((h & 255) != 0);
    } else {
      lo[k] >>= 8;
      hi[k] >>= 8;
    }
  }
  return tex.RegionOpaque(lo[0], hi[0], lo[1], hi[1]);
}

// Whether an argument's alpha is 255 at every pixel of the triangle.
bool ArgOpaque(DWORD arg, const TriangleSetup& t, const DrawState& s) {
  if (arg & D3DTA_COMPLEMENT) return false;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
    case D3DTA_CURRENT: {
      const Plane& a = t.attr[kAttrA];
      return a.dx == 0 && a.dy == 0 &&
             ((a.at_origin + (int64_t{1} << (kColorFracBits - 1))) >> kColorFracBits) >= 255;
    }
    case D3DTA_TEXTURE:
      return !s.texture || s.texture->all_opaque || FootprintOpaque(t, *s.texture);
    case D3DTA_TFACTOR: return (s.tfactor >> 24) == 0xFF;
    default: return false;
  }
}

#if QUORREL_X86_SIMD
// The kernel for a triangle's rows, with its plan, or nullptr where none applies.
SpanFn ChooseKernel(const TriangleSetup& t, const DrawState& s, Plan& plan) {
  if (!MakePlan(s, t.linear, plan)) return nullptr;
  // A picture cut from an atlas may read only opaque texels though others are not.
  // Worth the look only where the texels alone decide the source alpha.
  if (plan.sample != Sample::kNone && plan.blend == BlendKind::kAlpha && !plan.texels_opaque &&
      t.flat_color && (plan.alpha == AlphaKind::kTexture || ArgOpaque(D3DTA_DIFFUSE, t, s)))
    plan.texels_opaque = FootprintOpaque(t, *s.texture);
  // Lane arithmetic is 32-bit: steps must stay small enough for eight lanes (or sixteen).
  int64_t step = 0;
  for (int k = 0; k < kAttrCount; ++k) step = std::max(step, std::abs(t.attr[k].dx));
  if (step >= kNarrowStepLimit) return nullptr;
  PrepareRows(plan, t);
  SpanFn span = Pick(plan, t.flat_color);
  if (plan.sample == Sample::kLinear && step < kWideStepLimit) {
    plan.narrow = span;
    if (SpanFn w = PickWide(plan, t.flat_color)) span = w;
  }
  return span;
}
#endif

// A triangle's span on each row, stepped as RasterTriangleFast steps it.
struct RowSpans {
  PixelRect r;
  EdgeWalker edges[3];
  RowSpans(const TriangleSetup& t, const PixelRect& clip, int top)
      : r(Intersect(t.bounds, clip)) {
    for (int k = 0; k < 3; ++k) edges[k].Start(t, k, top);
  }
  // The span [first, last] of row py (rows in order from top); first > last when empty.
  void Next(const TriangleSetup& t, int py, int64_t& first, int64_t& last) {
    first = r.left;
    last = int64_t{r.right} - 1;
    bool empty = py < r.top || py >= r.bottom;
    for (EdgeWalker& e : edges) {
      if (e.kind == 1) first = std::max(first, t.ox + e.q);
      else if (e.kind == -1) last = std::min(last, t.ox + e.q);
      else empty = empty || e.never;
      e.Next();
    }
    if (empty) first = last + 1;
  }
};

}  // namespace

bool WritesOpaque(const TriangleSetup& t, const DrawState& s) {
  if (!s.blend) return true;
  if (s.blend_op != D3DBLENDOP_ADD || s.src_blend != D3DBLEND_SRCALPHA ||
      s.dest_blend != D3DBLEND_INVSRCALPHA)
    return false;
  const StageState& st = s.stage;
  if (st.color_op == D3DTOP_DISABLE || st.alpha_op == D3DTOP_DISABLE)
    return ArgOpaque(D3DTA_DIFFUSE, t, s);
  switch (st.alpha_op) {
    case D3DTOP_SELECTARG1: return ArgOpaque(st.alpha_arg1, t, s);
    case D3DTOP_SELECTARG2: return ArgOpaque(st.alpha_arg2, t, s);
    case D3DTOP_MODULATE:
      return ArgOpaque(st.alpha_arg1, t, s) && ArgOpaque(st.alpha_arg2, t, s);
    default: return false;
  }
}

bool CoveredColumns(const TriangleSetup& a, const TriangleSetup* b, const PixelRect& clip,
                    const PixelRect& rect, int* left, int* right) {
  if (rect.Empty()) return false;
  const PixelRect c = Intersect(clip, rect);
  if (c.top > rect.top || c.bottom < rect.bottom) return false;
  RowSpans sa(a, c, rect.top);
  RowSpans sb(b ? *b : a, c, rect.top);
  int64_t lo = c.left, hi = int64_t{c.right} - 1;
  for (int py = rect.top; py < rect.bottom && lo <= hi; ++py) {
    int64_t f0, l0, f1 = 1, l1 = 0;
    sa.Next(a, py, f0, l0);
    if (b) sb.Next(*b, py, f1, l1);
    if (f1 <= l1 && (f0 > l0 || f1 < f0)) {
      std::swap(f0, f1);
      std::swap(l0, l1);
    }
    // [f0, l0] starts first (or is the only span); the other extends it if they touch.
    if (f0 > l0) return false;
    if (f1 <= l1 && f1 <= l0 + 1) l0 = std::max(l0, l1);
    lo = std::max(lo, f0);
    hi = std::min(hi, l0);
  }
  if (lo > hi) return false;
  *left = static_cast<int>(lo);
  *right = static_cast<int>(hi + 1);
  return true;
}

void RasterTriangleFast(const TriangleSetup& t, const DrawState& s, const Target& target,
                        const PixelRect& clip) {
  const PixelRect r = Intersect(t.bounds, clip);
  if (r.Empty()) return;
#if QUORREL_X86_SIMD
  Plan plan;
  const SpanFn span = ChooseKernel(t, s, plan);
#endif
  int64_t attrs[kAttrCount];
  EdgeWalker edges[3];
  for (int k = 0; k < 3; ++k) edges[k].Start(t, k, r.top);
  for (int py = r.top; py < r.bottom; ++py) {
    int64_t first = r.left, last = int64_t{r.right} - 1;
    bool empty = false;
    for (EdgeWalker& e : edges) {
      if (e.kind == 1) first = std::max(first, t.ox + e.q);
      else if (e.kind == -1) last = std::min(last, t.ox + e.q);
      else empty = empty || e.never;
      e.Next();
    }
    if (empty || first > last) continue;
    const int x0 = static_cast<int>(first), x1 = static_cast<int>(last + 1);
    uint32_t* row = target.pixels + static_cast<size_t>(py) * target.stride;
#if QUORREL_X86_SIMD
    if (span) {
      // Filled field by field from the planes: going through an array here costs more than the
      // arithmetic (store-to-load stalls on every row).
      SpanStart a;
      a.u = t.attr[kAttrU].At(x0, py, t.ox, t.oy);
      a.v = t.attr[kAttrV].At(x0, py, t.ox, t.oy);
      a.du = t.attr[kAttrU].dx;
      a.dv = t.attr[kAttrV].dx;
      if (!t.flat_color) {  // flat spans take their colour from the plan
        for (int k = 0; k < 4; ++k) {
          a.d[k] = t.attr[kAttrB + k].At(x0, py, t.ox, t.oy);
          a.dd[k] = t.attr[kAttrB + k].dx;
        }
      }
      span(plan, row + x0, x1 - x0, a);
      continue;
    }
#endif
    for (int k = 0; k < kAttrCount; ++k) attrs[k] = t.attr[k].At(x0, py, t.ox, t.oy);
    for (int px = x0; px < x1; ++px) {
      row[px] = ShadePixel(s, attrs, t.linear, row[px]);
      for (int k = 0; k < kAttrCount; ++k) attrs[k] += t.attr[k].dx;
    }
  }
}

}  // namespace platform::d3d9
