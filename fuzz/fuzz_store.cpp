// The key/value store's reader on any bytes, plain and scrambled. Whatever it loads has keys
// without "=" and no line ends or NULs; a scrambled load is the two corrupt marks exactly when
// the bytes do not unscramble to text, and otherwise survives a save and a fresh load unchanged.
// A plain load survives one too, less the control bytes a save writes as blanks. The first input
// byte picks the mode (bit 0: plain) and the tag (the other bits); the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/CUnit.h"
#include "fuzz_support.h"
#include "game/AssArray.h"
#include "runtime/Streams.h"

namespace {

using PairList = std::vector<std::pair<std::string, std::string>>;

PairList PairsOf(const tAssArray& store) {
  PairList pairs;
  for (const tAssPair& p : store.Pairs) pairs.emplace_back(p.Key, p.Value);
  return pairs;
}

bool UnscramblesToText(std::string_view bytes) {
  rtl::TMemoryStream source, dest;
  source.WriteString(bytes);
  ScrambleStream(source, dest, tAssArray::kScrambleKey);
  return IsPlainTextStream(dest);
}

bool HasControlBytes(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 32 && c != '\t') return true;
  return false;
}

std::string Blanked(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32 && c != '\t') c = ' ';
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = [] {
    fuzz::SilenceLog();
    return (fuzz::ScratchFolder() / "store.cfg").string();
  }();
  if (size == 0) return 0;
  const bool plain = (data[0] & 1) != 0;
  const int32_t tag = data[0] >> 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  tAssArray store;
  store.Plain = plain;
  store.LoadFromBytes(bytes, tag);
  const PairList loaded = PairsOf(store);
  for (const auto& [key, value] : loaded) {
    FUZZ_CHECK(key.find_first_of(std::string_view("=\r\n\0", 4)) == std::string::npos);
    FUZZ_CHECK(value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
  }

  PairList expected = loaded;
  if (!plain) {
    if (!UnscramblesToText(bytes)) {
      FUZZ_CHECK((loaded == PairList{{"corrupt", "true"}, {"corruptplayer", std::to_string(tag)}}));
      return 0;
    }
    for (const auto& [key, value] : loaded) FUZZ_CHECK(!HasControlBytes(key) && !HasControlBytes(value));
  } else {
    for (auto& [key, value] : expected) {
      key = Blanked(key);
      value = Blanked(value);
    }
  }

  store.SaveToFile(file);
  tAssArray fresh;
  fresh.Plain = plain;
  fresh.LoadFromFile(file, tag);
  FUZZ_CHECK(PairsOf(fresh) == expected);
  return 0;
}
