// Code pages: ANSI (Windows-1252 by default, another single-byte page on request) and UTF-8,
// each to and from UTF-16, with Windows' answers for what does not convert.

#include <gtest/gtest.h>

#include "platform/win32/win32.h"

using namespace platform::win32;

TEST(CodePage, AnsiRoundTripsThroughUtf16) {
  struct Case {
    std::string ansi;
    std::u16string wide;
  };
  const Case cases[] = {
      {"a", u"a"},
      {"\xE9", u"\u00e9"},  // é
      {"\x80", u"\u20ac"},  // €
      {"\x81", u"\u0081"},  // undefined in 1252: Windows keeps the number
      {"\x9F", u"\u0178"},  // Ÿ
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToUtf16(c.ansi), c.wide);
    EXPECT_EQ(Utf16ToAnsi(c.wide), c.ansi);
  }
  EXPECT_EQ(GetACP(), 1252u);
}

TEST(CodePage, CharactersTheCodePageLacksBecomeQuestionMarksOrAreDropped) {
  EXPECT_EQ(Utf16ToAnsi(u"a\u0416b"), "a?b");
  EXPECT_EQ(Utf16ToAnsi(u"a\U0001F600b"), "a?b");  // a surrogate pair is one character
  EXPECT_EQ(Utf16ToAnsi(u"a\u0416b", true), "ab");
  EXPECT_EQ(Utf8ToAnsi("caf\xC3\xA9"), "caf\xE9");
}

TEST(CodePage, Utf8WithWindowsReplacementRules) {
  EXPECT_EQ(Utf8ToUtf16("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"\u00e9\u20ac\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), u"a\uFFFD");  // ends inside a sequence
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(CodePage, AnotherSingleByteCodePageCanBeChosen) {
  ASSERT_TRUE(SetAnsiCodePage(1251));
  EXPECT_EQ(GetACP(), 1251u);
  EXPECT_EQ(Utf16ToAnsi(u"\u0416"), "\xC6");
  EXPECT_EQ(AnsiToUtf16("\xC6"), u"\u0416");
  EXPECT_FALSE(SetAnsiCodePage(932));    // a multi-byte page is refused
  EXPECT_FALSE(SetAnsiCodePage(99999));  // unknown
  EXPECT_EQ(GetACP(), 1251u);
  ASSERT_TRUE(SetAnsiCodePage(1252));
}

TEST(CodePage, WindowsCallsReportSizes) {
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9x", -1, nullptr, 0), 3);  // with terminator
  WCHAR out[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9x", 2, out, 4), 2);
  EXPECT_EQ(out[0], u'\u00e9');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 6, out, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  char bytes[8];
  BOOL usedDefault = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\u0416", 2, bytes, 8, "*", &usedDefault), 2);
  EXPECT_EQ(std::string(bytes, 2), "a*");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00e9", 1, nullptr, 0, nullptr, nullptr), 2);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, 1, out, 4), 0);
}
