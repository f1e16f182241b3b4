// NumberToDate and DateToNumber: the shifted calendar's fixed points, roll-over of days that do
// not exist, exact results, range errors as script errors, and round trips over four years.
#include <string>
#include <vector>

#include "game/DateNumber.h"
#include "runtime/DateTime.h"
#include "runtime/Errors.h"
#include "runtime/Strings.h"
#include "script_fixture.h"

namespace game_dates_test {
namespace {

using DatesTest = ScriptTest;

TEST_F(DatesTest, NumberToDatePrintsTheShiftedCalendar) {
  struct Case {
    const char* argument;  // a Lua expression
    const char* text;
  };
  const Case cases[] = {
      {"0", "31,12,1969,00,00,00,000"},
      {"172800", "02,01,1970,00,00,00,000"},
      {"1767616496", "05,01,2026,12,34,56,000"},
      {"'1767616496'", "05,01,2026,12,34,56,000"},  // a numeric text
      {"3600.5", "31,12,1969,01,00,00,500"},
      {"' 86400.25 '", "01,01,1970,00,00,00,250"},  // 31 December shifted: rolls over to 1 January
      {"-1", "30,12,1969,23,59,59,000"},
      {"-2147483648.9", "12,12,1901,20,45,51,100"},
      {"2147483647", "19,01,2038,03,14,07,000"},
      {"2147483647.9994", "19,01,2038,03,14,07,999"},
      // Source 29 February and 1 March 1904 collide on 2 March 1974; a shifted 29 February that
      // 1971 lacks is 1 March.
      {"131414400", "02,03,1974,00,00,00,000"},
      {"131500800", "02,03,1974,00,00,00,000"},
      {"36720000", "01,03,1971,00,00,00,000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Eval(std::string("NumberToDate(") + c.argument + ")"), c.text) << c.argument;
  }
  // One result, the arguments dropped.
  EXPECT_EQ(Eval("select('#', NumberToDate(0, 'x', 2))"), "1");
}

TEST_F(DatesTest, DateToNumberIsExactAndRollsOverDayZero) {
  struct Case {
    const char* arguments;
    const char* number;
  };
  const Case cases[] = {
      {"1970, 1, 2, 0, 0, 0, 0", "172800"},
      {"1969, 12, 31, 0, 0, 0, 0", "0"},
      {"2026, 1, 5, 12, 34, 56, 0", "1767616496"},  // not the 128-second steps of single precision
      {"1970, 1, 2, 0, 0, 0, 500", "172800.5"},
      {"1970, 1, 1, 0, 0, 0, 0", "86400"},       // day 0 of January 1900 is 31 December 1899
      {"2024, 3, 1, 0, 0, 0, 0", "1709251200"},  // day 0 of March 1954: 28 February
      {"1970, 1, 33, 0, 0, 0, 0", "2851200"},    // day 32 of January: 1 February
      {"2040, 1, 1, 0, 0, 0, 0", "2209075200"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Eval(std::string("DateToNumber(") + c.arguments + ")"), c.number) << c.arguments;
  }
  EXPECT_EQ(Eval("NumberToDate(DateToNumber(2024, 3, 1, 0, 0, 0, 0))"), "29,02,2024,00,00,00,000");
  EXPECT_EQ(Eval("select('#', DateToNumber(1970, 1, 2, 0, 0, 0, 0, 'x'))"), "1");
}

TEST_F(DatesTest, ValuesThatCannotBeConvertedAreScriptErrorsNamingTheOperation) {
  struct Case {
    const char* call;
    const char* message;  // part of the error
  };
  const Case cases[] = {
      {"NumberToDate(0/0)", "NumberToDate: "},
      {"NumberToDate(1/0)", "NumberToDate: "},
      {"NumberToDate(-1/0)", "NumberToDate: "},
      {"NumberToDate(2147483648)", "NumberToDate: '2147483648' is outside the 32-bit range"},
      {"NumberToDate(-2147483649)", "NumberToDate: '-2147483649' is outside the 32-bit range"},
      {"NumberToDate('1e400')", "outside the 32-bit range"},
      {"NumberToDate(DateToNumber(2040, 1, 1, 0, 0, 0, 0))", "outside the 32-bit range"},
      {"NumberToDate('12 May')", "NumberToDate: '12 May' is not a valid floating point value"},
      {"NumberToDate()", "NumberToDate: '' is not a valid floating point value"},
      {"NumberToDate('1\\0x')", "NumberToDate: '1"},  // the whole text, not up to its NUL
      {"DateToNumber(2000, 0, 1, 0, 0, 0, 0)", "DateToNumber: month 0 is outside 1..12"},
      {"DateToNumber(2000, 13, 1, 0, 0, 0, 0)", "DateToNumber: month 13 is outside 1..12"},
      {"DateToNumber(2000, 1, 1, 24, 0, 0, 0)", "DateToNumber: hour 24 is outside 0..23"},
      {"DateToNumber(2000, 1, 1, -1, 0, 0, 0)", "DateToNumber: hour -1 is outside 0..23"},
      {"DateToNumber(2000, 1, 1, 0, 60, 0, 0)", "DateToNumber: minute 60 is outside 0..59"},
      {"DateToNumber(2000, 1, 1, 0, 0, 60, 0)", "DateToNumber: second 60 is outside 0..59"},
      {"DateToNumber(2000, 1, 1, 0, 0, 0, 1000)", "DateToNumber: millisecond 1000 is outside 0..999"},
      {"DateToNumber(70, 1, 1, 0, 0, 0, 0)", "DateToNumber: year 70 is outside 71..10069"},
      {"DateToNumber(-2147483648, 1, 1, 0, 0, 0, 0)", "DateToNumber: year -2147483648 is outside"},
      {"DateToNumber(10070, 1, 1, 0, 0, 0, 0)", "DateToNumber: year 10070 is outside"},
      {"DateToNumber()", "DateToNumber: month 0 is outside 1..12"},
  };
  for (const Case& c : cases) {
    const std::string error = Run(std::string("local ok = ") + c.call);
    EXPECT_NE(error.find(c.message), std::string::npos) << c.call << " gave: " << error;
    // The error carries the calling line's position, and the state goes on.
    EXPECT_EQ(error.rfind("[string ", 0), 0u) << error;
  }
  EXPECT_EQ(Run("assert(not pcall(NumberToDate, 0/0)); x = NumberToDate(0)"), "");
  EXPECT_EQ(Eval("x"), "31,12,1969,00,00,00,000");
  EXPECT_EQ(lua_gettop(lua_->LuaState), 0);
}

// The printed fields of a source day (days since 1899-12-30) when its shifted date exists.
bool ShiftedExists(int64_t day, int& year, int& month, int& dayOfMonth) {
  rtl::DecodeDate(static_cast<double>(day), year, month, dayOfMonth);
  rtl::TDateTime unused = 0;
  return rtl::TryEncodeDate(year + 70, month, dayOfMonth + 1, unused);
}

TEST(DateRoundTripTest, EveryDayOfFourYearsThatExistsInBothCalendarsComesBack) {
  // Source 1951..1954 prints 2021..2024: leap years 1952 and 2024 disagree.
  const int64_t first = static_cast<int64_t>(rtl::EncodeDate(1951, 1, 1));
  const int64_t last = static_cast<int64_t>(rtl::EncodeDate(1954, 12, 31));
  int checked = 0;
  std::vector<std::string> skipped;
  for (int64_t day = first; day <= last; ++day) {
    int year = 0, month = 0, dayOfMonth = 0;
    const bool exists = ShiftedExists(day, year, month, dayOfMonth);
    // A different time of day, with milliseconds, on every day.
    const int64_t ms = day * 86400000 + (day * 7919 % 86400) * 1000 + day * 37 % 1000;
    const double number = static_cast<double>(ms) / 1000;
    const std::string text = DateNumberToText(rtl::Format("%.3f", number));
    if (!exists) {
      skipped.push_back(rtl::Format("%04d-%02d-%02d ", year, month, dayOfMonth) + text.substr(0, 10));
      continue;
    }
    const int h = static_cast<int>(day * 7919 % 86400 / 3600), n = static_cast<int>(day * 7919 % 3600 / 60);
    const int s = static_cast<int>(day * 7919 % 60), z = static_cast<int>(day * 37 % 1000);
    EXPECT_EQ(text, rtl::Format("%02d,%02d,%04d,%02d,%02d,%02d,%03d", dayOfMonth + 1, month, year + 70, h, n, s, z));
    EXPECT_EQ(DateFieldsToNumber(year + 70, month, dayOfMonth + 1, h, n, s, z), number) << text;
    ++checked;
  }
  // Only the months' last days (but 28 February 1954, whose shifted 29 February 2024 exists) and
  // 28 February 1952 (shifted into 2022, which has no 29 February) have no shifted twin; they
  // roll over to the next month, 29 February 1952 onto 1 March's 2 March.
  EXPECT_EQ(checked + static_cast<int>(skipped.size()), 1461);
  ASSERT_EQ(skipped.size(), 48u);
  for (const std::string& s : skipped) {
    if (s.rfind("1952-02-29", 0) == 0) {
      EXPECT_EQ(s, "1952-02-29 02,03,2022");
    } else {
      EXPECT_EQ(s.substr(11, 2), "01") << s;
    }
  }
  EXPECT_EQ(skipped[1], "1951-02-28 01,03,2021");
  EXPECT_EQ(skipped[13], "1952-02-28 01,03,2022");
  EXPECT_EQ(skipped[38], "1954-03-31 01,04,2024");
}

}  // namespace
}  // namespace game_dates_test
