// Rounding of script numbers into the byte fields of drawing calls.
#pragma once

#include <cmath>
#include <cstdint>

namespace rtl {

// The low 8 bits of value rounded to the nearest integer (halves to even), for every finite
// value however large: -1 gives 255, 2^32 + 128 gives 128. NaN and the infinities give 0.
// Works in floating point, so no conversion to an integer type can overflow.
inline uint8_t LowByteOfRound(double value) {
  if (!std::isfinite(value)) return 0;
  double low = std::fmod(std::nearbyint(value), 256.0);  // exact, and in -255..255
  if (low < 0) low += 256.0;
  return static_cast<uint8_t>(low);
}

}  // namespace rtl
