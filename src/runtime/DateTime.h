// Dates and times as the runtime keeps them: TDateTime is a double counting days since
// 1899-12-30 00:00, the fraction being the time of day. Formatting letters (English names):
//   d dd ddd dddd  day, day with zero, short weekday, long weekday
//   m mm mmm mmmm  month, month with zero, short month name, long month name
//   yy yyyy        year        h hh  hour      n nn  minutes (m right after h also means minutes)
//   s ss           seconds     z zzz milliseconds
//   ":" the time separator (":"), "/" the date separator ("/"), text in double or single quotes
//   copied without the quotes, any other character copied.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rtl {

using TDateTime = double;

TDateTime Now();  // local time
TDateTime EncodeDate(int year, int month, int day);  // raises EConvertError for an invalid date
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& millisecond);
int DayOfWeek(TDateTime dt);  // 1 = Sunday .. 7 = Saturday

std::string FormatDateTime(std::string_view format, TDateTime dt);

// Milliseconds since 1970-01-01 of local time (what a local clock reads as "now").
int64_t LocalEpochMs();
TDateTime UnixMsToDateTime(int64_t ms);
int64_t DateTimeToUnixMs(TDateTime dt);

}  // namespace rtl
