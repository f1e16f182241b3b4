#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/DateTime.h"
#include "runtime/Errors.h"
#include "runtime/Random.h"
#include "runtime/StringList.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"
#include "runtime/Units.h"

namespace {

TEST(RuntimeStrings, FloatToStrGeneralForm) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {1.5, "1.5"},         {0, "0"},           {-3, "-3"},          {0.1, "0.1"},
      {100, "100"},         {1e15, "1E15"},     {123456789012345.0, "123456789012345"},
      {1e20, "1E20"},       {0.00001, "1E-5"},  {0.0001, "0.0001"},  {2.5e-7, "2.5E-7"},
      {1.0 / 3, "0.333333333333333"},           {-0.25, "-0.25"},    {1e100, "1E100"},
  };
  for (const auto& c : cases) EXPECT_EQ(rtl::FloatToStr(c.value), c.text) << c.value;
}

// A locale whose decimal separator is a comma: an installed one, else one compiled from the
// locale sources into a folder of the build.
const char* SetCommaLocale() {
  if (const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8")) return set;
  const std::string dir = std::string(QUORREL_BINARY_DIR) + "/test-locales";
  const std::string cmd = "localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(("mkdir -p " + dir).c_str()) != 0 || std::system(cmd.c_str()) > 1) return nullptr;
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8");
}

TEST(RuntimeStrings, NumbersUseAPointUnderACommaLocale) {
  if (!SetCommaLocale()) GTEST_SKIP() << "no comma locale can be made here";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(rtl::FloatToStr(1.5), "1.5");
  EXPECT_EQ(rtl::FloatToStrF(2.25, 2), "2.25");
  EXPECT_DOUBLE_EQ(rtl::StrToFloat("1.5"), 1.5);
  EXPECT_THROW(rtl::StrToFloat("1,5"), rtl::EConvertError);
  std::setlocale(LC_ALL, "C");
}

TEST(RuntimeStrings, FixedAndIntegerTexts) {
  EXPECT_EQ(rtl::FloatToStrF(0, 2), "0.00");
  EXPECT_EQ(rtl::FloatToStrF(-0.001, 2), "0.00");
  EXPECT_EQ(rtl::FloatToStrF(12.345678, 2), "12.35");
  EXPECT_EQ(rtl::IntToStr(-42), "-42");
}

TEST(RuntimeStrings, StrictIntegerConversion) {
  EXPECT_EQ(rtl::StrToInt("12"), 12);
  EXPECT_EQ(rtl::StrToInt(" -7"), -7);
  EXPECT_EQ(rtl::StrToInt("$1F"), 31);
  EXPECT_EQ(rtl::StrToInt("0x10"), 16);
  EXPECT_EQ(rtl::StrToInt("-2147483648"), INT32_MIN);
  for (const char* bad : {"", "12a", "1 ", "2147483648", "--1", "0x"}) {
    try {
      rtl::StrToInt(bad);
      ADD_FAILURE() << bad;
    } catch (const rtl::EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
}

TEST(RuntimeStrings, BooleanTexts) {
  EXPECT_TRUE(rtl::StrToBool("True"));
  EXPECT_TRUE(rtl::StrToBool("TRUE"));
  EXPECT_FALSE(rtl::StrToBool("false"));
  EXPECT_TRUE(rtl::StrToBool("-1"));
  EXPECT_FALSE(rtl::StrToBool("0"));
  try {
    rtl::StrToBool("yes");
    ADD_FAILURE();
  } catch (const rtl::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'yes' is not a valid boolean value");
  }
}

TEST(RuntimeStringList, ReadsEveryLineEndAndWritesCrLf) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\r\n", {"a"}},
      {"\r\n", {""}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\r\n", {"a", ""}},
  };
  for (const auto& c : cases) {
    rtl::TStringList list;
    list.SetText(c.text);
    EXPECT_EQ(list.Lines(), c.lines) << c.text;
  }
  rtl::TStringList list;
  list.SetText("x\ny");
  EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(RuntimeStringList, StreamsFromThePosition) {
  rtl::TMemoryStream stream;
  stream.WriteString("skip\r\nkeep\r\nlast");
  stream.SetPosition(6);
  rtl::TStringList list;
  list.LoadFromStream(stream);
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"keep", "last"}));
  rtl::TMemoryStream out;
  list.SaveToStream(out);
  EXPECT_EQ(out.ToString(), "keep\r\nlast\r\n");
}

