#include <gtest/gtest.h>

#include <string>

#include "foundation/SFunctions.h"

namespace {

TEST(SFunctions, PointInRectCountsAllFourEdges) {
  const TRect rect{10, 20, 30, 40};
  const struct {
    TPoint point;
    bool inside;
  } cases[] = {
      {{10, 20}, true}, {{30, 40}, true}, {{30, 20}, true}, {{10, 40}, true}, {{20, 30}, true},
      {{9, 30}, false}, {{31, 30}, false}, {{20, 19}, false}, {{20, 41}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PointInRect(rect, c.point), c.inside) << c.point.X << "," << c.point.Y;
}

TEST(SFunctions, IntegerListsAndBooleanText) {
  TIntegers values;
  EXPECT_FALSE(IntInArray(0, values));
  AddInt(values, 5);
  AddInt(values, -3);
  EXPECT_TRUE(IntInArray(-3, values));
  EXPECT_FALSE(IntInArray(4, values));
  EXPECT_EQ(BoolToText(true), "True");
  EXPECT_EQ(BoolToText(false), "False");
}

TEST(SFunctions, ValIntReadsTheLeadingNumber) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {" 42", 42}, {"$1F", 31}, {"0x10", 16}, {"0X10", 16}, {"x1f", 31}, {"X1F", 31},
      {"-7", -7}, {"+7", 7}, {"-$10", -16}, {"12a", 12}, {"-12a", 12}, {"-12px", 12},
      {"7,5", 7}, {"", 0}, {"   ", 0}, {"-", 0}, {"$", 0}, {"0", 0}, {"007", 7},
      {"\t5", 0},  // only character 32 is skipped
      {"5 ", 5},   // the trailing blank stops the number and drops no sign here
      {"- 5", 0},  // the blank after the sign is not a digit
      {"$G", 0},
      // Beyond 32 bits: decimal numbers saturate, hexadecimal ones wrap, and digits stop once
      // one more would overflow.
      {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"2147483649", 2147483647},
      {"99999999999", 999999999}, {"-99999999999", 999999999}, {"$7FFFFFFF", 2147483647},
      {"$FFFFFFFF", -1}, {"$123456789", 0x12345678},
  };
  for (const auto& c : cases) EXPECT_EQ(ValInt(c.text), c.value) << "'" << c.text << "'";
}

TEST(SFunctions, StrToPointSplitsAtTheFirstComma) {
  const struct {
    const char* text;
    TPoint point;
  } cases[] = {
      {"5", {0, 5}}, {"3,-4", {3, -4}}, {"3, 4", {3, 4}}, {"3 ,4", {3, 4}},
      {"", {0, 0}},  {",", {0, 0}},     {"1,2,3", {1, 2}},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToPoint(c.text), c.point) << "'" << c.text << "'";
}

TEST(SFunctions, StrToPointsReadsParenthesisedPairs) {
  const struct {
    const char* text;
    TPoints points;
  } cases[] = {
      {"(1,2)(3,4)", {{1, 2}, {3, 4}}},
      {" (1,2) , (3,4) ", {{1, 2}, {3, 4}}},
      {"1,2", {}},
      {"(1,2", {}},
      {"", {}},
      {"()", {{0, 0}}},
      {")(1,2)", {{0, 0}, {1, 2}}},  // a ")" before the "(" gives an empty pair
      {"(1,2)(3,4", {{1, 2}}},       // an unclosed last pair is dropped
      {"(1,2)x", {{1, 2}}},
  };
  for (const auto& c : cases) {
    TPoints points{{9, 9}};
    StrToPoints(c.text, points);
    EXPECT_EQ(points, c.points) << "'" << c.text << "'";
  }
}

TEST(SFunctions, PointsCenterRoundsHalvesToEven) {
  const struct {
    TPoints points;
    TPoint center;
  } cases[] = {
      {{}, {0, 0}},
      {{{0, 0}, {1, 0}}, {0, 0}},   // 0.5
      {{{0, 0}, {3, 0}}, {2, 0}},   // 1.5
      {{{0, 5}, {5, 0}}, {2, 2}},   // 2.5
      {{{0, 7}, {7, 0}}, {4, 4}},   // 3.5
      {{{0, 0}, {-1, -3}}, {0, -2}},  // -0.5 and -1.5
      {{{0, 0}, {0, 0}, {2, 1}}, {1, 0}},
      {{{2147483647, 0}, {2147483647, 0}}, {2147483647, 0}},  // the sum needs more than 32 bits
  };
  for (const auto& c : cases) EXPECT_EQ(PointsCenter(c.points), c.center);
}

}  // namespace
