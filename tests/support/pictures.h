// Damaged picture files made from good ones, for the tests of the decoders and of the texture
// store: a PNG whose header claims another size, with checksums right so that only the size
// tells it apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace test_support {

uint32_t Crc32(const uint8_t* data, size_t size);  // the PNG chunk checksum
void PutBigEndian32(uint8_t* p, uint32_t v);

// The PNG with its IHDR width and height replaced (and the IHDR checksum fixed).
std::vector<uint8_t> PngClaiming(std::vector<uint8_t> png, uint32_t width, uint32_t height);

}  // namespace test_support
