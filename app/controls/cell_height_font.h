#pragma once

// Fonts asked for by cell height (ascent plus descent, the way the dialog's
// fonts are specified) rather than by Qt's em-based pixel size.

#include <QFont>
#include <QString>

// The largest normal-weight, upright `family` font whose cell height does not
// exceed `cellHeight` pixels.
QFont MakeCellHeightFont(const QString& family, int cellHeight);
