// Chooses the decoder by the file's signature, not by its name: texture files are handed over
// as bytes, and a picture saved with the wrong extension still loads.
#include "platform/d3dx9/d3dx9_image.h"

namespace platform::d3dx9 {

std::string TooFewBytesReason(uint64_t width, uint64_t height, size_t size) {
  return "picture of " + std::to_string(width) + "x" + std::to_string(height) +
         " claims more than its " + std::to_string(size) + " bytes can hold";
}

bool DecodeImage(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& error) {
  static constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes != nullptr && size >= 8) {
    bool png = true;
    for (int i = 0; i < 8; ++i) png = png && bytes[i] == kPngSignature[i];
    if (png) return DecodePng(bytes, size, image, error);
  }
  if (bytes != nullptr && size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
    return DecodeJpeg(bytes, size, image, error);
  }
  image = DecodedImage{};
  error = "not a PNG or JPEG file";
  return false;
}

}  // namespace platform::d3dx9
