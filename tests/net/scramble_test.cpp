// The scramble of requests and answers, what a script receives for an answer, the request body
// and the host texts the stand-in takes; no server needed.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "net/KeshUrlConnect.h"
#include "platform/wininet/wininet.h"
#include "platform/wininet/wininet_internal.h"

namespace {

std::string Scrambled(std::string text) {
  ScramblePostText(text);
  return text;
}

std::string Descrambled(std::string text) {
  DescramblePostText(text);
  return text;
}

uint8_t Code(std::size_t position, uint8_t b) {  // position 1-based
  const char which = kPostPattern[(position - 1) % 32];
  return kPostAlphabets[which == '1' ? 0 : which == '2' ? 1 : 2][b];
}

TEST(ScrambleTest, TheStoredTablesArePermutationsWithTheirInverses) {
  ASSERT_EQ(std::string(kPostPattern).size(), 32u);
  EXPECT_EQ(std::string(kPostPattern).find_first_not_of("123"), std::string::npos);
  for (int a = 0; a < 3; ++a) {
    std::set<int> values;
    for (int b = 0; b < 128; ++b) {
      const uint8_t code = kPostAlphabets[a][b];
      ASSERT_LT(code, 128) << "alphabet " << a + 1 << " byte " << b;
      values.insert(code);
      EXPECT_EQ(kPostAlphabets[a][128 + code], b) << "alphabet " << a + 1 << " byte " << b;
    }
    EXPECT_EQ(values.size(), 128u) << "alphabet " << a + 1 << " is no permutation";
  }
}

TEST(ScrambleTest, DescramblingUndoesScramblingAndKeepsLengthAndHighBytes) {
  std::mt19937 random(7);
  for (std::size_t length : {0, 1, 31, 32, 33, 64, 1000}) {
    std::string text(length, '\0');
    for (char& c : text) c = static_cast<char>(random());
    std::string s = Scrambled(text);
    ASSERT_EQ(s.size(), text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (static_cast<uint8_t>(text[i]) >= 128) {
        EXPECT_EQ(s[i], text[i]) << i;
      }
    }
    DescramblePostText(s);
    EXPECT_EQ(s, text) << "length " << length;
  }
}

TEST(ScrambleTest, EveryBytePositionCountsAndThePatternRepeatsAfter32) {
  const std::string s = Scrambled(std::string(33, 'A'));
  for (std::size_t p = 1; p <= 33; ++p) EXPECT_EQ(static_cast<uint8_t>(s[p - 1]), Code(p, 'A')) << p;
  EXPECT_EQ(s[32], s[0]);

  // "a", a two-byte UTF-8 character, "b": the character's bytes pass and still move the position.
  const std::string t = Scrambled("a\xC3\xA9"
                                  "b");
  EXPECT_EQ(static_cast<uint8_t>(t[0]), Code(1, 'a'));
  EXPECT_EQ(t.substr(1, 2), "\xC3\xA9");
  EXPECT_EQ(static_cast<uint8_t>(t[3]), Code(4, 'b'));
}

TEST(ScrambleTest, AnAnswerReachesTheScriptWithoutMarkAndNulDescrambled) {
  const std::string data = Scrambled("data");
  const struct {
    std::string answer, expected;
  } cases[] = {
      {"", ""},
      {"Error", "Error"},
      {"Error with sending request", "Error with sending request"},
      {"Error" + std::string(1, '\0'), "Error"},
      {"Error\xEF\xBB\xBF" + data, "Error\xEF\xBB\xBF" + data},  // not descrambled
      {"\xEF\xBB\xBF" + data + std::string(1, '\0'), "data"},
      {data + std::string(1, '\0'), "data"},
      {data, "data"},
      {data + std::string(1, '\0') + Scrambled("xyz").substr(0, 2), "data"},
      {"\xEF\xBB\xBF\xEF\xBB\xBF" + data, Descrambled("\xEF\xBB\xBF" + data)},  // one mark goes
      {"\xEF\xBB\xBF", ""},
      // Two bytes beginning with EF are no byte order mark.
      {"\xEF" + Scrambled("xA").substr(1), std::string("\xEF") + "A"},
  };
  for (const auto& c : cases) EXPECT_EQ(PostAnswerText(c.answer), c.expected) << testing::PrintToString(c.answer);
}

TEST(ScrambleTest, TheBodyEndsEachLineButTheLast) {
  const struct {
    std::vector<std::string> lines;
    std::string body;
  } cases[] = {
      {{}, ""},
      {{""}, "\r\n"},
      {{"abc"}, "abc"},
      {{"a"}, "a"},
      {{"a", "b"}, "a\r\nb"},
      {{"", ""}, "\r\n"},
      {{"abc\r\n"}, "abc\r\n"},
  };
  for (const auto& c : cases) {
    rtl::TStringList lines;
    for (const std::string& line : c.lines) lines.Add(line);
    EXPECT_EQ(PostBody(lines), c.body) << testing::PrintToString(c.lines);
  }
}

TEST(HostTextTest, OnlyAHostAndAPortAreTaken) {
  namespace detail = platform::wininet::detail;
  const struct {
    std::string text;
    bool taken;
    std::string host;
    unsigned port;  // 0: none
  } cases[] = {
      {"example.com", true, "example.com", 0},
      {"game-server_1.example.com.", true, "game-server_1.example.com.", 0},
      {"127.0.0.1:8080", true, "127.0.0.1", 8080},
      {"localhost:65535", true, "localhost", 65535},
      {"::1", true, "[::1]", 0},
      {"[::1]:81", true, "[::1]", 81},
      {"b\xC3\xBC" "cher.example", true, "b\xC3\xBC" "cher.example", 0},
      {"", false, "", 0},
      {"user@example.com", false, "", 0},
      {"example.com/path", false, "", 0},
      {"example.com?x", false, "", 0},
      {"example.com#x", false, "", 0},
      {"example.com\r\nX-Injected: 1", false, "", 0},
      {"exa mple.com", false, "", 0},
      {"example.com:", false, "", 0},
      {"example.com:0", false, "", 0},
      {"example.com:65536", false, "", 0},
      {"example.com:80:80", false, "", 0},
      {"a..b", false, "", 0},
      {"[::1", false, "", 0},
      {"[::1]x", false, "", 0},
      {"::g", false, "", 0},
      {std::string(254, 'a'), false, "", 0},
  };
  for (const auto& c : cases) {
    const auto parsed = detail::ParseHostText(c.text);
    EXPECT_EQ(parsed.has_value(), c.taken) << testing::PrintToString(c.text);
    EXPECT_EQ(platform::wininet::IsHostText(c.text), c.taken);
    if (!parsed || !c.taken) continue;
    EXPECT_EQ(parsed->host, c.host);
    EXPECT_EQ(parsed->port.value_or(0), c.port) << c.text;
  }
}

TEST(HostTextTest, BytesAUrlCannotHoldArePercentEncoded) {
  namespace detail = platform::wininet::detail;
  EXPECT_EQ(detail::PercentEncode("a b\r\n\x7F\x80\xFF%41/?#&~"), "a%20b%0D%0A%7F%80%FF%41/?#&~");
  const auto url = detail::SplitHttpUrl("HTTP://127.0.0.1:9/x y");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->authority.host, "127.0.0.1");
  EXPECT_EQ(url->target, "/x y");
  EXPECT_FALSE(detail::SplitHttpUrl("http://user@host/x").has_value());
  EXPECT_FALSE(detail::SplitHttpUrl("ftp://host/x").has_value());
}

}  // namespace
