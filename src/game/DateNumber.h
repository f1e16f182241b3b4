// The date number of the scripts: a count of seconds on a calendar shifted against the runtime's
// date-time form (TDateTime, DateTime.h) by 70 years and one day, so that seconds 0 is
// 31 December 1969 00:00. A shifted date can name a day that does not exist; both directions
// then roll over by day arithmetic (the 32nd of a month is the first of the next, day 0 the last
// of the month before), which keeps them inverse for every date that exists in both calendars.
// A 70-year shift always moves leap years, so a few dates collide: 29 February and 1 March 1904
// both print as 2 March 1974.
//
// Computed exactly, in whole milliseconds; times of day are the source's, never shifted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// "dd,mm,yyyy,hh,nn,ss,zzz" of the date number written in Text (the runtime's number form, "."
// as the decimal separator); milliseconds rounded. Raises rtl::EConvertError for a text that is
// no number and for a number whose whole seconds leave the signed 32-bit range (NaN and the
// infinities included).
std::string DateNumberToText(std::string_view text);

// The date number of the printed fields. Raises rtl::EConvertError when the month is outside
// 1..12, the hour, minute, second or millisecond outside their ranges, or the shifted year
// (Year - 70) outside 1..9999; any day is counted from the first of the month.
double DateFieldsToNumber(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                          int32_t millisecond);
