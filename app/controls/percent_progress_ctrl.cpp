#include "app/controls/percent_progress_ctrl.h"

#include <QImage>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>

#include "app/controls/colorref_qcolor.h"
#include "app/controls/progress_geometry.h"

namespace {

// Position arithmetic wraps around like the 32-bit registers it models
// instead of overflowing.
int WrappingAdd(int a, int b) {
  return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

QColor Resolve(COLORREF color, const QColor& fallback) {
  return color == kClrDefault ? fallback : ToQColor(color);
}

}  // namespace

CPercentProgressCtrl::CPercentProgressCtrl(QWidget* parent, Qt::Orientation orientation)
    : QWidget(parent), m_orientation(orientation) {
  // Painting covers the whole area through an off-screen image, so nothing
  // is ever erased first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

CPercentProgressCtrl::~CPercentProgressCtrl() = default;

void CPercentProgressCtrl::SetRange(std::uint16_t minimum, std::uint16_t maximum) {
  m_min = minimum;
  m_max = maximum;
}

void CPercentProgressCtrl::SetRange32(int minimum, int maximum) {
  m_min = minimum;
  m_max = maximum;
}

int CPercentProgressCtrl::GetRange(bool lowLimit, ProgressRange* range) const {
  if (range) {
    range->iLow = m_min;
    range->iHigh = m_max;
  }
  return lowLimit ? m_min : m_max;
}

int CPercentProgressCtrl::SetPos(int pos) {
  const int previous = m_pos;
  m_pos = pos;
  const int fill = progress::FilledExtent(m_pos, m_min, m_max, BarLength());
  if (fill != m_lastFill) {
    m_lastFill = fill;
    repaint();
  }
  return previous;
}

int CPercentProgressCtrl::DeltaPos(int delta) { return SetPos(WrappingAdd(m_pos, delta)); }

int CPercentProgressCtrl::StepIt() { return SetPos(WrappingAdd(m_pos, m_step)); }

int CPercentProgressCtrl::SetStep(int step) {
  const int previous = m_step;
  m_step = step;
  return previous;
}

COLORREF CPercentProgressCtrl::SetBarColor(COLORREF color) {
  const COLORREF previous = m_barColor;
  m_barColor = color;
  update();
  return previous;
}

COLORREF CPercentProgressCtrl::SetBkColor(COLORREF color) {
  const COLORREF previous = m_bkColor;
  m_bkColor = color;
  update();
  return previous;
}

COLORREF CPercentProgressCtrl::SetTextColor(COLORREF color) {
  const COLORREF previous = m_textColor;
  m_textColor = color;
  update();
  return previous;
}

void CPercentProgressCtrl::ShowText(bool show) {
  if (show == m_showText) return;
  m_showText = show;
  update();
}

bool CPercentProgressCtrl::SetText(const QString& text) {
  setWindowTitle(text);
  // A null QString compares equal to an empty one.
  if (text != m_text) {
    m_text = text;
    update();
  }
  return true;
}

int CPercentProgressCtrl::GetText(QString* out, int maxChars) const {
  const int count = std::clamp<qsizetype>(maxChars, 0, m_text.size());
  if (out) *out = m_text.left(count);
  return count;
}

void CPercentProgressCtrl::SetOrientation(Qt::Orientation orientation) {
  if (orientation == m_orientation) return;
  m_orientation = orientation;
  m_lastFill = -1;
  update();
}

// The fill is measured along the bar: across a horizontal bar, up a vertical
// one, so that a vertical bar also repaints whenever its fill moves.
int CPercentProgressCtrl::BarLength() const {
  return m_orientation == Qt::Vertical ? height() : width();
}

void CPercentProgressCtrl::paintEvent(QPaintEvent* event) {
  ++m_paintCount;
  // An empty or inverted range draws nothing; returning still ends this
  // paint, so it does not come back.
  if (m_min >= m_max) return;
  const QRect area = event->rect();
  if (area.isEmpty()) return;

  // Drawn off-screen and copied in one step.
  const qreal ratio = devicePixelRatioF();
  QImage buffer(area.size() * ratio, QImage::Format_RGB32);
  buffer.setDevicePixelRatio(ratio);
  {
    QPainter memory(&buffer);
    memory.translate(-area.topLeft());
    PaintBar(memory);
  }
  QPainter screen(this);
  screen.drawImage(area.topLeft(), buffer);
}

void CPercentProgressCtrl::PaintBar(QPainter& painter) const {
  const double fraction = progress::Fraction(m_pos, m_min, m_max);
  const QColor bar = Resolve(m_barColor, palette().color(QPalette::Highlight));
  // The system's window colour is the colour of a text field's background.
  const QColor background = Resolve(m_bkColor, palette().color(QPalette::Base));
  painter.setFont(parentWidget() ? parentWidget()->font() : font());

  const int w = width();
  const int h = height();
  QRect filled;
  QRect remainder;
  if (m_orientation == Qt::Vertical) {
    // Parts beyond the ends of the bar are not visible; they are cut off
    // before the rectangles are formed.
    const int extent = std::clamp(progress::TruncateToInt(h * fraction), 0, h);
    filled = QRect(0, h - extent, w, extent);
    remainder = QRect(0, 0, w, h - extent);
  } else {
    const int extent = std::clamp(progress::TruncateToInt(w * fraction), 0, w);
    filled = QRect(0, 0, extent, h);
    remainder = QRect(extent, 0, w - extent, h);
  }
  painter.fillRect(filled, bar);
  painter.fillRect(remainder, background);

  if (!m_showText || m_orientation == Qt::Vertical) return;
  const QString text =
      m_text.isEmpty() ? QString::fromStdString(progress::PercentText(m_pos, m_min, m_max)) : m_text;
  // The same text twice, each copy clipped to one part in the other part's
  // colour.
  const auto drawClipped = [&](const QRect& part, const QColor& color) {
    if (part.isEmpty()) return;
    painter.setClipRect(part);
    painter.setPen(color);
    painter.drawText(rect(), m_textFormat, text);
  };
  drawClipped(filled, Resolve(m_textColor, background));
  drawClipped(remainder, Resolve(m_textColor, bar));
}

void CPercentProgressCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_lastFill = -1;
}
