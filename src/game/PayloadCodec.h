// The payload codec behind the scripts' CryptStr, DecryptStr and DepostNZip: zlib compression of
// a whole memory stream, and the two ways between plain bytes and the printable text the scripts
// store or send (zlib, then the two-key cipher, then the 6-bit text codec of CUnit, and back).
//
// Everything happens in memory. Decompression gives up past a cap on its output, so a few
// kilobytes of hostile text cannot make it allocate without bound; giving up counts as a failed
// decompression. Failures are logged to the main log at error level as "myzip" (compression) and
// "mydezip" (decompression) and never leave these routines as exceptions.
//
// The cipher draws from the runtime's random generator, so this unit belongs to the main thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rtl {
class TMemoryStream;
}

// Largest decompressed output accepted.
inline constexpr std::size_t UnzipOutputCap = std::size_t{64} << 20;

// Replaces the contents by their zlib-format compression at level 9, positioned at 0. On failure
// logs "myzip" and leaves the stream as it was.
void ZipStream(rtl::TMemoryStream& stream);
// Replaces the contents by the decompression of the zlib stream they begin with (bytes after its
// end are ignored), positioned at 0. Corrupt, truncated or empty data, or output beyond OutputCap,
// logs "mydezip", clears the stream and returns false.
bool UnzipStream(rtl::TMemoryStream& stream, std::size_t outputCap = UnzipOutputCap);

// Text64(Cipher(Zip(Text), Key, Key2)); "" only when memory runs out.
std::string CryptPayload(std::string_view text, const std::string& key, const std::string& key2);
// Unzip(Decipher(Untext64(Text), Key, Key2)); "" when any step fails (a wrong key, a damaged
// text).
std::string DecryptPayload(std::string_view text, const std::string& key, const std::string& key2);
// Unzip(Untext64(Text)); "" when any step fails.
std::string DepostPayload(std::string_view text);
