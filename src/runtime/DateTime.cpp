// Calendar arithmetic on the proleptic Gregorian calendar, day 0 being 1899-12-30.
#include "runtime/DateTime.h"

#include <cmath>
#include <ctime>

#include "runtime/Errors.h"

namespace rtl {

namespace {

constexpr int64_t kUnixEpochDay = 25569;  // 1970-01-01 as a TDateTime
constexpr int64_t kMsPerDay = 86400000;

const char* const kShortDay[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDay[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kShortMonth[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonth[] = {"January", "February", "March",     "April",   "May",      "June",
                                  "July",    "August",   "September", "October", "November", "December"};

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Whole days and milliseconds of the day, rounded to the nearest millisecond.
void Split(TDateTime dt, int64_t& day, int64_t& ms) {
  int64_t total = std::llround(dt * static_cast<double>(kMsPerDay));
  day = total >= 0 ? total / kMsPerDay : -((-total + kMsPerDay - 1) / kMsPerDay);
  ms = total - day * kMsPerDay;
}

void Pad(std::string& out, int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) out.append(static_cast<std::size_t>(width) - s.size(), '0');
  out += s;
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  result = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDay);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r = 0;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    throw EConvertError("Invalid argument to time encode");
  return (((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / static_cast<double>(kMsPerDay);
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t d = 0, ms = 0;
  Split(dt, d, ms);
  CivilFromDays(d - kUnixEpochDay, year, month, day);
}

void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& millisecond) {
  int64_t d = 0, ms = 0;
  Split(dt, d, ms);
  millisecond = static_cast<int>(ms % 1000);
  second = static_cast<int>(ms / 1000 % 60);
  minute = static_cast<int>(ms / 60000 % 60);
  hour = static_cast<int>(ms / 3600000);
}

int DayOfWeek(TDateTime dt) {
  int64_t d = 0, ms = 0;
  Split(dt, d, ms);
  // Day 0 (1899-12-30) was a Saturday.
  int64_t w = (d + 6) % 7;
  if (w < 0) w += 7;
  return static_cast<int>(w) + 1;
}

int64_t LocalEpochMs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm local{};
  localtime_r(&ts.tv_sec, &local);
  return (static_cast<int64_t>(ts.tv_sec) + local.tm_gmtoff) * 1000 + ts.tv_nsec / 1000000;
}

TDateTime UnixMsToDateTime(int64_t ms) {
  int64_t day = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  int64_t rest = ms - day * kMsPerDay;
  return static_cast<double>(day + kUnixEpochDay) + static_cast<double>(rest) / kMsPerDay;
}

int64_t DateTimeToUnixMs(TDateTime dt) {
  int64_t d = 0, ms = 0;
  Split(dt, d, ms);
  return (d - kUnixEpochDay) * kMsPerDay + ms;
}

TDateTime Now() { return UnixMsToDateTime(LocalEpochMs()); }

std::string FormatDateTime(std::string_view format, TDateTime dt) {
  int year, month, day, hour, minute, second, ms;
  DecodeDate(dt, year, month, day);
  DecodeTime(dt, hour, minute, second, ms);
  const int weekday = DayOfWeek(dt) - 1;

  std::string out;
  bool afterHour = false;  // "m" right after an hour means minutes
  std::size_t i = 0;
  auto run = [&](char c) {
    std::size_t n = 0;
    while (i + n < format.size() && (format[i + n] | 0x20) == c) ++n;
    return n;
  };
  while (i < format.size()) {
    char c = format[i];
    char lower = static_cast<char>(c | 0x20);
    if (c == '"' || c == '\'') {
      std::size_t end = format.find(c, i + 1);
      if (end == std::string_view::npos) end = format.size();
      out.append(format.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (c >= 'A' && c <= 'z' && (lower == 'd' || lower == 'm' || lower == 'y' || lower == 'h' || lower == 'n' ||
                                 lower == 's' || lower == 'z')) {
      std::size_t n = run(lower);
      switch (lower) {
        case 'd':
          if (n == 1) Pad(out, day, 1);
          else if (n == 2) Pad(out, day, 2);
          else if (n == 3) out += kShortDay[weekday];
          else out += kLongDay[weekday];
          break;
        case 'm':
          if (afterHour && n <= 2) Pad(out, minute, static_cast<int>(n));
          else if (n == 1) Pad(out, month, 1);
          else if (n == 2) Pad(out, month, 2);
          else if (n == 3) out += kShortMonth[month - 1];
          else out += kLongMonth[month - 1];
          break;
        case 'y':
          if (n <= 2) Pad(out, year % 100, 2);
          else Pad(out, year, 4);
          break;
        case 'h':
          Pad(out, hour, n >= 2 ? 2 : 1);
          break;
        case 'n':
          Pad(out, minute, n >= 2 ? 2 : 1);
          break;
        case 's':
          Pad(out, second, n >= 2 ? 2 : 1);
          break;
        case 'z':
          Pad(out, ms, n >= 3 ? 3 : 1);
          break;
      }
      afterHour = lower == 'h';
      i += n;
      continue;
    }
    out += c;
    if (c != ':' && c != ' ') afterHour = false;
    ++i;
  }
  return out;
}

}  // namespace rtl
