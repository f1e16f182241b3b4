#include "golden.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace test_support {

namespace {

// libpng's simplified reader, not the decoder under test, so a decoder fault cannot hide itself.
bool ReadPng(const std::string& path, int& width, int& height, std::vector<uint32_t>& pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_BGRA;  // little-endian 0xAARRGGBB
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  pixels.assign(static_cast<size_t>(width) * height, 0);
  const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

int Channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

}  // namespace

bool WritePng(const std::string& path, ImageView picture, bool alpha) {
  const std::filesystem::path file(path);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_BGRA;
  if (alpha)
    return png_image_write_to_file(&image, path.c_str(), 0, picture.pixels.data(), 0, nullptr) != 0;
  std::vector<uint8_t> bgr;
  bgr.reserve(picture.pixels.size() * 3);
  for (uint32_t p : picture.pixels)
    for (int shift : {0, 8, 16}) bgr.push_back(static_cast<uint8_t>(Channel(p, shift)));
  image.format = PNG_FORMAT_BGR;
  return png_image_write_to_file(&image, path.c_str(), 0, bgr.data(), 0, nullptr) != 0;
}

std::string OutputFolder(const std::string& program) {
  return std::string(QUORREL_BINARY_DIR) + "/test-output/" + program;
}

::testing::AssertionResult MatchesGolden(ImageView actual, const GoldenFolders& folders,
                                         const std::string& name, int tolerance) {
  const std::string golden = folders.golden + "/" + name + ".png";
  const char* update = std::getenv("QUORREL_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    if (WritePng(golden, actual)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cannot write " << golden;
  }
  const std::string out = folders.output + "/" + name;
  int width = 0, height = 0;
  std::vector<uint32_t> expected;
  if (!ReadPng(golden, width, height, expected)) {
    WritePng(out + ".actual.png", actual);
    return ::testing::AssertionFailure() << "no golden " << golden << "; actual in " << out
                                         << ".actual.png";
  }
  if (width != actual.width || height != actual.height) {
    WritePng(out + ".actual.png", actual);
    return ::testing::AssertionFailure() << name << ": golden is " << width << "x" << height
                                         << ", picture " << actual.width << "x" << actual.height;
  }
  // Each channel's difference, brightened so that small ones show.
  std::vector<uint32_t> diff(expected.size(), 0xFF000000u);
  int bad = 0, worst = 0, firstX = -1, firstY = -1;
  for (size_t i = 0; i < expected.size(); ++i) {
    int pixelWorst = 0;
    for (int shift : {0, 8, 16}) {
      const int d = std::abs(Channel(actual.pixels[i], shift) - Channel(expected[i], shift));
      pixelWorst = std::max(pixelWorst, d);
      diff[i] |= static_cast<uint32_t>(std::min(255, d * 8)) << shift;
    }
    worst = std::max(worst, pixelWorst);
    if (pixelWorst > tolerance && bad++ == 0) {
      firstX = static_cast<int>(i % width);
      firstY = static_cast<int>(i / width);
    }
  }
  if (bad == 0) return ::testing::AssertionSuccess();
  WritePng(out + ".actual.png", actual);
  WritePng(out + ".diff.png", {width, height, diff});
  return ::testing::AssertionFailure()
         << name << ": " << bad << " pixels differ by more than " << tolerance << " (worst "
         << worst << "), first at (" << firstX << ", " << firstY << "); see " << out
         << ".actual.png and .diff.png";
}

}  // namespace test_support
