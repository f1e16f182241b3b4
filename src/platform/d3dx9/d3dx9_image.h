// Picture files decoded into 32-bit texels, for the texture loaders of d3dx9_texture.cpp.
// PNG (every colour type and bit depth, palette and transparency chunk included) through
// libpng and JPEG (grey, colour and CMYK) through libjpeg-turbo. Each texel is one uint32 in
// the device's A8R8G8B8 order (alpha in the top byte); pictures without alpha get 255.
//
// Input is untrusted: a picture whose header declares more than kMaxImageSide texels on a side
// or more than kMaxImagePixels in all is refused before anything is allocated for it, and so is
// one whose header claims more texels than its file's bytes could fill at the best compression
// its format allows; a corrupt or truncated file gives false with a reason, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::d3dx9 {

// The device makes no larger texture, so a larger picture is not worth decoding.
constexpr uint32_t kMaxImageSide = 8192;
constexpr uint64_t kMaxImagePixels = uint64_t{8192} * 8192;

enum class ImageFileFormat { Png, Jpeg };

struct DecodedImage {
  uint32_t width = 0;
  uint32_t height = 0;
  ImageFileFormat format = ImageFileFormat::Png;
  bool hasAlpha = false;         // the file carries alpha (an alpha channel or transparency)
  std::vector<uint32_t> texels;  // width * height, rows top to bottom
};

// Decodes a PNG or JPEG picture held in memory, telling the two apart by their signatures.
// On failure returns false and puts a short reason into error.
bool DecodeImage(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& error);

bool DecodePng(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& error);
bool DecodeJpeg(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& error);

// Whether a picture of this size may be decoded at all.
inline bool ImageSizeAllowed(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

// The reason given when a header claims more than the file can hold.
std::string TooFewBytesReason(uint64_t width, uint64_t height, size_t size);

}  // namespace platform::d3dx9
