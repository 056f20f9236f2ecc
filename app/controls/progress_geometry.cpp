#include "app/controls/progress_geometry.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace progress {

double Fraction(int pos, int min, int max) {
  const double span = static_cast<double>(max) - static_cast<double>(min);
  if (span == 0.0) return 0.0;
  return (static_cast<double>(pos) - static_cast<double>(min)) / span;
}

int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kLowest = std::numeric_limits<int>::min();
  constexpr double kHighest = std::numeric_limits<int>::max();
  if (value <= kLowest) return std::numeric_limits<int>::min();
  if (value >= kHighest) return std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

int FilledExtent(int pos, int min, int max, int extent) {
  return TruncateToInt(Fraction(pos, min, max) * extent);
}

std::string PercentText(int pos, int min, int max) {
  char text[32];
  std::snprintf(text, sizeof text, "%d%%", TruncateToInt(Fraction(pos, min, max) * 100.0));
  return text;
}

}  // namespace progress
