// The bilinear span of the fast paths sixteen pixels at a time, for processors with AVX-512 (BW):
// what rotated and scaled sprites take. A group's steps (fetch, filter, stage, blend) form one
// long chain of dependent instructions, so a group of sixteen costs little more than a group of
// eight. Every step is the 8-wide kernel's, lane for lane and with the same integer formulas, so
// the picture is the same bit for bit; rows along which v is constant go back to the 8-wide
// kernel, whose row taps are faster still.
#include <algorithm>
#include <atomic>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/fastpath_spans.h"

// GCC 12's AVX-512 headers start some intrinsics from a deliberately undefined register, which
// its own uninitialised-use warning then reports at every use.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// Every function here runs only where PickWide found the instructions.
#define QUORREL_WIDE __attribute__((target("avx512f,avx512bw,avx512vl,avx2")))

namespace platform::d3d9 {

namespace {
std::atomic<bool> g_wide_spans{true};
}  // namespace

void SetWideSpans(bool on) { g_wide_spans = on; }

#if QUORREL_X86_SIMD
namespace spans {
namespace {

// Pixels in P16 form, sixteen of them: lo holds pixels 0, 1 | 4, 5 | 8, 9 | 12, 13 and hi
// pixels 2, 3 | 6, 7 | 10, 11 | 14, 15, four 16-bit channels each.
struct W16 {
  __m512i lo, hi;
};

QUORREL_WIDE inline W16 Unpack(__m512i px) {
  const __m512i z = _mm512_setzero_si512();
  return {_mm512_unpacklo_epi8(px, z), _mm512_unpackhi_epi8(px, z)};
}

// The 8-wide form repeated: all lanes of a constant colour hold the same value.
QUORREL_WIDE inline W16 Widen(const P16& p) {
  return {_mm512_broadcast_i64x4(p.lo), _mm512_broadcast_i64x4(p.hi)};
}

template <int kShift>
QUORREL_WIDE inline __m512i Steps(int64_t start, int64_t wrap_mask, __m512i lane_steps) {
  const int64_t r = start + (int64_t{1} << (kShift - 1));
  const int64_t high = (r >> kShift) & wrap_mask;
  const int32_t low = static_cast<int32_t>(r & ((int64_t{1} << kShift) - 1));
  const __m512i part = _mm512_add_epi32(_mm512_set1_epi32(low), lane_steps);
  return _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(high)),
                          _mm512_srai_epi32(part, kShift));
}

QUORREL_WIDE inline __m512i DiffuseLanes(int64_t start, int64_t step, __m512i lanes) {
  start = std::clamp<int64_t>(start, -(int64_t{1} << 30), int64_t{1} << 30);
  const __m512i v = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(start)),
                                     _mm512_mullo_epi32(lanes, _mm512_set1_epi32(int32_t(step))));
  const __m512i r = _mm512_srai_epi32(
      _mm512_add_epi32(v, _mm512_set1_epi32(1 << (kColorFracBits - 1))), kColorFracBits);
  return _mm512_max_epi32(_mm512_min_epi32(r, _mm512_set1_epi32(255)), _mm512_setzero_si512());
}

QUORREL_WIDE inline __m512i PackLanes(__m512i b, __m512i g, __m512i r, __m512i a) {
  return _mm512_or_si512(_mm512_or_si512(b, _mm512_slli_epi32(g, 8)),
                         _mm512_or_si512(_mm512_slli_epi32(r, 16), _mm512_slli_epi32(a, 24)));
}

constexpr __mmask32 kAlphaElements = 0x88888888u;  // element 3 of every pixel

QUORREL_WIDE inline bool AllOpaque(__m512i v) {
  return _mm512_mask_cmpneq_epi16_mask(kAlphaElements, v, _mm512_set1_epi16(255)) == 0;
}

QUORREL_WIDE inline __m512i Mul255(__m512i a, __m512i b) {
  const __m512i t = _mm512_add_epi16(_mm512_mullo_epi16(a, b), _mm512_set1_epi16(128));
  return _mm512_srli_epi16(_mm512_add_epi16(t, _mm512_srli_epi16(t, 8)), 8);
}

QUORREL_WIDE inline __m512i Div255(__m512i t) {
  t = _mm512_add_epi16(t, _mm512_set1_epi16(128));
  return _mm512_srli_epi16(_mm512_add_epi16(t, _mm512_srli_epi16(t, 8)), 8);
}

