// What the span kernels of the fast paths share: the plan a triangle's state makes for its rows,
// a span's start values, and the choice of kernel; all of it only where x86 intrinsics compile. The 8-wide kernels (AVX2) live in
// fastpath_sprite.cpp, the 16-wide bilinear one (AVX-512) in fastpath_wide.cpp; both compute
// the reference's integer formulas, so either gives the reference's picture bit for bit.
#pragma once

#include <cstdint>

#include "platform/d3d9/pipeline.h"
#include "platform/d3d9/simd.h"

namespace platform::d3d9::spans {

constexpr int kDrop = kTexFracBits - 8;

}  // namespace platform::d3d9::spans

#if QUORREL_X86_SIMD
#include <immintrin.h>

namespace platform::d3d9::spans {

enum class Sample { kNone, kPoint, kLinear };
enum class BlendKind { kOpaque, kAlpha, kAdd };
enum class ColorKind { kModulate, kTfactor, kDiffuse, kTexture };
enum class AlphaKind { kModulate, kTexture, kDiffuse };

// Pixels in "P16" form: a row of eight packed pixels unpacked against zero, so lo holds the four
// 16-bit channels of pixels 0, 1 | 4, 5 and hi those of pixels 2, 3 | 6, 7. packus undoes it.
struct P16 {
  __m256i lo, hi;
};

struct Plan;
// Attribute values at a span's first pixel and their per-pixel steps.
struct SpanStart {
  int64_t u, v, du, dv;
  int64_t d[4], dd[4];  // diffuse B, G, R, A
};
using SpanFn = void (*)(const Plan&, uint32_t*, int, const SpanStart&);

struct Plan {
  Sample sample = Sample::kNone;
  BlendKind blend = BlendKind::kOpaque;
  ColorKind color = ColorKind::kModulate;
  AlphaKind alpha = AlphaKind::kModulate;
  uint32_t tfactor = 0;
  const uint32_t* texels = nullptr;
  int w_mask = 0, h_mask = 0, w_shift = 0;
  bool force_alpha = false;  // X8R8G8B8 texture: alpha reads 255
  bool texels_opaque = true;  // every sample's alpha is 255 (no texture read: white)
  // The same for every row of a triangle, so worked out once (PrepareRows).
  P16 flat_d, tf;                // flat diffuse colour, texture factor
  __m256i u_steps, v_steps;      // lane * du, lane * dv
  bool plain = false;            // flat white diffuse: MODULATE leaves the texel as it is
  bool known_opaque = false;     // every source alpha is 255 under alpha blending
  SpanFn narrow = nullptr;       // the 8-wide kernel, for rows the 16-wide one hands back
};

// Per-pixel steps (in magnitude) below these fit eight and sixteen lanes of 32-bit arithmetic.
constexpr int64_t kNarrowStepLimit = int64_t{1} << 27;
constexpr int64_t kWideStepLimit = int64_t{1} << 26;

// The 16-wide kernel for a bilinear plan, or nullptr where the processor lacks AVX-512 (BW) or
// wide spans are turned off.
SpanFn PickWide(const Plan& p, bool flat);

}  // namespace platform::d3d9::spans
#endif  // QUORREL_X86_SIMD
