#include "golden.h"

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace d3d9_test {

using platform::d3d9::CapturedFrame;

bool ReadPng(const std::string& path, CapturedFrame& out) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_BGRA;  // little-endian 0xAARRGGBB
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
  const bool ok = png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

bool WritePng(const std::string& path, const CapturedFrame& frame) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(frame.width);
  image.height = static_cast<png_uint_32>(frame.height);
  image.format = PNG_FORMAT_BGRA;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return png_image_write_to_file(&image, path.c_str(), 0, frame.pixels.data(), 0, nullptr) != 0;
}

std::string CompareGolden(const std::string& name, const CapturedFrame& frame, int tolerance) {
  const std::string golden = std::string(QUORREL_TEST_DATA) + "/" + name + ".png";
  CapturedFrame expected;
  if (!ReadPng(golden, expected)) {
    const char* update = std::getenv("QUORREL_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0 && WritePng(golden, frame)) return "";
    return "missing golden " + golden;
  }
  if (expected.width != frame.width || expected.height != frame.height)
    return name + ": size differs from the golden";
  CapturedFrame diff = frame;
  int bad = 0, first_x = -1, first_y = -1;
  for (size_t i = 0; i < frame.pixels.size(); ++i) {
    const uint32_t a = frame.pixels[i], b = expected.pixels[i];
    uint32_t d = 0xFF000000u;
    bool off = false;
    for (int c = 0; c < 24; c += 8) {
      const int delta = std::abs(static_cast<int>((a >> c) & 0xFF) - static_cast<int>((b >> c) & 0xFF));
      if (delta > tolerance) off = true;
      d |= static_cast<uint32_t>(std::min(255, delta * 8)) << c;
    }
    diff.pixels[i] = d;
    if (off && bad++ == 0) {
      first_x = static_cast<int>(i % frame.width);
      first_y = static_cast<int>(i / frame.width);
    }
  }
  if (bad == 0) return "";
  const std::string out = std::string(QUORREL_BINARY_DIR) + "/test-output/d3d9/" + name;
  WritePng(out + ".actual.png", frame);
  WritePng(out + ".diff.png", diff);
  std::ostringstream msg;
  msg << name << ": " << bad << " pixels differ beyond " << tolerance << ", first at (" << first_x
      << ", " << first_y << "); see " << out << ".actual.png";
  return msg.str();
}

}  // namespace d3d9_test
