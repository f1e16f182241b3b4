// The two-key cipher: enciphering gives 8 * (size / 8 + 1) bytes that decipher to the input
// under the same keys, and deciphering arbitrary bytes under arbitrary keys is safe and never
// gives more than it got. The input is two keys of up to 16 bytes (each length in one byte),
// then the data. The padding's random generator starts from the same seed every time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/CUnit.h"
#include "fuzz_support.h"
#include "runtime/Random.h"
#include "runtime/Streams.h"

namespace {

std::string Cipher(const std::string& bytes, const std::string& key1, const std::string& key2,
                   bool encrypt) {
  rtl::TMemoryStream source, dest;
  source.WriteString(bytes);
  CipherStream(source, dest, key1, key2, encrypt);
  FUZZ_CHECK(source.Size() == 0 && dest.Position() == 0);
  return dest.ToString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rtl::RandSeed = 12345;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string key1 = fuzz::TakeKey(input);
  const std::string key2 = fuzz::TakeKey(input);
  const std::string bytes(input);

  const std::string enciphered = Cipher(bytes, key1, key2, true);
  FUZZ_CHECK(enciphered.size() == 8 * (bytes.size() / 8 + 1));
  FUZZ_CHECK(Cipher(enciphered, key1, key2, false) == bytes);

  FUZZ_CHECK(Cipher(bytes, key1, key2, false).size() <= bytes.size());
  return 0;
}
