// The conversion routines on arbitrary text: integers, points and point lists, the centre of a
// point list, the rectangle test, integer lists, and the runtime's strict conversions that the
// readers use beside them. Numbers that come out print and read back as themselves.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/SFunctions.h"
#include "fuzz_support.h"
#include "runtime/Errors.h"
#include "runtime/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const int32_t value = ValInt(text);
  FUZZ_CHECK(ValInt(rtl::IntToStr(value)) == value);

  const TPoint point = StrToPoint(text);
  FUZZ_CHECK(StrToPoint(rtl::IntToStr(point.X) + "," + rtl::IntToStr(point.Y)) == point);

  TPoints points{{1, 2}};
  StrToPoints(text, points);
  FUZZ_CHECK(points.size() <= static_cast<std::size_t>(std::count(text.begin(), text.end(), ')')));
  const TPoint center = PointsCenter(points);
  if (!points.empty()) {
    TRect bounds{points[0].X, points[0].Y, points[0].X, points[0].Y};
    TIntegers xs;
    for (const TPoint& p : points) {
      bounds.Left = std::min(bounds.Left, p.X);
      bounds.Top = std::min(bounds.Top, p.Y);
      bounds.Right = std::max(bounds.Right, p.X);
      bounds.Bottom = std::max(bounds.Bottom, p.Y);
      FUZZ_CHECK(PointInRect(bounds, p));
      AddInt(xs, p.X);
    }
    FUZZ_CHECK(PointInRect(bounds, center));
    FUZZ_CHECK(IntInArray(points.back().X, xs));
    std::string list;
    for (const TPoint& p : points) list += "(" + rtl::IntToStr(p.X) + "," + rtl::IntToStr(p.Y) + ")";
    TPoints again;
    StrToPoints(list, again);
    FUZZ_CHECK(again == points);
  } else {
    FUZZ_CHECK(center == (TPoint{0, 0}));
  }

  const int32_t strict = rtl::StrToIntDef(text, -7);
  try {
    FUZZ_CHECK(rtl::StrToInt(text) == strict);
    FUZZ_CHECK(rtl::StrToInt(rtl::IntToStr(strict)) == strict);
  } catch (const rtl::EConvertError&) {
    FUZZ_CHECK(strict == -7);
  }
  try {
    (void)rtl::StrToBool(text);
  } catch (const rtl::EConvertError&) {
  }
  double number = 0;
  if (rtl::TryStrToFloat(text, number)) (void)rtl::FloatToStr(number);
  return 0;
}
