// PNG pictures through libpng's sequential reader, from memory.
//
// libpng reports errors by longjmp back to the setjmp of DecodePngRows; nothing between the
// two owns C++ resources, and the texel vector lives in the caller's DecodedImage, so the jump
// skips no destructor. Colour handling is exact: no gamma or colour-profile transform is
// applied, 16-bit channels keep their high byte, palette and tRNS entries expand to texels.
#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/d3dx9/d3dx9_image.h"

namespace platform::d3dx9 {
namespace {

static_assert(std::endian::native == std::endian::little,
              "texels are written as B, G, R, A bytes and read as 0xAARRGGBB");

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t position;
};

struct PngFailure {
  char message[200];
};

// Deflate cannot beat 1032 to 1: a 258-byte match costs at least one bit of length code and one
// of distance code. Rows carry one filter byte each; interlacing only adds to them.
bool CompressedDataCanHold(uint64_t width, uint64_t height, int bitsPerPixel, size_t size) {
  const uint64_t rowBytes = 1 + (width * static_cast<uint64_t>(bitsPerPixel) + 7) / 8;
  return height * rowBytes <= (static_cast<uint64_t>(size) + 1) * 1032;
}

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->position) png_error(png, "file is truncated");
  std::memcpy(out, source->data + source->position, length);
  source->position += length;
}

void OnPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Everything libpng may jump out of. Returns false with failure->message set.
bool DecodePngRows(png_structp png, png_infop info, size_t size, DecodedImage& image,
                   PngFailure* failure) {
  if (setjmp(png_jmpbuf(png))) return false;

  png_read_info(png, info);
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colorType = 0;
  int interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
  if (!ImageSizeAllowed(width, height)) {
    std::snprintf(failure->message, sizeof failure->message, "picture of %ux%u is too large",
                  static_cast<unsigned>(width), static_cast<unsigned>(height));
    return false;
  }
  if (!CompressedDataCanHold(width, height, png_get_channels(png, info) * bitDepth, size)) {
    std::snprintf(failure->message, sizeof failure->message, "%s",
                  TooFewBytesReason(width, height, size).c_str());
    return false;
  }

  const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  image.hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || hasTransparency;

  if (bitDepth == 16) png_set_strip_16(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (hasTransparency) png_set_tRNS_to_alpha(png);
  if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  if (!image.hasAlpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t{width} * 4) {
    std::snprintf(failure->message, sizeof failure->message, "unexpected pixel layout");
    return false;
  }

  try {
    image.texels.assign(size_t{width} * height, 0);
  } catch (const std::bad_alloc&) {
    std::snprintf(failure->message, sizeof failure->message, "out of memory");
    return false;
  }
  image.width = width;
  image.height = height;
  // Interlaced pictures come in several passes over the same rows; each pass fills in its own
  // pixels and leaves the others as they are.
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, reinterpret_cast<png_bytep>(image.texels.data() + size_t{y} * width),
                   nullptr);
    }
  }
  // Reading up to IEND checks the end of the compressed stream, so a cut file fails even when
  // its last rows happen to be decodable.
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

bool DecodePng(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& error) {
  image = DecodedImage{};
  image.format = ImageFileFormat::Png;
  if (bytes == nullptr || size < 8 || png_sig_cmp(bytes, 0, 8) != 0) {
    error = "not a PNG file";
    return false;
  }
  PngFailure failure{};
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
  if (png == nullptr) {
    error = "libpng could not start";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    error = "libpng could not start";
    return false;
  }
  PngSource source{bytes, size, 0};
  png_set_read_fn(png, &source, ReadFromMemory);
  // Refused in the header already (libpng's limit only backs up the size check after the
  // header, which names the reason), and ancillary chunks (compressed text, colour profiles)
  // may not inflate into more than a few megabytes.
  png_set_user_limits(png, 2 * kMaxImageSide, 2 * kMaxImageSide);
  png_set_chunk_malloc_max(png, 8u * 1024 * 1024);

  const bool ok = DecodePngRows(png, info, size, image, &failure);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok) {
    error = failure.message;
    image = DecodedImage{};
    return false;
  }
  return true;
}

}  // namespace platform::d3dx9
