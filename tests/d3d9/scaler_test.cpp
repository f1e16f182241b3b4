// The bilinear scaling of a frame into a window of another size (full screen on a larger
// screen): pixel centres onto pixel centres, edges repeated, channels apart, any band of rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/d3d9/present_sdl.h"

namespace d3d9_test {
namespace {

using platform::d3d9::BilinearScaler;

std::vector<uint32_t> Scale(const std::vector<uint32_t>& src, int sw, int sh, int dw, int dh) {
  BilinearScaler s;
  s.Prepare(sw, sh, dw, dh);
  std::vector<uint32_t> dst(static_cast<size_t>(dw) * dh, 0xDEADBEEF);
  // In bands of three rows, as the workers run it.
  for (int y = 0; y < dh; y += 3) s.Rows(src.data(), dst.data(), dw, y, std::min(dh, y + 3));
  return dst;
}

TEST(Scaler, WeighsNeighboursByDistanceAndRepeatsTheEdges) {
  // Blue 0 and 255 side by side, four times as wide: the centres fall at -1/4, 1/4, 3/4, 5/4
  // (rounded to the nearest: 255 / 4 is 64).
  EXPECT_EQ(Scale({0xFF000000, 0xFF0000FF}, 2, 1, 4, 1),
            (std::vector<uint32_t>{0xFF000000, 0xFF000040, 0xFF0000BF, 0xFF0000FF}));
  // Each channel alone: red across, green down.
  const std::vector<uint32_t> src = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00};
  const std::vector<uint32_t> big = Scale(src, 2, 2, 4, 4);
  EXPECT_EQ(big[0], 0xFF000000u);
  EXPECT_EQ(big[3], 0xFFFF0000u);
  EXPECT_EQ(big[12], 0xFF00FF00u);
  EXPECT_EQ(big[15], 0xFFFFFF00u);
  EXPECT_EQ(big[5], 0xFF404000u);
}

TEST(Scaler, AUniformFrameStaysUniformAtAnySize) {
  const struct {
    int sw, sh, dw, dh;
  } cases[] = {{1, 1, 7, 5}, {1280, 1024, 1920, 1080}, {640, 480, 641, 479}, {5, 3, 2, 2}, {3, 1, 3, 9}};
  for (const auto& c : cases) {
    const std::vector<uint32_t> src(static_cast<size_t>(c.sw) * c.sh, 0xFF8040C0);
    const std::vector<uint32_t> dst = Scale(src, c.sw, c.sh, c.dw, c.dh);
    for (size_t i = 0; i < dst.size(); ++i)
      ASSERT_EQ(dst[i], 0xFF8040C0u) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " at " << i;
  }
}

// The portable rows are what a processor without AVX2 shows; every kernel must give them bit for
// bit, tails of odd widths included.
TEST(Scaler, EveryKernelGivesThePortableRows) {
  const struct {
    int sw, sh, dw, dh;
  } cases[] = {{1024, 768, 800, 600}, {1024, 768, 1920, 1080}, {7, 5, 13, 3}, {3, 2, 1, 9}, {1, 1, 5, 4}};
  uint32_t seed = 12345;
  for (const auto& c : cases) {
    std::vector<uint32_t> src(static_cast<size_t>(c.sw) * c.sh);
    for (uint32_t& p : src) p = seed = seed * 1664525u + 1013904223u;
    BilinearScaler s;
    s.Prepare(c.sw, c.sh, c.dw, c.dh);
    std::vector<uint32_t> fast(static_cast<size_t>(c.dw) * c.dh), portable(fast.size());
    s.Rows(src.data(), fast.data(), c.dw, 0, c.dh);
    s.RowsPortable(src.data(), portable.data(), c.dw, 0, c.dh);
    EXPECT_EQ(fast, portable) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
  }
}

}  // namespace
}  // namespace d3d9_test
