#include "runtime/Random.h"

#include <chrono>

namespace rtl {

uint32_t RandSeed = 0;

namespace {
void Step() { RandSeed = RandSeed * 134775813u + 1u; }
}  // namespace

uint32_t Random(uint32_t n) {
  Step();
  return static_cast<uint32_t>((static_cast<uint64_t>(RandSeed) * n) >> 32);
}

double RandomFloat() {
  Step();
  return static_cast<double>(RandSeed) / 4294967296.0;
}

void Randomize() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  RandSeed = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace rtl
