#pragma once

// The dialog's pie chart: a disc in a base colour with slices over it, each
// slice of more than 25 degrees labelled with its share of the full circle.
// Dragging with the left button turns the pie.

#include <QFont>
#include <QWidget>

#include <memory>
#include <vector>

#include "app/controls/client_geometry.h"
#include "app/controls/colorref.h"
#include "app/controls/pie_slice.h"

// Window class name under which dialog templates name this control.
inline constexpr const char* kPieChartClassName = "PIE_CHART_CTRL";

class CPieChartCtrl : public QWidget {
 public:
  explicit CPieChartCtrl(QWidget* parent = nullptr);
  ~CPieChartCtrl() override;

  // Registers kPieChartClassName (cross-hair cursor, light grey background);
  // false when it is registered already. Every construction tries it.
  static bool RegisterWindowClass();

  // Appends a slice of `sweep` degrees (clockwise) and repaints; false, with
  // nothing changed, when memory runs out.
  bool AddSlice(COLORREF fillColor, COLORREF textColor, int sweep);
  // Deletes every slice; repaints only with the next change or exposure.
  void RemoveAllSlices();

  void RecalcLayout();
  ClientPoint AngleToPoint(int angle, bool inner) const;

  int StartAngle() const { return startAngle; }
  COLORREF BaseColor() const { return baseColor; }
  COLORREF LineColor() const { return lineColor; }
  const QFont& LabelFont() const { return labelFont; }
  const ClientRect& PieRect() const { return pieRect; }
  bool IsDragging() const { return dragging != 0; }
  const std::vector<std::unique_ptr<PieSlice>>& Slices() const { return slices; }

  // Paint events handled so far and the area of the last one; let tests see
  // what a change repaints.
  int PaintCount() const { return m_paintCount; }
  const QRect& LastPaintRect() const { return m_lastPaintRect; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PaintPicture(QPainter& painter);

  int startAngle = 0;                             // degrees, 0 straight up, clockwise
  COLORREF baseColor = MakeColorRef(0, 0, 255);   // the disc under the slices
  COLORREF lineColor = MakeColorRef(0, 0, 0);     // radii and outline circle
  std::vector<std::unique_ptr<PieSlice>> slices;  // drawn in the order added
  QFont labelFont;
  ClientPoint lastMouse;
  int dragging = 0;
  ClientRect pieRect;

  int m_paintCount = 0;
  QRect m_lastPaintRect;
};
