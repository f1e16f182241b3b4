// Golden-picture comparison shared by the test programs: a picture is compared with a committed
// PNG per colour channel within a tolerance (alpha is left out, back buffers carry none), and on
// a mismatch the actual picture and a difference picture are written for inspection. With
// QUORREL_UPDATE_GOLDEN=1 the golden is rewritten from the picture instead. Built once for all
// programs, so each passes in its own folders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

namespace test_support {

// 0xAARRGGBB pixels row by row, the layout of the device's captured frames.
struct ImageView {
  int width = 0;
  int height = 0;
  std::span<const uint32_t> pixels;
};

// Without alpha an RGB file is written, as goldens are: only colour is compared.
bool WritePng(const std::string& path, ImageView image, bool alpha = false);

struct GoldenFolders {
  std::string golden;  // holds the committed <name>.png
  std::string output;  // receives <name>.actual.png and <name>.diff.png on a mismatch
};

// The output folder of one program: test-output/<program> in the build folder.
std::string OutputFolder(const std::string& program);

::testing::AssertionResult MatchesGolden(ImageView actual, const GoldenFolders& folders,
                                         const std::string& name, int tolerance);

}  // namespace test_support
