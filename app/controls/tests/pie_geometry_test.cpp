// The pie chart's arithmetic without a window.

#include <gtest/gtest.h>

#include <climits>

#include "app/controls/pie_geometry.h"

namespace {

struct AngleCase {
  ClientRect pieRect;
  int angle;
  bool inner;
  ClientPoint expected;
};

TEST(PieGeometry, AngleToPointNormalisesAndTruncatesTowardZero) {
  const ClientRect square{0, 0, 100, 100};
  // Negative offsets show truncation toward zero rather than flooring.
  const ClientRect negative{-100, -100, 0, 0};
  const AngleCase cases[] = {
      {square, 0, false, {50, 0}},
      {square, 90, false, {100, 49}},    // cos(90 deg) comes out a hair above zero
      {square, 180, false, {50, 100}},
      {square, 270, false, {0, 50}},
      {square, -30, false, {24, 6}},     // same as 330; x lands just below 25
      {square, 725, false, {54, 0}},     // same as 5
      {square, 330, false, {24, 6}},
      {square, -360, false, {50, 0}},
      {square, 180, true, {50, 80}},     // six tenths of the radius
      {square, 90, true, {80, 49}},
      {negative, 90, false, {0, -50}},   // -50.0000000022 truncates to -50
      {negative, 180, false, {-49, 0}},  // -49.99999999 truncates to -49
  };
  for (const AngleCase& c : cases) {
    const ClientPoint point = pie::AngleToPoint(c.pieRect, c.angle, c.inner);
    EXPECT_EQ(point.x, c.expected.x) << "angle " << c.angle << " inner " << c.inner;
    EXPECT_EQ(point.y, c.expected.y) << "angle " << c.angle << " inner " << c.inner;
  }
  // INT_MIN: -2147483648 = -5965233 * 360 + 232.
  EXPECT_EQ(pie::AngleToPoint(square, INT_MIN, false), pie::AngleToPoint(square, 232, false));
}

TEST(PieGeometry, NormalisingAndAddingAnglesNeverOverflow) {
  EXPECT_EQ(pie::NormalizeDegrees(-30), 330);
  EXPECT_EQ(pie::NormalizeDegrees(-720), 0);
  EXPECT_EQ(pie::NormalizeDegrees(359), 359);
  EXPECT_EQ(pie::NormalizeDegrees(360), 0);
  EXPECT_EQ(pie::NormalizeDegrees(INT_MIN), 232);
  // Sums that fit stay as they are (the start angle is not bounded) ...
  EXPECT_EQ(pie::AddDegrees(700, 30), 730);
  EXPECT_EQ(pie::AddDegrees(-10, -400), -410);
  // ... sums that do not are reduced to the same direction.
  EXPECT_EQ(pie::AddDegrees(INT_MAX, 1), 128);  // 2^31 mod 360
  EXPECT_EQ(pie::AddDegrees(INT_MIN, -1), pie::NormalizeDegrees(-2147483649LL));
  EXPECT_EQ(pie::LabelAngle(INT_MAX, INT_MIN), pie::NormalizeDegrees(static_cast<long long>(INT_MAX) + (1LL << 30)));
}

TEST(PieGeometry, RecalcLayoutCentresHorizontallyAndTouchesTheBottom) {
  struct Case {
    ClientRect client;
    ClientRect expected;
  };
  const Case cases[] = {
      {{0, 0, 200, 100}, {50, 0, 150, 100}},    // wide: as high as the control, centred
      {{0, 0, 201, 100}, {50, 0, 150, 100}},    // odd spare width: integer division
      {{0, 0, 100, 160}, {0, 60, 100, 160}},    // tall: as wide as the control, at the bottom
      {{0, 0, 80, 80}, {0, 0, 80, 80}},
      {{0, 0, 0, 50}, {0, 50, 0, 50}},          // no width: an empty square at the bottom
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pie::RecalcLayout(c.client), c.expected)
        << c.client.right << "x" << c.client.bottom;
  }
}

TEST(PieGeometry, LabelTextShowsTheShareOfSlicesAboveTwentyFiveDegrees) {
  struct Case {
    int sweep;
    const char* expected;
  };
  const Case cases[] = {
      {-90, ""}, {0, ""}, {25, ""},
      {26, "7%"}, {27, "8%"},
      {45, "12%"},  // exactly 12.5: the formatter rounds half to even
      {90, "25%"}, {360, "100%"}, {720, "200%"},
  };
  for (const Case& c : cases) EXPECT_EQ(pie::SliceLabelText(c.sweep), c.expected) << c.sweep;
}

}  // namespace
