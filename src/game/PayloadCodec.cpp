#include "game/PayloadCodec.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <utility>

#include <zlib.h>

#include "foundation/CUnit.h"
#include "foundation/KeshLogEngine.h"
#include "runtime/Streams.h"

namespace {

// First output allocation of a decompression; it doubles from here up to the cap, so small
// payloads stay small and the cap is reached in a dozen steps.
constexpr std::size_t InflateFirstChunk = std::size_t{64} << 10;

void LogCodecError(const char* text) {
  if (LogEngine != nullptr) LogEngine->AddError(text);
}

// Inflates the zlib stream at the start of In into Out. False on any fault, including output
// beyond Cap. Out's memory grows geometrically but never past Cap; the one byte beyond the cap
// that proves an overflow goes to a probe byte instead.
bool Inflate(const uint8_t* in, std::size_t inSize, rtl::TMemoryStream& out, std::size_t cap) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  std::size_t inLeft = inSize;
  std::size_t produced = 0;
  uint8_t probe = 0;
  bool ok = false;
  for (;;) {
    // zlib counts in 32 bits: feed and drain at most that much per call.
    if (z.avail_in == 0 && inLeft > 0) {
      const std::size_t take = std::min<std::size_t>(inLeft, UINT_MAX);
      z.next_in = const_cast<uint8_t*>(in + (inSize - inLeft));
      z.avail_in = static_cast<uInt>(take);
      inLeft -= take;
    }
    const bool probing = produced == out.Size() && out.Size() >= cap;
    if (probing) {
      z.next_out = &probe;
      z.avail_out = 1;
    } else {
      if (produced == out.Size()) out.SetSize(std::min(cap, std::max(InflateFirstChunk, out.Size() * 2)));
      z.next_out = out.Memory() + produced;
      z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.Size() - produced, UINT_MAX));
    }
    const uInt room = z.avail_out;
    const int status = inflate(&z, Z_NO_FLUSH);
    if (probing) {
      if (z.avail_out == 0) break;  // more output than the cap allows
    } else {
      produced += room - z.avail_out;
    }
    if (status == Z_STREAM_END) {
      ok = true;
      break;
    }
    // Z_BUF_ERROR can only mean the input ran out: output room was always given.
    if (status != Z_OK) break;
  }
  inflateEnd(&z);
  if (ok) out.SetSize(produced);
  return ok;
}

}  // namespace

void ZipStream(rtl::TMemoryStream& stream) {
  try {
    rtl::TMemoryStream packed;
    uLongf packedSize = compressBound(static_cast<uLong>(stream.Size()));
    packed.SetSize(packedSize);
    if (compress2(packed.Memory(), &packedSize, stream.Memory(), static_cast<uLong>(stream.Size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
      LogCodecError("myzip");
      return;
    }
    packed.SetSize(packedSize);
    packed.SetPosition(0);
    stream = std::move(packed);
  } catch (const std::exception&) {
    LogCodecError("myzip");
  }
}

bool UnzipStream(rtl::TMemoryStream& stream, std::size_t outputCap) {
  bool ok = false;
  try {
    rtl::TMemoryStream plain;
    ok = Inflate(stream.Memory(), stream.Size(), plain, outputCap);
    if (ok) {
      plain.SetPosition(0);
      stream = std::move(plain);
    }
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) {
    LogCodecError("mydezip");
    stream.Clear();
  }
  return ok;
}

std::string CryptPayload(std::string_view text, const std::string& key, const std::string& key2) {
  try {
    rtl::TMemoryStream plain, sealed;
    plain.WriteString(text);
    ZipStream(plain);
    CipherStream(plain, sealed, key, key2, true);
    std::string result = sealed.ToString();
    EncodeText64(result);
    return result;
  } catch (const std::exception&) {
    return {};
  }
}

std::string DecryptPayload(std::string_view text, const std::string& key, const std::string& key2) {
  try {
    std::string bytes(text);
    DecodeText64(bytes);
    rtl::TMemoryStream sealed, plain;
    sealed.WriteString(bytes);
    bytes = {};
    CipherStream(sealed, plain, key, key2, false);
    if (!UnzipStream(plain)) return {};
    return plain.ToString();
  } catch (const std::exception&) {
    return {};
  }
}

std::string DepostPayload(std::string_view text) {
  try {
    std::string bytes(text);
    DecodeText64(bytes);
    rtl::TMemoryStream packed;
    packed.WriteString(bytes);
    bytes = {};
    if (!UnzipStream(packed)) return {};
    return packed.ToString();
  } catch (const std::exception&) {
    return {};
  }
}
