#include <gtest/gtest.h>

#include <string>

#include "foundation/CUnit.h"
#include "runtime/Random.h"
#include "runtime/Streams.h"

namespace {

std::string Bytes(std::size_t n, int seed = 0) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i)
    s.push_back(static_cast<char>((i * 37 + seed * 11 + 1) & 255));
  return s;
}

rtl::TMemoryStream StreamOf(const std::string& bytes) {
  rtl::TMemoryStream stream;
  stream.WriteString(bytes);
  return stream;
}

std::string Scramble(const std::string& bytes, const std::string& key) {
  rtl::TMemoryStream source = StreamOf(bytes), dest;
  ScrambleStream(source, dest, key);
  EXPECT_EQ(source.Size(), 0u);
  EXPECT_EQ(dest.Position(), 0u);
  return dest.ToString();
}

std::string Cipher(const std::string& bytes, const std::string& key1, const std::string& key2,
                   bool encrypt) {
  rtl::TMemoryStream source = StreamOf(bytes), dest;
  CipherStream(source, dest, key1, key2, encrypt);
  EXPECT_EQ(source.Size(), 0u);
  EXPECT_EQ(dest.Position(), 0u);
  return dest.ToString();
}

TEST(TransposeBlock, MovesBitRowsToColumns) {
  const TKeshBlock block{0xFF, 0, 0, 0, 0, 0, 0, 0x01};
  const TKeshBlock expected{0x81, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
  EXPECT_EQ(TransposeBlock(block), expected);
  const TKeshBlock mixed{1, 2, 3, 250, 17, 0, 99, 128};
  EXPECT_EQ(TransposeBlock(TransposeBlock(mixed)), mixed);
}

TEST(ScrambleStream, KeepsTheSizeAndUndoesItself) {
  for (std::size_t size : {0u, 1u, 5u, 8u, 13u, 16u, 100u}) {
    for (const std::string key : {"", "tovbik", "KuMoDe", "a-key-longer-than-eight"}) {
      const std::string plain = Bytes(size);
      const std::string scrambled = Scramble(plain, key);
      EXPECT_EQ(scrambled.size(), size);
      EXPECT_EQ(Scramble(scrambled, key), plain) << size << " " << key;
      if (size >= 8) {
        EXPECT_NE(scrambled, plain);
      }
    }
  }
}

TEST(ScrambleStream, TailIsXoredWithTheRepeatedKey) {
  EXPECT_EQ(Scramble(std::string(5, '\0'), "ab"), "ababa");
  EXPECT_EQ(Scramble(std::string(5, '\0'), ""), "11111");  // an empty key counts as "1"
  // A full block is transposed between two key layers: zeros give Transpose(key) ^ key.
  const TKeshBlock key{'t', 'o', 'v', 'b', 'i', 'k', 't', 'o'};
  TKeshBlock expected = TransposeBlock(key);
  for (int i = 0; i < 8; ++i) expected[i] ^= key[i];
  EXPECT_EQ(Scramble(std::string(8, '\0'), "tovbik"),
            std::string(expected.begin(), expected.end()));
}

TEST(ScrambleStream, OnlyTheFirstEightKeyBytesCount) {
  const std::string plain = Bytes(21);
  EXPECT_EQ(Scramble(plain, "12345678"), Scramble(plain, "12345678-and-more"));
  EXPECT_NE(Scramble(plain, "12345678"), Scramble(plain, "12345679"));
}

TEST(ScrambleStream, ReadsTheWholeSourceWhateverItsPosition) {
  rtl::TMemoryStream source = StreamOf("0123456789"), dest;
  ScrambleStream(source, dest, "k");
  rtl::TMemoryStream again = StreamOf(dest.ToString()), back;
  again.SetPosition(4);
  ScrambleStream(again, back, "k");
  EXPECT_EQ(back.ToString(), "0123456789");
}

TEST(CipherStream, PadsToWholeBlocksAndRoundTrips) {
  rtl::RandSeed = 1234;
  for (std::size_t size = 0; size <= 25; ++size) {
    for (const auto& [key1, key2] : {std::pair<std::string, std::string>{"abc", "de"},
                                     {"", ""}, {"x", "a much longer second key"}}) {
      const std::string plain = Bytes(size, static_cast<int>(size));
      const std::string enciphered = Cipher(plain, key1, key2, true);
      EXPECT_EQ(enciphered.size(), 8 * (size / 8 + 1));
      EXPECT_EQ(Cipher(enciphered, key1, key2, false), plain) << size << " " << key1;
    }
  }
}

TEST(CipherStream, RandomPaddingMakesEachEncipheringDifferent) {
  rtl::RandSeed = 99;
  const std::string first = Cipher("same text", "k1", "k2", true);
  const std::string second = Cipher("same text", "k1", "k2", true);
  EXPECT_NE(first, second);
  EXPECT_EQ(Cipher(first, "k1", "k2", false), "same text");
  EXPECT_EQ(Cipher(second, "k1", "k2", false), "same text");
}

// The block layout that stored payloads depend on: XOR with Key1+Key2, transpose, XOR with the
// interleaved keys; for "abc" and "de" these are "abcde" and "adbec".
TEST(CipherStream, BlocksFollowTheKeyLayoutAndCarryTheMarker) {
  const std::string a = "abcde", b = "adbec";
  const std::string plain = "ABCDEFGHIJ";
  const std::string enciphered = Cipher(plain, "abc", "de", true);
  ASSERT_EQ(enciphered.size(), 16u);
  for (std::size_t block = 0; block < 2; ++block) {
    TKeshBlock bytes;
    for (std::size_t i = 0; i < 8; ++i)
      bytes[i] = static_cast<uint8_t>(enciphered[8 * block + i] ^ b[(8 * block + i) % 5]);
    bytes = TransposeBlock(bytes);
    for (std::size_t i = 0; i < 8; ++i) bytes[i] ^= static_cast<uint8_t>(a[(8 * block + i) % 5]);
    if (block == 0) {
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()), plain.substr(0, 8));
    } else {
      EXPECT_EQ(bytes[0], 'I');
      EXPECT_EQ(bytes[1], 'J');
      EXPECT_EQ(bytes[2], 7);
      for (std::size_t i = 3; i < 8; ++i) {
        EXPECT_GE(bytes[i], 10);
        EXPECT_LE(bytes[i], 254);
      }
    }
  }
}

