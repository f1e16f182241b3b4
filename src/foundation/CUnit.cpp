// The scrambler, the two-key cipher, the 6-bit text codec and the plain-text test.
#include "foundation/CUnit.h"

#include <vector>

#include "runtime/Random.h"
#include "runtime/Streams.h"

TKeshBlock TransposeBlock(const TKeshBlock& block) {
  TKeshBlock out{};
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      if (block[r] & (1u << c)) out[c] |= static_cast<uint8_t>(1u << r);
  return out;
}

void ScrambleStream(rtl::TMemoryStream& source, rtl::TMemoryStream& dest, const std::string& key) {
  const std::string k = key.empty() ? std::string("1") : key;
  TKeshBlock key8;
  for (std::size_t i = 0; i < 8; ++i) key8[i] = static_cast<uint8_t>(k[i % k.size()]);

  dest.Clear();
  source.SetPosition(0);
  for (;;) {
    TKeshBlock block{};
    const std::size_t n = source.Read(block.data(), block.size());
    for (std::size_t i = 0; i < 8; ++i) block[i] ^= key8[i];
    if (n == 8) {
      block = TransposeBlock(block);
      for (std::size_t i = 0; i < 8; ++i) block[i] ^= key8[i];
    }
    dest.Write(block.data(), n);
    if (n < 8) break;
  }
  dest.SetPosition(0);
  source.Clear();
}

namespace {

// A is Key1 then Key2; B interleaves them, Key1 first, Key2's bytes at the odd places while
// both last, then the rest of the longer key.
void BuildCipherKeys(const std::string& key1, const std::string& key2, std::vector<uint8_t>& a,
                     std::vector<uint8_t>& b) {
  a.assign(key1.begin(), key1.end());
  a.insert(a.end(), key2.begin(), key2.end());
  b.clear();
  std::size_t i1 = 0, i2 = 0;
  for (std::size_t j = 0; j < a.size(); ++j) {
    if (i2 < key2.size() && (i1 >= key1.size() || j % 2 == 1))
      b.push_back(static_cast<uint8_t>(key2[i2++]));
    else
      b.push_back(static_cast<uint8_t>(key1[i1++]));
  }
}

constexpr uint8_t PaddingMarker = 7;

// Cuts deciphered data just before the marker of its last block, or of the block before it.
void RemovePadding(rtl::TMemoryStream& dest) {
  const std::size_t size = dest.Size();
  const uint8_t* bytes = dest.Memory();
  for (std::size_t blockEnd = size; blockEnd >= 8 && blockEnd + 16 > size; blockEnd -= 8) {
    for (std::size_t i = 8; i-- > 0;) {
      if (bytes[blockEnd - 8 + i] == PaddingMarker) {
        dest.SetSize(blockEnd - 8 + i);
        return;
      }
    }
  }
}

}  // namespace

void CipherStream(rtl::TMemoryStream& source, rtl::TMemoryStream& dest, const std::string& key1,
                  const std::string& key2, bool encrypt) {
  std::vector<uint8_t> a, b;
  BuildCipherKeys(key1.empty() ? std::string("1") : key1, key2.empty() ? std::string("2") : key2,
                  a, b);
  if (!encrypt) a.swap(b);
  const std::size_t n = a.size();

  dest.Clear();
  source.SetPosition(0);
  std::size_t offset = 0;
  for (;;) {
    TKeshBlock block{};
    const std::size_t count = source.Read(block.data(), block.size());
    if (!encrypt && count < 8) break;
    if (count < 8) {
      block[count] = PaddingMarker;
      for (std::size_t i = count + 1; i < 8; ++i)
        block[i] = static_cast<uint8_t>(rtl::Random(245) + 10);
    }
    for (std::size_t i = 0; i < 8; ++i) block[i] ^= a[(offset + i) % n];
    block = TransposeBlock(block);
    for (std::size_t i = 0; i < 8; ++i) block[i] ^= b[(offset + i) % n];
    dest.Write(block.data(), block.size());
    offset += 8;
    if (count < 8) break;
  }
  if (!encrypt && dest.Size() > 0) RemovePadding(dest);
  dest.SetPosition(0);
  source.Clear();
}

void EncodeText64(std::string& s) {
  std::string out;
  out.reserve((s.size() + 2) / 3 * 4);
  auto put = [&out](uint32_t v) { out.push_back(static_cast<char>(63 + (v & 63))); };
  std::size_t i = 0;
  for (; i + 3 <= s.size(); i += 3) {
    const uint32_t v = static_cast<uint8_t>(s[i]) << 16 | static_cast<uint8_t>(s[i + 1]) << 8 |
                       static_cast<uint8_t>(s[i + 2]);
    put(v >> 18), put(v >> 12), put(v >> 6), put(v);
  }
  if (s.size() - i == 2) {
    const uint32_t v = static_cast<uint8_t>(s[i]) << 10 | static_cast<uint8_t>(s[i + 1]) << 2;
    put(v >> 12), put(v >> 6), put(v);
  } else if (s.size() - i == 1) {
    const uint32_t v = static_cast<uint8_t>(s[i]) << 4;
    put(v >> 6), put(v);
  }
  s = std::move(out);
}

void DecodeText64(std::string& s) {
  std::string out;
  out.reserve(s.size() * 6 / 8);
  auto value = [&s](std::size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[i]) - 63) & 63;
  };
  std::size_t i = 0;
  for (; i + 4 <= s.size(); i += 4) {
    const uint32_t v = value(i) << 18 | value(i + 1) << 12 | value(i + 2) << 6 | value(i + 3);
    out.push_back(static_cast<char>(v >> 16));
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
  }
  if (s.size() - i == 3) {
    const uint32_t v = value(i) << 12 | value(i + 1) << 6 | value(i + 2);
    out.push_back(static_cast<char>(v >> 10));
    out.push_back(static_cast<char>(v >> 2));
  } else if (s.size() - i == 2) {
    const uint32_t v = value(i) << 6 | value(i + 1);
    out.push_back(static_cast<char>(v >> 4));
  }
  s = std::move(out);
}

bool IsPlainTextStream(const rtl::TMemoryStream& stream) {
  const uint8_t* bytes = stream.Memory();
  for (std::size_t i = 0; i < stream.Size(); ++i) {
    const uint8_t c = bytes[i];
    if (c == 9 || c == 13 || c >= 32) continue;
    if (c == 10 && i > 0 && bytes[i - 1] == 13) continue;
    return false;
  }
  return true;
}
