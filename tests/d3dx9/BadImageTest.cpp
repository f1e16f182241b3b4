// Damaged, truncated and oversized pictures fail cleanly: a failure result, no texture, no
// crash and no allocation sized by a header's claims. Run these under AddressSanitizer too.
#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <random>

#include "TestSupport.h"
#include "support/pictures.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/d3dx9/d3dx9_image.h"

namespace d3dx9_test {
namespace {

using namespace platform::d3d9;
using namespace platform::d3dx9;
using platform::win32::FAILED;

const char* const kFixtures[] = {"rgb8.png",   "rgba8.png",       "rgba16.png",    "palette.png",
                                 "grey8.png",  "grey2.png",       "greyalpha.png", "interlaced.png",
                                 "colour.jpg", "progressive.jpg", "grey.jpg",      "cmyk.jpg"};

using test_support::Crc32;
using test_support::PutBigEndian32;

// rgb8.png claiming another size.
std::vector<uint8_t> PngClaiming(uint32_t width, uint32_t height) {
  return test_support::PngClaiming(ReadFixture("rgb8.png"), width, height);
}

size_t FindChunk(const std::vector<uint8_t>& png, const char* type) {
  for (size_t i = 8; i + 8 <= png.size();) {
    const uint32_t length =
        uint32_t{png[i]} << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3];
    if (std::memcmp(&png[i + 4], type, 4) == 0) return i;
    i += 12 + length;
  }
  return std::string::npos;
}

// colour.jpg with its frame header claiming another size.
std::vector<uint8_t> JpegClaiming(uint16_t width, uint16_t height) {
  std::vector<uint8_t> jpeg = ReadFixture("colour.jpg");
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<uint8_t>(height);
      jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<uint8_t>(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no frame header in colour.jpg";
  return jpeg;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

std::vector<uint8_t> PngWithIdatCrcBroken() {
  std::vector<uint8_t> png = ReadFixture("rgb8.png");
  const size_t idat = FindChunk(png, "IDAT");
  png[idat + 8] ^= 0x55;  // first data byte; the stored checksum no longer matches
  return png;
}

std::vector<uint8_t> PngWithGarbageCompressedData() {
  std::vector<uint8_t> png = ReadFixture("rgb8.png");
  const size_t idat = FindChunk(png, "IDAT");
  const uint32_t length =
      uint32_t{png[idat]} << 24 | png[idat + 1] << 16 | png[idat + 2] << 8 | png[idat + 3];
  for (uint32_t k = 2; k < length; ++k) png[idat + 8 + k] = static_cast<uint8_t>(0xA5 ^ k);
  PutBigEndian32(&png[idat + 8 + length], Crc32(&png[idat + 4], length + 4));
  return png;
}

struct BadCase {
  const char* what;
  std::vector<uint8_t> bytes;
  const char* reason;  // part of the failure reason, or null
};

TEST(BadImageTest, BadPicturesFailWithoutATexture) {
  TestDevice device(8, 8);
  const std::vector<uint8_t> png = ReadFixture("rgba8.png");
  const std::vector<uint8_t> jpeg = ReadFixture("colour.jpg");
  const std::string text = "this is not a picture";
  const std::vector<BadCase> cases = {
      {"text", {text.begin(), text.end()}, "not a PNG or JPEG"},
      {"PNG signature alone", Cut(png, 8), nullptr},
      {"PNG cut in half", Cut(png, png.size() / 2), nullptr},
      {"PNG without its end chunk", Cut(png, png.size() - 12), nullptr},
      {"PNG with a broken checksum", PngWithIdatCrcBroken(), nullptr},
      {"PNG with garbage compressed data", PngWithGarbageCompressedData(), nullptr},
      {"PNG of zero width", PngClaiming(0, 2), nullptr},
      {"PNG wider than any texture", PngClaiming(100000, 2), nullptr},
      {"PNG of 16000 x 16000", PngClaiming(16000, 16000), "too large"},
      {"JPEG cut in half", Cut(jpeg, jpeg.size() / 2), nullptr},
      {"JPEG without its end marker", Cut(jpeg, jpeg.size() - 2), nullptr},
      {"JPEG of 60000 x 60000", JpegClaiming(60000, 60000), "too large"},
      // Sizes a texture may have, but far more texels than the bytes could ever fill: refused
      // before 256 MiB are allocated and cleared for them.
      {"PNG of 8192 x 8192 in 81 bytes", PngClaiming(8192, 8192), "more than its 81 bytes"},
      {"PNG of 8192 x 8 in 81 bytes", PngClaiming(8192, 8), "more than its 81 bytes"},
      {"JPEG of 8192 x 8192 in 292 bytes", JpegClaiming(8192, 8192), "more than its 292 bytes"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.what);
    IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(&device);
    const HRESULT hr = D3DXCreateTextureFromFileInMemory(
        device.get(), c.bytes.data(), static_cast<UINT>(c.bytes.size()), &texture);
    EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
    if (c.reason != nullptr) {
      EXPECT_NE(LastTextureError().find(c.reason), std::string::npos) << LastTextureError();
    }
  }

  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device.get(), png.data(), 0, &texture),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemory(nullptr, png.data(), 100, &texture),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(texture, nullptr);
}

// The bound on what compressed bytes can hold leaves real pictures alone, even ones that
// compress as well as a picture can.
TEST(BadImageTest, AFlatPictureThatCompressesWellStillLoads) {
  png_image out{};
  out.version = PNG_IMAGE_VERSION;
  out.width = 2048;
  out.height = 2048;
  out.format = PNG_FORMAT_RGB;
  const std::vector<uint8_t> pixels(size_t{2048} * 2048 * 3, 0);
  png_alloc_size_t size = 0;
  ASSERT_TRUE(png_image_write_to_memory(&out, nullptr, &size, 0, pixels.data(), 0, nullptr));
  std::vector<uint8_t> png(size);
  ASSERT_TRUE(png_image_write_to_memory(&out, png.data(), &size, 0, pixels.data(), 0, nullptr));
  png.resize(size);
  ASSERT_LT(png.size(), 20000u);  // about a thousandth of its 12 MiB of rows
  DecodedImage image;
  std::string error;
  ASSERT_TRUE(DecodeImage(png.data(), png.size(), image, error)) << error;
  EXPECT_EQ(image.width, 2048u);
  EXPECT_EQ(image.texels[size_t{2048} * 2048 - 1], 0xFF000000u);
}

// The device makes no texture over 8192 texels on a side, so a picture that is only refused
// by the device was decoded in full for nothing, and failed as a bad call, not as bad data.
TEST(BadImageTest, APictureLargerThanAnyTextureIsRefusedBeforeDecoding) {
  TestDevice device(8, 8);
  struct Case {
    uint32_t width, height;
    bool loads;
  } cases[] = {{8192, 2, true}, {2, 8192, true}, {8193, 2, false}, {2, 8200, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    png_image out{};
    out.version = PNG_IMAGE_VERSION;
    out.width = c.width;
    out.height = c.height;
    out.format = PNG_FORMAT_RGB;
    const std::vector<uint8_t> pixels(size_t{c.width} * c.height * 3, 0x40);
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&out, nullptr, &size, 0, pixels.data(), 0, nullptr));
    std::vector<uint8_t> png(size);
    ASSERT_TRUE(png_image_write_to_memory(&out, png.data(), &size, 0, pixels.data(), 0, nullptr));
    png.resize(size);

    DecodedImage image;
    std::string error;
    EXPECT_EQ(DecodeImage(png.data(), png.size(), image, error), c.loads) << error;
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileInMemory(
        device.get(), png.data(), static_cast<UINT>(png.size()), &texture);
    if (c.loads) {
      EXPECT_EQ(hr, D3D_OK) << LastTextureError();
      ASSERT_NE(texture, nullptr);
      texture->Release();
    } else {
      EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
      EXPECT_EQ(texture, nullptr);
      EXPECT_NE(LastTextureError().find("too large"), std::string::npos) << LastTextureError();
    }
  }
}

TEST(BadImageTest, EveryCutOfEveryFixtureFailsAndTheWholeFileLoads) {
  for (const char* name : kFixtures) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = ReadFixture(name);
    DecodedImage image;
    std::string error;
    ASSERT_TRUE(DecodeImage(bytes.data(), bytes.size(), image, error)) << error;
    for (size_t size = 0; size < bytes.size(); ++size) {
      ASSERT_FALSE(DecodeImage(bytes.data(), size, image, error)) << "cut at " << size;
      ASSERT_TRUE(image.texels.empty());
    }
  }
}

TEST(BadImageTest, DamagedBytesNeverCrashTheDecoders) {
  std::mt19937 random(20240611);
  for (const char* name : kFixtures) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> original = ReadFixture(name);
    for (size_t position = 0; position < original.size(); ++position) {
      for (uint8_t value :
           {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(original[position] ^ 0x10),
            static_cast<uint8_t>(random())}) {
        std::vector<uint8_t> bytes = original;
        bytes[position] = value;
        DecodedImage image;
        std::string error;
        if (DecodeImage(bytes.data(), bytes.size(), image, error)) {
          ASSERT_EQ(image.texels.size(), size_t{image.width} * image.height);
          ASSERT_TRUE(ImageSizeAllowed(image.width, image.height));
        } else {
          ASSERT_FALSE(error.empty());
        }
      }
    }
  }
}

}  // namespace
}  // namespace d3dx9_test
