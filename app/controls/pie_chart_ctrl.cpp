#include "app/controls/pie_chart_ctrl.h"

#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>

#include <cmath>
#include <new>
#include <numbers>

#include "app/controls/cell_height_font.h"
#include "app/controls/colorref_qcolor.h"
#include "app/controls/pie_geometry.h"
#include "app/controls/window_class_registry.h"

namespace {

constexpr int kLabelFontCellHeight = 13;
constexpr COLORREF kClassBackground = MakeColorRef(192, 192, 192);  // light grey

QPoint ToQPoint(const ClientPoint& point) { return QPoint(point.x, point.y); }

// The disc as a filled shape covers the pixels left..right-1, top..bottom-1.
QRectF DiscArea(const ClientRect& rect) {
  return QRectF(rect.left, rect.top, rect.Width(), rect.Height());
}

// Direction of a point seen from the disc's centre, in Qt's convention:
// degrees counter-clockwise from three o'clock.
double QtDirection(const ClientRect& rect, const ClientPoint& point) {
  const double cx = (rect.right + rect.left) * 0.5;
  const double cy = (rect.bottom + rect.top) * 0.5;
  return std::atan2(cy - point.y, point.x - cx) * 180.0 / std::numbers::pi;
}

// The wedge whose arc runs counter-clockwise from the radial point `arcStart`
// to `arcEnd`. The points, not the angles, decide the wedge, so its edges run
// to the same pixels as the slice's radius lines.
void DrawWedge(QPainter& painter, const ClientRect& rect, const ClientPoint& arcStart, const ClientPoint& arcEnd) {
  const double start = QtDirection(rect, arcStart);
  double span = QtDirection(rect, arcEnd) - start;
  while (span <= 0.0) span += 360.0;
  painter.drawPie(DiscArea(rect), static_cast<int>(std::lround(start * 16.0)),
                  static_cast<int>(std::lround(span * 16.0)));
}

}  // namespace

bool CPieChartCtrl::RegisterWindowClass() {
  return WindowClassRegistry::Instance().Register(
      WindowClass{kPieChartClassName, [](QWidget* parent) -> QWidget* { return new CPieChartCtrl(parent); },
                  Qt::CrossCursor, kClassBackground});
}

CPieChartCtrl::CPieChartCtrl(QWidget* parent) : QWidget(parent) {
  // Registering again on every construction is harmless: the second attempt
  // just reports the name as taken.
  RegisterWindowClass();
  labelFont = MakeCellHeightFont(QStringLiteral("Arial"), kLabelFontCellHeight);
  // The picture covers the whole client area, so no background is erased
  // before painting.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CPieChartCtrl::~CPieChartCtrl() { RemoveAllSlices(); }

bool CPieChartCtrl::AddSlice(COLORREF fillColor, COLORREF textColor, int sweep) {
  try {
    slices.push_back(std::make_unique<PieSlice>(fillColor, textColor, sweep));
  } catch (const std::bad_alloc&) {
    return false;
  }
  update();
  return true;
}

void CPieChartCtrl::RemoveAllSlices() { slices.clear(); }

void CPieChartCtrl::RecalcLayout() {
  pieRect = pie::RecalcLayout(ClientRect{0, 0, width(), height()});
}

ClientPoint CPieChartCtrl::AngleToPoint(int angle, bool inner) const {
  return pie::AngleToPoint(pieRect, angle, inner);
}

void CPieChartCtrl::paintEvent(QPaintEvent* event) {
  ++m_paintCount;
  m_lastPaintRect = event->rect();
  if (pieRect.IsEmpty()) RecalcLayout();
  if (width() <= 0 || height() <= 0) return;

  // Drawn off-screen and copied in one step, so a drag never flickers.
  const qreal ratio = devicePixelRatioF();
  QImage buffer(size() * ratio, QImage::Format_RGB32);
  buffer.setDevicePixelRatio(ratio);
  {
    QPainter memory(&buffer);
    PaintPicture(memory);
  }
  QPainter screen(this);
  screen.drawImage(0, 0, buffer);
}

void CPieChartCtrl::PaintPicture(QPainter& painter) {
  painter.fillRect(rect(), palette().color(QPalette::Button));

  const QPen linePen(ToQColor(lineColor), 1);
  painter.setPen(Qt::NoPen);
  painter.setBrush(ToQColor(baseColor));
  painter.drawEllipse(DiscArea(pieRect));

  const ClientPoint centre = pie::IntegerCentre(pieRect);
  int angle = startAngle;
  ClientPoint from = AngleToPoint(angle, false);
  for (const auto& slice : slices) {
    angle = pie::AddDegrees(angle, slice->Sweep());
    const ClientPoint to = AngleToPoint(angle, false);

    painter.setPen(Qt::NoPen);
    painter.setBrush(slice->Brush());
    // Counter-clockwise from the slice's end back to its start covers the
    // slice's clockwise sweep; equal points draw no wedge at all.
    if (!(to == from)) DrawWedge(painter, pieRect, to, from);

    painter.setPen(linePen);
    painter.drawLine(ToQPoint(from), ToQPoint(centre));
    painter.drawLine(ToQPoint(centre), ToQPoint(to));

    const std::string label = pie::SliceLabelText(slice->Sweep());
    if (!label.empty()) {
      const QString text = QString::fromStdString(label);
      const ClientPoint middle = AngleToPoint(pie::LabelAngle(angle, slice->Sweep()), true);
      painter.setFont(labelFont);
      const QFontMetrics metrics = painter.fontMetrics();
      const int textWidth = metrics.horizontalAdvance(text);
      const int textHeight = metrics.height();
      painter.setPen(ToQColor(slice->TextColor()));
      painter.drawText(QRect(middle.x - textWidth / 2, middle.y - textHeight / 2, textWidth, textHeight),
                       Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, text);
    }
    from = to;
  }

  // The outline circle goes over everything; as an outline of a one-pixel pen
  // it spans the pixels left..right-1 like the filled disc.
  painter.setPen(linePen);
  painter.setBrush(Qt::NoBrush);
  if (!pieRect.IsEmpty()) {
    painter.drawEllipse(QRect(pieRect.left, pieRect.top, pieRect.Width() - 1, pieRect.Height() - 1));
  }
}

void CPieChartCtrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  // Qt keeps delivering the mouse to the widget that took the press until
  // the buttons are released, which is the capture a drag needs.
  const QPoint point = event->position().toPoint();
  lastMouse = ClientPoint{point.x(), point.y()};
  dragging = 1;
}

void CPieChartCtrl::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragging) {
    dragging = 0;
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void CPieChartCtrl::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  const QPoint point = event->position().toPoint();
  startAngle = pie::AddDegrees(startAngle, static_cast<long long>(point.x()) - lastMouse.x);
  update(QRect(pieRect.left, pieRect.top, pieRect.Width(), pieRect.Height()));
  lastMouse = ClientPoint{point.x(), point.y()};
}

void CPieChartCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RecalcLayout();
}
