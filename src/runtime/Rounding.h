// Rounding of script numbers into the unsigned integer fields of the system's calls (the byte
// keys of drawing calls, sound handles).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace rtl {

// The low bits of value rounded to the nearest integer (halves to even), as many as Unsigned
// holds, for every finite value however large: for uint8_t -1 gives 255 and 2^32 + 128 gives
// 128. NaN and the infinities give 0. Works in floating point, so no conversion to an integer
// type can overflow.
template <typename Unsigned>
inline Unsigned LowBitsOfRound(double value) {
  static_assert(std::is_unsigned_v<Unsigned> && sizeof(Unsigned) <= 4);
  if (!std::isfinite(value)) return 0;
  // Every value a script passes in practice rounds to an integer that int64_t holds exactly.
  constexpr double kExact = 4503599627370496.0;  // 2^52
  if (value > -kExact && value < kExact) return static_cast<Unsigned>(static_cast<int64_t>(std::nearbyint(value)));
  constexpr double kModulus = static_cast<double>(std::numeric_limits<Unsigned>::max()) + 1.0;
  double low = std::fmod(std::nearbyint(value), kModulus);  // exact, and inside +-kModulus
  if (low < 0) low += kModulus;
  return static_cast<Unsigned>(low);
}

inline uint8_t LowByteOfRound(double value) { return LowBitsOfRound<uint8_t>(value); }

}  // namespace rtl
