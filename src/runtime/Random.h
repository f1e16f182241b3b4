// The runtime's pseudo-random generator: a 32-bit seed, each draw seed := seed * 134775813 + 1
// (mod 2^32), and Random(n) = the upper 32 bits of the 64-bit product seed * n. Main thread only.
#pragma once

#include <cstdint>

namespace rtl {

extern uint32_t RandSeed;

uint32_t Random(uint32_t n);  // 0 .. n-1 (0 when n is 0)
double RandomFloat();         // [0, 1)
void Randomize();             // seed from the clock

}  // namespace rtl