// Lane k's value in every 32-bit element of its 128-bit quarter: pixels k | k+4 | k+8 | k+12.
template <int kLane>
QUORREL_WIDE inline __m512i Broadcast(__m512i v) {
  return _mm512_shuffle_epi32(v, static_cast<_MM_PERM_ENUM>(kLane * 0x55));
}

QUORREL_WIDE inline void Horizontal(__m512i pairs, __m512i wlo, __m512i whi, __m512i* lo,
                                    __m512i* hi) {
  const __m512i order = _mm512_broadcast_i32x4(
      _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15));
  const __m512i x = _mm512_shuffle_epi8(pairs, order);
  const __m512i z = _mm512_setzero_si512();
  *lo = _mm512_madd_epi16(_mm512_unpacklo_epi8(x, z), wlo);
  *hi = _mm512_madd_epi16(_mm512_unpackhi_epi8(x, z), whi);
}

QUORREL_WIDE inline __m512i Vertical(__m512i top, __m512i bot, __m512i fv) {
  const __m512i sum = _mm512_add_epi32(_mm512_slli_epi32(top, 8),
                                       _mm512_mullo_epi32(_mm512_sub_epi32(bot, top), fv));
  return _mm512_srli_epi32(_mm512_add_epi32(sum, _mm512_set1_epi32(32768)), 16);
}

// The texel pair (x, x + 1) of pixels a and b, as one 128-bit quarter.
QUORREL_WIDE inline __m128i Pair(const uint32_t* tx, const int* j, int a, int b) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(tx + j[a])),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(tx + j[b])));
}

QUORREL_WIDE inline __m512i Quarters(__m128i q0, __m128i q1, __m128i q2, __m128i q3) {
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_set_m128i(q1, q0)),
                            _mm256_set_m128i(q3, q2), 1);
}

