// Byte-level codecs for stored and transported data, all on whole in-memory streams:
// - ScrambleStream: a keyed, self-inverse scrambling in 8-byte blocks (script bundle and the
//   scrambled key/value files); output is exactly as long as input.
// - CipherStream: a two-key block cipher whose last block carries the marker 7 and random
//   padding from 10 to 254, so enciphered data is 8 * (size / 8 + 1) bytes long.
// - EncodeText64 / DecodeText64: the bit grouping of Base64 with the alphabet "?" .. "~" and
//   no padding characters.
// - IsPlainTextStream: whether unscrambled bytes really are CR LF text.
// Source and Dest must be different streams; Source is cleared afterwards and Dest left at 0.
// CipherStream draws from the runtime's random generator, so these belong to the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace rtl {
class TMemoryStream;
}

using TKeshBlock = std::array<uint8_t, 8>;

// The 8 x 8 bit transpose: bit r of output byte c is bit c of input byte r. Its own inverse.
TKeshBlock TransposeBlock(const TKeshBlock& block);

// An empty key counts as "1"; only the first 8 key bytes matter.
void ScrambleStream(rtl::TMemoryStream& source, rtl::TMemoryStream& dest, const std::string& key);
// Empty keys count as "1" and "2". Deciphering ignores a short last piece and cuts the data
// before the marker of its last (or, failing that, next-to-last) block.
void CipherStream(rtl::TMemoryStream& source, rtl::TMemoryStream& dest, const std::string& key1,
                  const std::string& key2, bool encrypt);

void EncodeText64(std::string& s);
void DecodeText64(std::string& s);

// TAB, CR, bytes 32 .. 255 and LF directly after CR only; an empty stream is plain text.
bool IsPlainTextStream(const rtl::TMemoryStream& stream);
