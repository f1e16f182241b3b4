// The 6-bit text codec: encoding gives only characters "?" .. "~", four for every three bytes
// (rounded up, no padding), and decodes to the input; decoding arbitrary text is safe.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/CUnit.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::string text = input;
  EncodeText64(text);
  FUZZ_CHECK(text.size() == (size * 4 + 2) / 3);
  for (const char c : text) FUZZ_CHECK(c >= '?' && c <= '~');
  DecodeText64(text);
  FUZZ_CHECK(text == input);

  std::string decoded = input;
  DecodeText64(decoded);
  FUZZ_CHECK(decoded.size() <= size);
  return 0;
}