// Bilinear texels of sixteen pixels, as W16.
__attribute__((always_inline)) QUORREL_WIDE inline W16 SampleLinear(const Plan& p, const SpanStart& a, int i, __m512i u_steps,
                                     __m512i v_steps) {
  const int64_t u_wrap = (int64_t{p.w_mask + 1} << 8) - 1;
  const int64_t v_wrap = (int64_t{p.h_mask + 1} << 8) - 1;
  const __m512i uq = Steps<kDrop>(a.u + i * a.du, u_wrap, u_steps);
  const __m512i vq = Steps<kDrop>(a.v + i * a.dv, v_wrap, v_steps);
  const __m512i wm = _mm512_set1_epi32(p.w_mask), hm = _mm512_set1_epi32(p.h_mask);
  const __m128i wsh = _mm_cvtsi32_si128(p.w_shift);
  const __m512i ul = _mm512_sub_epi32(uq, _mm512_set1_epi32(128));
  const __m512i vl = _mm512_sub_epi32(vq, _mm512_set1_epi32(128));
  const __m512i x0 = _mm512_and_si512(_mm512_srai_epi32(ul, 8), wm);
  const __m512i y0 = _mm512_and_si512(_mm512_srai_epi32(vl, 8), hm);
  const __m512i y1 = _mm512_and_si512(_mm512_add_epi32(y0, _mm512_set1_epi32(1)), hm);
  const __m512i i0 = _mm512_add_epi32(_mm512_sll_epi32(y0, wsh), x0);
  const __m512i i1 = _mm512_add_epi32(_mm512_sll_epi32(y1, wsh), x0);
  // Pairs (x0, x0 + 1) of both rows, for pixels 0, 1 | 4, 5 | ... (A) and 2, 3 | 6, 7 | ... (B).
  __m512i top_a, top_b, bot_a, bot_b;
  if (_mm512_cmpeq_epi32_mask(x0, wm) == 0) {
    // No pixel wraps to the row's first texel: each pair is one 64-bit load.
    alignas(64) int j0[16], j1[16];
    _mm512_store_si512(j0, i0);
    _mm512_store_si512(j1, i1);
    const uint32_t* tx = p.texels;
    top_a = Quarters(Pair(tx, j0, 0, 1), Pair(tx, j0, 4, 5), Pair(tx, j0, 8, 9), Pair(tx, j0, 12, 13));
    top_b = Quarters(Pair(tx, j0, 2, 3), Pair(tx, j0, 6, 7), Pair(tx, j0, 10, 11), Pair(tx, j0, 14, 15));
    bot_a = Quarters(Pair(tx, j1, 0, 1), Pair(tx, j1, 4, 5), Pair(tx, j1, 8, 9), Pair(tx, j1, 12, 13));
    bot_b = Quarters(Pair(tx, j1, 2, 3), Pair(tx, j1, 6, 7), Pair(tx, j1, 10, 11), Pair(tx, j1, 14, 15));
  } else {
    const int* base = reinterpret_cast<const int*>(p.texels);
    const __m512i x1 = _mm512_and_si512(_mm512_add_epi32(x0, _mm512_set1_epi32(1)), wm);
    const __m512i r0 = _mm512_sll_epi32(y0, wsh), r1 = _mm512_sll_epi32(y1, wsh);
    const __m512i c00 = _mm512_i32gather_epi32(i0, base, 4);
    const __m512i c10 = _mm512_i32gather_epi32(_mm512_add_epi32(r0, x1), base, 4);
    const __m512i c01 = _mm512_i32gather_epi32(i1, base, 4);
    const __m512i c11 = _mm512_i32gather_epi32(_mm512_add_epi32(r1, x1), base, 4);
    top_a = _mm512_unpacklo_epi32(c00, c10);
    top_b = _mm512_unpackhi_epi32(c00, c10);
    bot_a = _mm512_unpacklo_epi32(c01, c11);
    bot_b = _mm512_unpackhi_epi32(c01, c11);
  }
  if (p.force_alpha) {
    const __m512i opaque = _mm512_set1_epi32(static_cast<int32_t>(0xFF000000u));
    top_a = _mm512_or_si512(top_a, opaque);
    top_b = _mm512_or_si512(top_b, opaque);
    bot_a = _mm512_or_si512(bot_a, opaque);
    bot_b = _mm512_or_si512(bot_b, opaque);
  }
  const __m512i ff = _mm512_set1_epi32(0xFF);
  const __m512i fu = _mm512_and_si512(ul, ff), fv = _mm512_and_si512(vl, ff);
  const __m512i wu = _mm512_or_si512(_mm512_sub_epi32(_mm512_set1_epi32(256), fu),
                                     _mm512_slli_epi32(fu, 16));
  const __m512i w04 = Broadcast<0>(wu), w15 = Broadcast<1>(wu);
  const __m512i w26 = Broadcast<2>(wu), w37 = Broadcast<3>(wu);
  __m512i t04, t15, t26, t37, b04, b15, b26, b37;
  Horizontal(top_a, w04, w15, &t04, &t15);
  Horizontal(top_b, w26, w37, &t26, &t37);
  Horizontal(bot_a, w04, w15, &b04, &b15);
  Horizontal(bot_b, w26, w37, &b26, &b37);
  const __m512i r04 = Vertical(t04, b04, Broadcast<0>(fv));
  const __m512i r15 = Vertical(t15, b15, Broadcast<1>(fv));
  const __m512i r26 = Vertical(t26, b26, Broadcast<2>(fv));
  const __m512i r37 = Vertical(t37, b37, Broadcast<3>(fv));
  return {_mm512_packus_epi32(r04, r15), _mm512_packus_epi32(r26, r37)};
}

