// Golden-picture comparison for the device tests: PNG files under the test data folder,
// compared per channel within a tolerance; on a mismatch the actual picture and a difference
// picture are written beside the build for inspection.
#pragma once

#include <string>

#include "platform/d3d9/d3d9.h"

namespace d3d9_test {

bool ReadPng(const std::string& path, platform::d3d9::CapturedFrame& out);
bool WritePng(const std::string& path, const platform::d3d9::CapturedFrame& frame);

// Empty when the frame matches data/<name>.png within tolerance per channel; else a message.
// With QUORREL_UPDATE_GOLDEN=1 a missing golden is written from the frame instead.
std::string CompareGolden(const std::string& name, const platform::d3d9::CapturedFrame& frame,
                          int tolerance);

}  // namespace d3d9_test
