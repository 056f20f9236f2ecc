#include "app/controls/cell_height_font.h"

#include <QFontMetrics>

QFont MakeCellHeightFont(const QString& family, int cellHeight) {
  QFont font(family);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  // A cell is taller than the em square, so start at the requested height and
  // shrink the em until the cell fits.
  for (int pixels = cellHeight > 1 ? cellHeight : 1; pixels > 1; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).height() <= cellHeight) return font;
  }
  font.setPixelSize(1);
  return font;
}
