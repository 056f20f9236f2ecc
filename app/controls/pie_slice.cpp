#include "app/controls/pie_slice.h"

#include "app/controls/colorref_qcolor.h"

PieSlice::PieSlice(COLORREF fillColor, COLORREF textColor, int sweep)
    : m_fillColor(fillColor), m_textColor(textColor), m_brush(ToQColor(fillColor), Qt::SolidPattern), m_sweep(sweep) {}

PieSlice::~PieSlice() = default;
