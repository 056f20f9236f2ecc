#pragma once

// Reading a control's picture in the tests: colours as COLORREF so that
// failures print the same numbers the controls are configured with.

#include <QImage>
#include <QRect>
#include <QWidget>

#include <cmath>
#include <functional>
#include <numbers>

#include "app/controls/colorref.h"
#include "app/controls/colorref_qcolor.h"

inline QImage Picture(QWidget& widget) { return widget.grab().toImage(); }

inline COLORREF ColorAt(const QImage& image, int x, int y) { return ToColorRef(image.pixelColor(x, y)); }

// The pixel `radius` pixels from (cx, cy) at `degrees` clockwise from up.
inline COLORREF ColorAtPolar(const QImage& image, double cx, double cy, double degrees, double radius) {
  const double radians = degrees * std::numbers::pi / 180.0;
  return ColorAt(image, static_cast<int>(cx + radius * std::sin(radians)),
                 static_cast<int>(cy - radius * std::cos(radians)));
}

inline int CountPixels(const QImage& image, const QRect& area, const std::function<bool(COLORREF)>& matches) {
  int count = 0;
  const QRect inside = area & image.rect();
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) count += matches(ColorAt(image, x, y)) ? 1 : 0;
  }
  return count;
}
