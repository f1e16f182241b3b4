// PNG decoding from bytes, then a texture from the same bytes (fuzz_image.h).
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::DrivePicture(platform::d3dx9::DecodePng, data, size);
  return 0;
}
