#pragma once

// The drawing edge: COLORREF values become QColor here and nowhere else.

#include <QColor>

#include "app/controls/colorref.h"

QColor ToQColor(COLORREF color);
COLORREF ToColorRef(const QColor& color);
