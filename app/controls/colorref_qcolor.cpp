#include "app/controls/colorref_qcolor.h"

QColor ToQColor(COLORREF color) {
  return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

COLORREF ToColorRef(const QColor& color) {
  return MakeColorRef(static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
                      static_cast<std::uint8_t>(color.blue()));
}
