#include <gtest/gtest.h>

#include <string>

#include "foundation/md5.h"

namespace {

struct DigestCase {
  std::string text;
  const char* hex;
};

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

TEST(MD5, MatchesPublishedDigests) {
  const DigestCase cases[] = {
      // The test suite of RFC 1321.
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Where the padding needs a second block, and block boundaries.
      {Repeat('a', 55), "ef1772b6dff9a122358552954ad0df65"},
      {Repeat('a', 56), "3b0c8ac703f828b04c6c197006d17218"},
      {Repeat('a', 63), "b06521f39153d618550606be297466d5"},
      {Repeat('a', 64), "014842d480b571495a4a0363793f7367"},
      {Repeat('a', 65), "c743a45e0d2e6a95cb859adae0248435"},
      {Repeat('a', 119), "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {Repeat('a', 120), "5f61c0ccad4cac44c75ff505e1f1e537"},
      // Zero bytes count like any other.
      {std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b"},
      {std::string(1, '\0'), "93b885adfe0da089cdf634904fd59f71"},
  };
  for (const DigestCase& c : cases)
    EXPECT_EQ(MD5ToHex(MD5DigestOfText(c.text)), c.hex) << "length " << c.text.size();
}

TEST(MD5, HexIsLowerCaseHighNibbleFirst) {
  TMD5Digest digest{};
  digest[0] = 0xAB;
  digest[15] = 0x0F;
  EXPECT_EQ(MD5ToHex(digest), "ab00000000000000000000000000000f");
}

}  // namespace
