// Golden pictures of the device tests: data/<name>.png, failures under test-output/d3d9.
#pragma once

#include <string>

#include "platform/d3d9/d3d9.h"
#include "support/golden.h"

namespace d3d9_test {

// Empty when the frame matches the golden within tolerance per channel; else the reason.
inline std::string CompareGolden(const std::string& name,
                                 const platform::d3d9::CapturedFrame& frame, int tolerance) {
  const ::testing::AssertionResult result = test_support::MatchesGolden(
      {frame.width, frame.height, frame.pixels},
      {QUORREL_TEST_DATA, test_support::OutputFolder("d3d9")}, name, tolerance);
  return result ? std::string() : result.message();
}

}  // namespace d3d9_test
