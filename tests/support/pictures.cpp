#include "support/pictures.h"

#include <zlib.h>

namespace test_support {

uint32_t Crc32(const uint8_t* data, size_t size) {
  return static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(size)));
}

void PutBigEndian32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

std::vector<uint8_t> PngClaiming(std::vector<uint8_t> png, uint32_t width, uint32_t height) {
  if (png.size() < 33) return png;
  PutBigEndian32(&png[16], width);
  PutBigEndian32(&png[20], height);
  PutBigEndian32(&png[29], Crc32(&png[12], 17));  // over "IHDR" and its 13 data bytes
  return png;
}

}  // namespace test_support