TEST(CipherStream, DecipheringCutsAtTheLastMarkerOfTheLastTwoBlocks) {
  // Enciphering 16 bytes gives two data blocks and a padding block; deciphering only the data
  // blocks shows how padding is looked for.
  const auto decipherBlocks = [](const std::string& plain) {
    return Cipher(Cipher(plain, "k", "q", true).substr(0, plain.size()), "k", "q", false);
  };
  const std::string noMarker = "ABCDEFGHIJKLMNOP";
  EXPECT_EQ(decipherBlocks(noMarker), noMarker);
  EXPECT_EQ(decipherBlocks("ABC\7EFGHIJKLMNOP"), "ABC");
  EXPECT_EQ(decipherBlocks("AB\7DEFGHIJ\7LM\7OP"), "AB\7DEFGHIJ\7LM");
  EXPECT_EQ(decipherBlocks("\7BCDEFGHIJKLMNOPQRSTUVWX"), "\7BCDEFGHIJKLMNOPQRSTUVWX");
  // A short last piece is ignored.
  const std::string enciphered = Cipher("12345678", "k", "q", true);
  EXPECT_EQ(Cipher(enciphered + "abcde", "k", "q", false), "12345678");
  EXPECT_EQ(Cipher("abcde", "k", "q", false), "");
}

TEST(CipherStream, WrongKeysGiveOtherBytes) {
  const std::string enciphered = Cipher("secret payload", "key", "key2", true);
  EXPECT_NE(Cipher(enciphered, "key", "other", false), "secret payload");
}

TEST(Text64, EncodesThreeBytesAsFourCharacters) {
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"", ""},
      {"abc", "WUHb"},
      {"a", "WO"},
      {"ab", "WUG"},
      {std::string("\0\0\0", 3), "????"},
      {"\xFF\xFF\xFF", "~~~~"},
  };
  for (const auto& c : cases) {
    std::string s = c.bytes;
    EncodeText64(s);
    EXPECT_EQ(s, c.text);
    DecodeText64(s);
    EXPECT_EQ(s, c.bytes);
  }
}

TEST(Text64, RoundTripsEveryLengthAndByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (std::size_t n = 0; n <= all.size(); n += (n < 12 ? 1 : 61)) {
    std::string s = all.substr(0, n);
    EncodeText64(s);
    EXPECT_EQ(s.size(), 4 * (n / 3) + (n % 3 == 0 ? 0 : n % 3 + 1));
    DecodeText64(s);
    EXPECT_EQ(s, all.substr(0, n));
  }
}

TEST(Text64, DecodingKeepsOnlyTheLowSixBitsOfEachCharacter) {
  std::string single = "W";
  DecodeText64(single);
  EXPECT_EQ(single, "");
  std::string shifted = "WUHb";
  for (char& c : shifted) c = static_cast<char>(c + 64);
  DecodeText64(shifted);
  EXPECT_EQ(shifted, "abc");
  std::string five = "WUHbW";  // the lone fifth character gives nothing
  DecodeText64(five);
  EXPECT_EQ(five, "abc");
}

TEST(IsPlainTextStream, AcceptsOnlyCrLfText) {
  const struct {
    std::string bytes;
    bool plain;
  } cases[] = {
      {"", true},
      {"key=value\r\nother=1\r\n", true},
      {"key=value\nother=1\n", false},
      {"\n", false},
      {"tab\there\r", true},
      {"\r\r\n", true},
      {"\xE4\xFF\x80 ", true},
      {std::string("a\0b", 3), false},
      {"a\x1F", false},
      {"a\x1B[0m", false},
  };
  for (const auto& c : cases) {
    rtl::TMemoryStream stream = StreamOf(c.bytes);
    stream.SetPosition(1);
    EXPECT_EQ(IsPlainTextStream(stream), c.plain) << testing::PrintToString(c.bytes);
    EXPECT_EQ(stream.Position(), 1u);
    EXPECT_EQ(stream.ToString(), c.bytes);
  }
}

}  // namespace
