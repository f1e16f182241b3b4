// Conversion routines shared by the game host.
#include "foundation/SFunctions.h"

#include <algorithm>
#include <limits>

bool PointInRect(const TRect& rect, const TPoint& point) {
  return rect.Left <= point.X && point.X <= rect.Right && rect.Top <= point.Y &&
         point.Y <= rect.Bottom;
}

bool IntInArray(int32_t value, const TIntegers& values) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

void AddInt(TIntegers& values, int32_t value) { values.push_back(value); }

namespace {

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int32_t ValInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  const int64_t base = hex ? 16 : 10;
  const int64_t lastSafe = hex ? 268435455 : 214748364;  // one more digit still fits 32 bits
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], hex);
    if (digit < 0 || value > lastSafe) return static_cast<int32_t>(value);
    value = value * base + digit;
  }
  if (negative) value = -value;
  if (hex) return static_cast<int32_t>(static_cast<uint32_t>(value));
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

std::string BoolToText(bool value) { return value ? "True" : "False"; }

TPoint StrToPoint(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) return TPoint{0, ValInt(text)};
  return TPoint{ValInt(text.substr(0, comma)), ValInt(text.substr(comma + 1))};
}

void AddPoint(TPoints& points, const TPoint& point) { points.push_back(point); }

void StrToPoints(std::string_view text, TPoints& points) {
  points.clear();
  if (text.find('(') == std::string_view::npos || text.find(')') == std::string_view::npos) return;
  while (!text.empty()) {
    const std::size_t open = text.find('(');
    const std::size_t close = text.find(')');
    // A "(" with no ")" after it holds no point; reading on would never use up the text.
    if (close == std::string_view::npos) break;
    AddPoint(points, close > open ? StrToPoint(text.substr(open + 1, close - open - 1))
                                  : StrToPoint(""));
    text.remove_prefix(close + 1);
    if (text.find('(') == std::string_view::npos) break;
  }
}

namespace {

// Sum / count rounded to the nearest integer, ties to even, in exact integer arithmetic.
int32_t RoundedQuotient(int64_t sum, int64_t count) {
  int64_t q = sum / count;
  int64_t r = sum % count;
  if (r < 0) {  // make the remainder non-negative so q is the floor
    r += count;
    --q;
  }
  if (2 * r > count || (2 * r == count && (q & 1) != 0)) ++q;
  return static_cast<int32_t>(q);
}

}  // namespace

TPoint PointsCenter(const TPoints& points) {
  if (points.empty()) return TPoint{0, 0};
  int64_t sumX = 0, sumY = 0;
  for (const TPoint& p : points) {
    sumX += p.X;
    sumY += p.Y;
  }
  const int64_t count = static_cast<int64_t>(points.size());
  return TPoint{RoundedQuotient(sumX, count), RoundedQuotient(sumY, count)};
}
