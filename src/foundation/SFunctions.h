// Small stateless conversions for rectangles, integer lists and point lists that the game host's
// script operations and file readers share. None of them reports an error: unreadable text
// reads as the numbers found before the fault.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TPoint {
  int32_t X;
  int32_t Y;
  bool operator==(const TPoint&) const = default;
};

struct TRect {
  int32_t Left;
  int32_t Top;
  int32_t Right;
  int32_t Bottom;
};

using TIntegers = std::vector<int32_t>;
using TPoints = std::vector<TPoint>;

// All four edges count as inside.
bool PointInRect(const TRect& rect, const TPoint& point);
bool IntInArray(int32_t value, const TIntegers& values);
void AddInt(TIntegers& values, int32_t value);

// Leading blanks, one sign, then decimal digits or hexadecimal ones after "$", "x" or "0x".
// Text after the number drops the sign: "-12px" gives 12. Empty text gives 0. Digits stop being
// read once more of them would overflow; hexadecimal numbers wrap to 32 bits ("$FFFFFFFF" is -1)
// and decimal ones saturate.
int32_t ValInt(std::string_view text);
std::string BoolToText(bool value);  // "True" / "False"

// "x,y"; without a comma the whole text is Y and X is 0.
TPoint StrToPoint(std::string_view text);
void AddPoint(TPoints& points, const TPoint& point);
// "(x,y)(x,y)...": Points is emptied first; a text without both parentheses gives no points.
void StrToPoints(std::string_view text, TPoints& points);
// The average point, each coordinate rounded half to even; (0, 0) for no points.
TPoint PointsCenter(const TPoints& points);