TEST(RuntimeMemoryStream, ReadWriteSizeAndPosition) {
  rtl::TMemoryStream s;
  EXPECT_EQ(s.Write("abcdef", 6), 6u);
  EXPECT_EQ(s.Position(), 6u);
  s.SetPosition(2);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4u);
  EXPECT_STREQ(buf, "cdef");
  EXPECT_EQ(s.Read(buf, 8), 0u);
  s.SetPosition(8);  // writing past the end grows the buffer
  s.Write("x", 1);
  EXPECT_EQ(s.Size(), 9u);
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3u);
  s.Clear();
  EXPECT_EQ(s.Size(), 0u);
  EXPECT_EQ(s.Position(), 0u);
}

TEST(RuntimeRandom, LinearCongruentialSequence) {
  rtl::RandSeed = 0;
  EXPECT_EQ(rtl::Random(1000), 0u);  // seed 1: (1 * 1000) >> 32
  EXPECT_EQ(rtl::RandSeed, 1u);
  EXPECT_EQ(rtl::Random(0x80000000u), 134775814u / 2);  // seed 134775814
  rtl::RandSeed = 0xFFFFFFFFu;
  rtl::Random(10);
  EXPECT_EQ(rtl::RandSeed, 0xFFFFFFFFu * 134775813u + 1u);
}

TEST(RuntimeDateTime, FormatsWithEnglishNames) {
  rtl::TDateTime dt = rtl::EncodeDate(2026, 12, 9) + rtl::EncodeTime(9, 52, 9, 42);
  EXPECT_EQ(rtl::FormatDateTime("dddd  d-mmm-yyyy  hh:nn:ss", dt), "Wednesday  9-Dec-2026  09:52:09");
  EXPECT_EQ(rtl::FormatDateTime("hh:nn:ss:zzz", dt), "09:52:09:042");
  EXPECT_EQ(rtl::FormatDateTime("dd/mm/yy hh:mm 'at' ddd", dt), "09/12/26 09:52 at Wed");
  // Elapsed times are fractions of a day; 197042 ms reads 00:03:17:042.
  EXPECT_EQ(rtl::FormatDateTime("hh:nn:ss:zzz", 197042 / 86400000.0), "00:03:17:042");
}

TEST(RuntimeDateTime, CalendarRoundTrips) {
  EXPECT_DOUBLE_EQ(rtl::EncodeDate(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(rtl::EncodeDate(1970, 1, 1), 25569.0);
  int y, m, d;
  rtl::DecodeDate(rtl::EncodeDate(2000, 2, 29), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
  rtl::TDateTime dummy;
  EXPECT_FALSE(rtl::TryEncodeDate(2001, 2, 29, dummy));
  EXPECT_THROW(rtl::EncodeDate(2020, 13, 1), rtl::EConvertError);
  EXPECT_EQ(rtl::DateTimeToUnixMs(rtl::UnixMsToDateTime(1234567890123)), 1234567890123);
  EXPECT_EQ(rtl::DayOfWeek(rtl::EncodeDate(2026, 12, 10)), 5);  // a Thursday
}

TEST(RuntimeUnits, HaltRunsFinalizersInReverseOrder) {
  EXPECT_EXIT(
      {
        rtl::AddFinalizer([] { std::fputs("log footer\n", stderr); });
        rtl::AddFinalizer([] { throw 1; });  // a failing finaliser does not stop the rest
        rtl::AddFinalizer([] { std::fputs("game\n", stderr); });
        rtl::Halt(0);
      },
      ::testing::ExitedWithCode(0), "game\nlog footer\n");
}

}  // namespace
