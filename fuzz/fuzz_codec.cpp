// The payload codec on hostile input: the way back of CryptStr (text codec, decipher, unzip)
// under arbitrary keys, the way back of the unciphered form, and the unzip routine on raw bytes.
// None may crash or give more than the cap; unzip under a small cap must agree with unzip under
// the full one (the same bytes, or a refusal exactly when the output is too long); sealing the
// bytes must open again. The input is two keys of up to 16 bytes (each length in one byte), a
// byte that picks the small cap, then the data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "game/PayloadCodec.h"
#include "runtime/Random.h"
#include "runtime/Streams.h"

namespace {

// Unzips Bytes under Cap; Ok tells whether it opened. A refusal leaves nothing.
std::string Unzip(const std::string& bytes, std::size_t cap, bool& ok) {
  rtl::TMemoryStream stream;
  stream.WriteString(bytes);
  ok = UnzipStream(stream, cap);
  FUZZ_CHECK(ok || stream.Size() == 0);
  FUZZ_CHECK(stream.Position() == 0);
  FUZZ_CHECK(stream.Size() <= cap);
  return stream.ToString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool silenced = (fuzz::SilenceLog(), true);
  (void)silenced;
  rtl::RandSeed = 12345;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string key1 = fuzz::TakeKey(input);
  const std::string key2 = fuzz::TakeKey(input);
  std::size_t smallCap = 0;
  if (!input.empty()) {
    smallCap = static_cast<uint8_t>(input[0]) * std::size_t{67};
    input.remove_prefix(1);
  }
  const std::string bytes(input);

  FUZZ_CHECK(DecryptPayload(bytes, key1, key2).size() <= UnzipOutputCap);
  FUZZ_CHECK(DepostPayload(bytes).size() <= UnzipOutputCap);

  bool fullOk = false, smallOk = false;
  const std::string full = Unzip(bytes, UnzipOutputCap, fullOk);
  const std::string small = Unzip(bytes, smallCap, smallOk);
  FUZZ_CHECK(smallOk == (fullOk && full.size() <= smallCap));
  FUZZ_CHECK(!smallOk || small == full);

  FUZZ_CHECK(DecryptPayload(CryptPayload(bytes, key1, key2), key1, key2) == bytes);
  return 0;
}