template <BlendKind B, bool Flat>
QUORREL_WIDE void SpanWide(const Plan& p, uint32_t* dst, int n, const SpanStart& a) {
  // The 8-wide kernel's row taps serve rows of constant v (the same test as theirs).
  if (a.dv == 0 && n >= 8 && a.du <= (int64_t{2} << kTexFracBits) &&
      a.du >= -(int64_t{2} << kTexFracBits)) {
    p.narrow(p, dst, n, a);
    return;
  }
  const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512i opaque = _mm512_set1_epi32(static_cast<int32_t>(0xFF000000u));
  const __m512i u_steps = _mm512_mullo_epi32(lanes, _mm512_set1_epi32(int32_t(a.du)));
  const __m512i v_steps = _mm512_mullo_epi32(lanes, _mm512_set1_epi32(int32_t(a.dv)));
  const W16 tf = Widen(p.tf);
  W16 flat_d{};
  if constexpr (Flat) flat_d = Widen(p.flat_d);
  const bool plain = Flat && p.plain, known_opaque = Flat && p.known_opaque;
  const bool mod_both = p.color == ColorKind::kModulate || p.alpha == AlphaKind::kModulate;
  // The next group's texels are fetched before this group is blended, so that the two chains
  // overlap.
  W16 next = SampleLinear(p, a, 0, u_steps, v_steps);
  for (int i = 0; i < n; i += 16) {
    const int count = std::min(16, n - i);
    const __mmask16 live = count == 16 ? __mmask16(0xFFFF) : __mmask16((1u << count) - 1);
    const W16 t = next;
    if (i + 16 < n) next = SampleLinear(p, a, i + 16, u_steps, v_steps);
    W16 d;
    if constexpr (Flat) {
      d = flat_d;
    } else {
      d = Unpack(PackLanes(DiffuseLanes(a.d[0] + i * a.dd[0], a.dd[0], lanes),
                           DiffuseLanes(a.d[1] + i * a.dd[1], a.dd[1], lanes),
                           DiffuseLanes(a.d[2] + i * a.dd[2], a.dd[2], lanes),
                           DiffuseLanes(a.d[3] + i * a.dd[3], a.dd[3], lanes)));
    }
    W16 m{};
    if (mod_both) m = plain ? t : W16{Mul255(t.lo, d.lo), Mul255(t.hi, d.hi)};
    W16 rgb, al;
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
    const W16 src{_mm512_mask_blend_epi16(kAlphaElements, rgb.lo, al.lo),
                  _mm512_mask_blend_epi16(kAlphaElements, rgb.hi, al.hi)};
    W16 out;
    if constexpr (B == BlendKind::kOpaque) {
      out = src;
    } else if (known_opaque) {
      out = src;
    } else {
      // Alpha 0 leaves the target as it is, and alpha 255 under SRCALPHA / INVSRCALPHA writes the
      // source: both exactly what the blend formula gives, without reading the target.
      const __m512i amask = _mm512_set1_epi64(0x00FF000000000000LL);
      const __m512i alphas = _mm512_or_si512(_mm512_and_si512(src.lo, amask),
                                             _mm512_srli_epi64(_mm512_and_si512(src.hi, amask), 8));
      if (_mm512_test_epi64_mask(alphas, alphas) == 0) continue;
      if (B == BlendKind::kAlpha && AllOpaque(src.lo) && AllOpaque(src.hi)) {
        const __m512i packed = _mm512_or_si512(_mm512_packus_epi16(src.lo, src.hi), opaque);
        _mm512_mask_storeu_epi32(dst + i, live, packed);
        continue;
      }
      const W16 x = Unpack(_mm512_maskz_loadu_epi32(live, dst + i));
      const __m512i alpha_order = _mm512_broadcast_i32x4(
          _mm_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15));
      const __m512i sa_lo = _mm512_shuffle_epi8(src.lo, alpha_order);
      const __m512i sa_hi = _mm512_shuffle_epi8(src.hi, alpha_order);
      if constexpr (B == BlendKind::kAlpha) {
        const __m512i c255 = _mm512_set1_epi16(255);
        out.lo = Div255(_mm512_add_epi16(_mm512_mullo_epi16(src.lo, sa_lo),
                                         _mm512_mullo_epi16(x.lo, _mm512_sub_epi16(c255, sa_lo))));
        out.hi = Div255(_mm512_add_epi16(_mm512_mullo_epi16(src.hi, sa_hi),
                                         _mm512_mullo_epi16(x.hi, _mm512_sub_epi16(c255, sa_hi))));
      } else {
        // Dest * 255 / 255 is exact, so the rounded sum is dest plus the rounded source term.
        out.lo = _mm512_add_epi16(x.lo, Mul255(src.lo, sa_lo));
        out.hi = _mm512_add_epi16(x.hi, Mul255(src.hi, sa_hi));
      }
    }
    const __m512i packed = _mm512_or_si512(_mm512_packus_epi16(out.lo, out.hi), opaque);
    _mm512_mask_storeu_epi32(dst + i, live, packed);
  }
}

template <BlendKind B>
SpanFn PickFlat(bool flat) {
  return flat ? &SpanWide<B, true> : &SpanWide<B, false>;
}

}  // namespace

SpanFn PickWide(const Plan& p, bool flat) {
  if (!g_wide_spans.load(std::memory_order_relaxed) || !CpuHasAvx512bw() || p.sample != Sample::kLinear)
    return nullptr;
  switch (p.blend) {
    case BlendKind::kOpaque: return PickFlat<BlendKind::kOpaque>(flat);
    case BlendKind::kAlpha: return PickFlat<BlendKind::kAlpha>(flat);
    default: return PickFlat<BlendKind::kAdd>(flat);
  }
}

}  // namespace spans
#endif  // QUORREL_X86_SIMD
}  // namespace platform::d3d9
