// JPEG pictures through libjpeg-turbo, from memory.
//
// libjpeg reports errors through error_exit, which here longjmps back to DecodeJpegRows; the
// frames in between are libjpeg's own, and the texel vector belongs to the caller, so no
// destructor is skipped. libjpeg only warns about damaged entropy data or a file that ends
// early and then paints the rest grey; such a picture is refused instead, so that a damaged
// texture file shows as a load failure and not as a half-grey picture. Progressive files with
// an absurd number of scans (a known way to make decoding take minutes) are refused too.
#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
// jerror.h after jpeglib.h, whose types its message codes go with.
#include <jerror.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstring>
#include <new>

#include "platform/d3dx9/d3dx9_image.h"

namespace platform::d3dx9 {
namespace {

static_assert(std::endian::native == std::endian::little,
              "texels are written as B, G, R, A bytes and read as 0xAARRGGBB");

constexpr int kMaxScans = 1000;
constexpr long kMaxDecoderMemory = 1024L * 1024 * 1024;

struct JpegErrors {
  jpeg_error_mgr manager;  // first, so libjpeg's pointer to it is a pointer to the whole
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  cinfo->err->format_message(cinfo, errors->message);
  longjmp(errors->jump, 1);
}

bool DamagedData(int code) {
  switch (code) {
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
      return true;
    default:
      return false;
  }
}

void OnJpegMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && DamagedData(cinfo->err->msg_code)) OnJpegError(cinfo);
}

void OnJpegProgress(j_common_ptr cinfo) {
  auto* decoder = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (decoder->input_scan_number > kMaxScans) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    std::snprintf(errors->message, sizeof errors->message, "more than %d scans", kMaxScans);
    longjmp(errors->jump, 1);
  }
}

// CMYK arrives as four bytes C, M, Y, K per texel and is turned into B, G, R, A in place.
// Files with an Adobe marker store the channels inverted, as Photoshop writes them.
void CmykToTexels(uint8_t* row, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x) {
    uint8_t* p = row + size_t{x} * 4;
    unsigned c = p[0], m = p[1], y = p[2], k = p[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    p[0] = static_cast<uint8_t>((y * k + 127) / 255);
    p[1] = static_cast<uint8_t>((m * k + 127) / 255);
    p[2] = static_cast<uint8_t>((c * k + 127) / 255);
    p[3] = 255;
  }
}

bool DecodeJpegRows(jpeg_decompress_struct* cinfo, JpegErrors* errors, const uint8_t* bytes,
                    size_t size, DecodedImage& image) {
  if (setjmp(errors->jump)) return false;

  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
  jpeg_mem_src(cinfo, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(cinfo, TRUE);
  if (!ImageSizeAllowed(cinfo->image_width, cinfo->image_height)) {
    std::snprintf(errors->message, sizeof errors->message, "picture of %ux%u is too large",
                  static_cast<unsigned>(cinfo->image_width),
                  static_cast<unsigned>(cinfo->image_height));
    return false;
  }
  // Every MCU costs at least one bit of entropy-coded data (the DC code of its first block), so
  // the file's bits bound the MCUs it can hold; the decoder would otherwise allocate for the
  // header's claim first (whole-image coefficient buffers for a progressive file).
  const uint64_t mcuWidth = 8u * static_cast<unsigned>(std::max(1, cinfo->max_h_samp_factor));
  const uint64_t mcuHeight = 8u * static_cast<unsigned>(std::max(1, cinfo->max_v_samp_factor));
  const uint64_t mcus = (cinfo->image_width + mcuWidth - 1) / mcuWidth *
                        ((cinfo->image_height + mcuHeight - 1) / mcuHeight);
  if (mcus > static_cast<uint64_t>(size) * 8) {
    std::snprintf(errors->message, sizeof errors->message, "%s",
                  TooFewBytesReason(cinfo->image_width, cinfo->image_height, size).c_str());
    return false;
  }
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(cinfo);
  const uint32_t width = cinfo->output_width;
  const uint32_t height = cinfo->output_height;
  if (cinfo->output_components != 4 || !ImageSizeAllowed(width, height)) {
    std::snprintf(errors->message, sizeof errors->message, "unexpected pixel layout");
    return false;
  }
  try {
    image.texels.assign(size_t{width} * height, 0);
  } catch (const std::bad_alloc&) {
    std::snprintf(errors->message, sizeof errors->message, "out of memory");
    return false;
  }
  image.width = width;
  image.height = height;
  while (cinfo->output_scanline < height) {
    auto* row =
        reinterpret_cast<uint8_t*>(image.texels.data() + size_t{cinfo->output_scanline} * width);
    JSAMPROW rows[1] = {row};
    if (jpeg_read_scanlines(cinfo, rows, 1) != 1) {
      std::snprintf(errors->message, sizeof errors->message, "file is truncated");
      return false;
    }
    if (cmyk) CmykToTexels(row, width, cinfo->saw_Adobe_marker);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* bytes, size_t size, DecodedImage& image, std::string& error) {
  image = DecodedImage{};
  image.format = ImageFileFormat::Jpeg;
  if (bytes == nullptr || size < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF) {
    error = "not a JPEG file";
    return false;
  }
  jpeg_decompress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnJpegError;
  errors.manager.emit_message = OnJpegMessage;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = OnJpegProgress;
  cinfo.progress = &progress;

  const bool ok = DecodeJpegRows(&cinfo, &errors, bytes, size, image);
  jpeg_destroy_decompress(&cinfo);
  if (!ok) {
    error = errors.message;
    image = DecodedImage{};
    image.format = ImageFileFormat::Jpeg;
    return false;
  }
  image.hasAlpha = false;
  return true;
}

}  // namespace platform::d3dx9
