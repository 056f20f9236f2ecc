// The progress bar's arithmetic without a window.

#include <gtest/gtest.h>

#include <climits>

#include "app/controls/progress_geometry.h"

namespace {

TEST(ProgressGeometry, FilledExtent) {
  struct Case {
    int pos, min, max, extent, expected;
  };
  const Case cases[] = {
      {37, 0, 100, 200, 74},
      {0, 0, 100, 200, 0},
      {100, 0, 100, 200, 200},
      {1, 0, 3, 200, 66},       // truncated, not rounded
      {-1, 0, 3, 200, -66},     // truncated toward zero
      {150, 0, 100, 200, 300},  // outside the range: beyond the right edge
      {-10, 0, 100, 200, -20},  // ... or before the left edge
      {5, 5, 5, 200, 0},        // empty range: nothing filled, no division by zero
      {7, 5, 5, 200, 0},
      {INT_MAX, INT_MIN, INT_MAX, 200, 200},  // the full int range does not overflow
      {INT_MAX, 0, 1, 200, INT_MAX},          // far beyond the range: held in int
      {INT_MIN, 0, 1, 200, INT_MIN},
      {3, 10, 0, 200, 140},     // inverted range: the same formula
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progress::FilledExtent(c.pos, c.min, c.max, c.extent), c.expected)
        << c.pos << " of " << c.min << ".." << c.max << " on " << c.extent;
  }
}

TEST(ProgressGeometry, PercentText) {
  struct Case {
    int pos, min, max;
    const char* expected;
  };
  const Case cases[] = {
      {37, 0, 100, "37%"}, {2, 0, 3, "66%"}, {150, 0, 100, "150%"},
      {-5, 0, 100, "-5%"}, {60, 50, 70, "50%"}, {INT_MAX, 0, 1, "2147483647%"},
  };
  for (const Case& c : cases) EXPECT_EQ(progress::PercentText(c.pos, c.min, c.max), c.expected);
}

}  // namespace
