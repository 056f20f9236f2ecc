#include "app/controls/pie_geometry.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace pie {
namespace {

constexpr int kFullTurn = 360;
// The value of pi the pie's geometry is defined with; the points it yields
// are truncated to pixels, so the exact constant shows in the picture.
constexpr double kPi = 3.1415926535;
constexpr double kInnerRadiusShare = 0.6;
// Percent of a full turn per degree (100 / 360).
constexpr double kPercentPerDegree = 0.2777777777777778;

}  // namespace

int NormalizeDegrees(long long degrees) {
  long long reduced = degrees % kFullTurn;
  if (reduced < 0) reduced += kFullTurn;
  return static_cast<int>(reduced);
}

int AddDegrees(int angle, long long delta) {
  const long long sum = static_cast<long long>(angle) + delta;
  if (sum < std::numeric_limits<int>::min() || sum > std::numeric_limits<int>::max()) {
    return NormalizeDegrees(sum);
  }
  return static_cast<int>(sum);
}

ClientRect RecalcLayout(const ClientRect& client) {
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  const int side = width < height ? width : height;
  const int left = client.left + (width - side) / 2;
  return ClientRect{left, client.bottom - side, left + side, client.bottom};
}

ClientPoint AngleToPoint(const ClientRect& pieRect, int angle, bool inner) {
  const int degrees = NormalizeDegrees(angle);
  double radius = (pieRect.bottom - pieRect.top) * 0.5;
  if (inner) radius = radius * kInnerRadiusShare;
  const double radians = degrees * kPi * (1.0 / 180.0);
  const double cx = (pieRect.right + pieRect.left) * 0.5;
  const double cy = (pieRect.bottom + pieRect.top) * 0.5;
  // static_cast truncates toward zero, which is the rounding the layout uses.
  return ClientPoint{static_cast<int>(cx + radius * std::sin(radians)),
                     static_cast<int>(cy - radius * std::cos(radians))};
}

ClientPoint IntegerCentre(const ClientRect& pieRect) {
  return ClientPoint{(pieRect.left + pieRect.right) / 2, (pieRect.top + pieRect.bottom) / 2};
}

std::string SliceLabelText(int sweep) {
  if (sweep <= kLabelMinSweep) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%.0f%%", sweep * kPercentPerDegree);
  return text;
}

int LabelAngle(int endAngle, int sweep) {
  return AddDegrees(endAngle, -static_cast<long long>(sweep / 2));
}

}  // namespace pie
