#include "game/DateNumber.h"

#include <cmath>

#include "runtime/DateTime.h"
#include "runtime/Errors.h"
#include "runtime/Strings.h"

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int32_t kYearShift = 70;

// The day Day of the month, counted from its first, so that day 0 and day 32 roll over.
int64_t DayNumber(int32_t year, int32_t month, int64_t day) {
  return static_cast<int64_t>(rtl::EncodeDate(year, month, 1)) + day - 1;
}

void CheckField(const char* name, int32_t value, int32_t low, int32_t high) {
  if (value < low || value > high) {
    throw rtl::EConvertError(rtl::Format("%s %d is outside %d..%d", name, value, low, high));
  }
}

}  // namespace

std::string DateNumberToText(std::string_view text) {
  const double x = rtl::StrToFloat(text);
  // NaN fails both comparisons.
  if (!(x > -2147483649.0 && x < 2147483648.0)) {
    throw rtl::EConvertError("'" + std::string(text) + "' is outside the 32-bit range of date numbers");
  }
  const double whole = std::trunc(x);
  const int64_t ms = static_cast<int64_t>(whole) * 1000 + std::llround((x - whole) * 1000);
  const int64_t day = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  const int64_t msOfDay = ms - day * kMsPerDay;

  int year = 0, month = 0, dayOfMonth = 0;
  rtl::DecodeDate(static_cast<double>(day), year, month, dayOfMonth);
  const int64_t shifted = DayNumber(year + kYearShift, month, dayOfMonth + 1);
  return rtl::FormatDateTime("dd,mm,yyyy,hh,nn,ss,zzz",
                             static_cast<double>(shifted) + static_cast<double>(msOfDay) / kMsPerDay);
}

double DateFieldsToNumber(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                          int32_t millisecond) {
  CheckField("month", month, 1, 12);
  CheckField("hour", hour, 0, 23);
  CheckField("minute", minute, 0, 59);
  CheckField("second", second, 0, 59);
  CheckField("millisecond", millisecond, 0, 999);
  const int64_t shiftedYear = static_cast<int64_t>(year) - kYearShift;
  if (shiftedYear < 1 || shiftedYear > 9999) {
    throw rtl::EConvertError(rtl::Format("year %d is outside %d..%d", year, 1 + kYearShift, 9999 + kYearShift));
  }
  const int64_t days = DayNumber(static_cast<int32_t>(shiftedYear), month, static_cast<int64_t>(day) - 1);
  const int64_t ms = days * kMsPerDay + ((hour * 60 + minute) * 60 + second) * int64_t{1000} + millisecond;
  return static_cast<double>(ms) / 1000;
}
