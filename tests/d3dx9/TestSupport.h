// Shared pieces of the d3dx9 tests: a small software device, fixture files, texel read-back
// and golden-image comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace d3dx9_test {

using platform::d3d9::IDirect3DDevice9;
using platform::d3d9::IDirect3DTexture9;

// A windowed software device with an X8R8G8B8 back buffer of the given size.
class TestDevice {
 public:
  TestDevice(int width, int height);
  ~TestDevice();
  TestDevice(const TestDevice&) = delete;
  TestDevice& operator=(const TestDevice&) = delete;
  IDirect3DDevice9* get() const { return device_; }

 private:
  platform::d3d9::IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
};

std::string DataPath(const std::string& name);
std::vector<uint8_t> ReadFixture(const std::string& name);

// Level 0 of a 32-bit texture, row by row, read through LockRect with its pitch.
std::vector<uint32_t> ReadTexels32(IDirect3DTexture9* texture);
std::vector<uint16_t> ReadTexels16(IDirect3DTexture9* texture);

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB
};

// Compares a picture with the committed golden PNG data/<name>.png, channel by channel within
// tolerance. On a mismatch the actual picture and a difference picture are written under the
// build folder and the result names them. QUORREL_UPDATE_GOLDEN=1 rewrites the golden file.
std::string CompareWithGolden(const Picture& actual, const std::string& name, int tolerance);

}  // namespace d3dx9_test
