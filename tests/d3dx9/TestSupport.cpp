#include "TestSupport.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "support/golden.h"

namespace d3dx9_test {

namespace d3d9 = platform::d3d9;

TestDevice::TestDevice(int width, int height) {
  d3d_ = d3d9::Direct3DCreate9(d3d9::D3D_SDK_VERSION);
  if (d3d_ == nullptr) throw std::runtime_error("Direct3DCreate9 failed");
  d3d9::D3DPRESENT_PARAMETERS params{};
  params.BackBufferWidth = static_cast<d3d9::UINT>(width);
  params.BackBufferHeight = static_cast<d3d9::UINT>(height);
  params.BackBufferFormat = d3d9::D3DFMT_X8R8G8B8;
  params.BackBufferCount = 1;
  params.SwapEffect = d3d9::D3DSWAPEFFECT_DISCARD;
  params.Windowed = d3d9::TRUE;
  params.Flags = d3d9::D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
  if (d3d_->CreateDevice(0, d3d9::D3DDEVTYPE_HAL, nullptr,
                         d3d9::D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_) != 0 ||
      device_ == nullptr) {
    d3d_->Release();
    throw std::runtime_error("CreateDevice failed");
  }
}

TestDevice::~TestDevice() {
  d3d9::SafeRelease(device_);
  d3d9::SafeRelease(d3d_);
}

std::string DataPath(const std::string& name) {
  return std::string(QUORREL_TEST_DATA) + "/" + name;
}

std::vector<uint8_t> ReadFixture(const std::string& name) {
  std::ifstream file(DataPath(name), std::ios::binary);
  if (!file) throw std::runtime_error("missing fixture " + name);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

namespace {

template <typename T>
std::vector<T> ReadTexels(IDirect3DTexture9* texture) {
  d3d9::D3DSURFACE_DESC desc{};
  if (texture->GetLevelDesc(0, &desc) != 0) return {};
  d3d9::D3DLOCKED_RECT lock{};
  if (texture->LockRect(0, &lock, nullptr, d3d9::D3DLOCK_READONLY) != 0) return {};
  std::vector<T> texels;
  for (d3d9::UINT y = 0; y < desc.Height; ++y) {
    const T* row = reinterpret_cast<const T*>(static_cast<const uint8_t*>(lock.pBits) +
                                              static_cast<ptrdiff_t>(y) * lock.Pitch);
    texels.insert(texels.end(), row, row + desc.Width);
  }
  texture->UnlockRect(0);
  return texels;
}

}  // namespace

std::vector<uint32_t> ReadTexels32(IDirect3DTexture9* texture) {
  return ReadTexels<uint32_t>(texture);
}
std::vector<uint16_t> ReadTexels16(IDirect3DTexture9* texture) {
  return ReadTexels<uint16_t>(texture);
}

std::string CompareWithGolden(const Picture& actual, const std::string& name, int tolerance) {
  const ::testing::AssertionResult result = test_support::MatchesGolden(
      {actual.width, actual.height, actual.pixels},
      {QUORREL_TEST_DATA, test_support::OutputFolder("d3dx9")}, name, tolerance);
  return result ? std::string() : result.message();
}

}  // namespace d3dx9_test
