#include "TestSupport.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/d3dx9/d3dx9_image.h"

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

bool WritePng(const std::filesystem::path& path, const Picture& picture) {
  std::filesystem::create_directories(path.parent_path());
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_BGRA;
  return png_image_write_to_file(&image, path.c_str(), 0, picture.pixels.data(), 0, nullptr) != 0;
}

int Channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

}  // namespace

std::vector<uint32_t> ReadTexels32(IDirect3DTexture9* texture) {
  return ReadTexels<uint32_t>(texture);
}
std::vector<uint16_t> ReadTexels16(IDirect3DTexture9* texture) {
  return ReadTexels<uint16_t>(texture);
}

std::string CompareWithGolden(const Picture& actual, const std::string& name, int tolerance) {
  const std::string goldenPath = DataPath(name + ".png");
  const char* update = std::getenv("QUORREL_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    return WritePng(goldenPath, actual) ? "" : "cannot write " + goldenPath;
  }

  platform::d3dx9::DecodedImage golden;
  std::string error;
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadFixture(name + ".png");
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (error.empty() && !platform::d3dx9::DecodeImage(bytes.data(), bytes.size(), golden, error)) {
    error = "cannot decode " + goldenPath + ": " + error;
  }

  std::string result;
  Picture difference{actual.width, actual.height,
                     std::vector<uint32_t>(actual.pixels.size(), 0xFF000000u)};
  if (!error.empty()) {
    result = error;
  } else if (static_cast<int>(golden.width) != actual.width ||
             static_cast<int>(golden.height) != actual.height) {
    result = "size " + std::to_string(actual.width) + "x" + std::to_string(actual.height) +
             " differs from the golden " + std::to_string(golden.width) + "x" +
             std::to_string(golden.height);
  } else {
    int mismatches = 0;
    int worst = 0;
    for (size_t i = 0; i < actual.pixels.size(); ++i) {
      int pixelWorst = 0;
      uint32_t diff = 0xFF000000u;
      for (int shift : {0, 8, 16}) {
        const int d = std::abs(Channel(actual.pixels[i], shift) - Channel(golden.texels[i], shift));
        pixelWorst = std::max(pixelWorst, d);
        diff |= static_cast<uint32_t>(std::min(255, d * 4)) << shift;
      }
      difference.pixels[i] = diff;
      worst = std::max(worst, pixelWorst);
      if (pixelWorst > tolerance) ++mismatches;
    }
    if (mismatches > 0) {
      result = std::to_string(mismatches) + " pixels differ by more than " +
               std::to_string(tolerance) + " (worst " + std::to_string(worst) + ")";
    }
  }
  if (result.empty()) return result;

  const std::filesystem::path out =
      std::filesystem::path(QUORREL_BINARY_DIR) / "test-output" / "d3dx9";
  WritePng(out / (name + "-actual.png"), actual);
  WritePng(out / (name + "-difference.png"), difference);
  return result + "; see " + (out / (name + "-actual.png")).string() + " and " +
         (out / (name + "-difference.png")).string();
}

}  // namespace d3dx9_test
