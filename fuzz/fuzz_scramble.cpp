// The keyed scrambler: scrambling keeps the length and is its own inverse for any key and any
// bytes, and the plain-text test reads whatever comes out. The input is a key of up to 16 bytes
// (its length in the first byte), then the data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/CUnit.h"
#include "fuzz_support.h"
#include "runtime/Streams.h"

namespace {

std::string Scramble(const std::string& bytes, const std::string& key) {
  rtl::TMemoryStream source, dest;
  source.WriteString(bytes);
  ScrambleStream(source, dest, key);
  FUZZ_CHECK(source.Size() == 0 && dest.Position() == 0);
  (void)IsPlainTextStream(dest);
  return dest.ToString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string key = fuzz::TakeKey(input);
  const std::string bytes(input);

  const std::string scrambled = Scramble(bytes, key);
  FUZZ_CHECK(scrambled.size() == bytes.size());
  FUZZ_CHECK(Scramble(scrambled, key) == bytes);
  return 0;
}
