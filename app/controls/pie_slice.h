#pragma once

// One slice of the pie chart: owned by the chart, drawn in the order added.

#include <QBrush>

#include "app/controls/colorref.h"

class PieSlice {
 public:
  PieSlice(COLORREF fillColor, COLORREF textColor, int sweep);
  virtual ~PieSlice();

  PieSlice(const PieSlice&) = delete;
  PieSlice& operator=(const PieSlice&) = delete;

  COLORREF FillColor() const { return m_fillColor; }
  COLORREF TextColor() const { return m_textColor; }
  const QBrush& Brush() const { return m_brush; }
  int Sweep() const { return m_sweep; }

 private:
  COLORREF m_fillColor;
  COLORREF m_textColor;
  QBrush m_brush;  // solid brush of the fill colour, made once with the slice
  int m_sweep;     // degrees, clockwise
};
