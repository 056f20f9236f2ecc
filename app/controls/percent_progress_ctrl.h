#pragma once

// The dialog's progress bar: paints the filled part and the remainder in two
// colours and writes the percentage across the bar, each part of the text in
// the other part's colour so that it stays readable over both.
//
// Each operation of a system progress bar is a method here with the same
// meaning and result.

#include <QString>
#include <QWidget>

#include <cstdint>

#include "app/controls/colorref.h"

// Both limits of the range at once (GetRange's optional out-record).
struct ProgressRange {
  int iLow;
  int iHigh;
};

class CPercentProgressCtrl : public QWidget {
 public:
  explicit CPercentProgressCtrl(QWidget* parent = nullptr, Qt::Orientation orientation = Qt::Horizontal);
  ~CPercentProgressCtrl() override;

  // The 16-bit form: both limits are unsigned words.
  void SetRange(std::uint16_t minimum, std::uint16_t maximum);
  void SetRange32(int minimum, int maximum);
  // Fills `range` when given; returns the low limit when `lowLimit` is set,
  // else the high limit.
  int GetRange(bool lowLimit, ProgressRange* range = nullptr) const;

  // Stores the position as given (even outside the range) and repaints at
  // once when the filled extent moves by a whole pixel. Returns the previous
  // position.
  int SetPos(int pos);
  int GetPos() const { return m_pos; }
  // SetPos(position + delta) and SetPos(position + step); their results.
  int DeltaPos(int delta);
  int StepIt();
  // Returns the previous step.
  int SetStep(int step);

  // Each returns the previous colour; kClrDefault selects the default: the
  // highlight colour for the bar, the window colour for the background, and
  // for the text the colour of the part it is not drawn over.
  COLORREF SetBarColor(COLORREF color);
  COLORREF SetBkColor(COLORREF color);
  COLORREF SetTextColor(COLORREF color);

  void ShowText(bool show);
  // Text shown instead of the percentage; an empty (or null) text brings the
  // percentage back. Also becomes the widget's window text. Returns true.
  // A template caption is window text only (setWindowTitle, as the window
  // class registry sets it), so it does not replace the percentage.
  bool SetText(const QString& text);
  // Copies at most `maxChars` characters of the text into `out` (when given)
  // and returns how many that is.
  int GetText(QString* out, int maxChars) const;
  QString GetText() const { return m_text; }

  Qt::Orientation Orientation() const { return m_orientation; }
  void SetOrientation(Qt::Orientation orientation);

  COLORREF BarColor() const { return m_barColor; }
  COLORREF BkColor() const { return m_bkColor; }
  COLORREF TextColor() const { return m_textColor; }
  bool ShowsText() const { return m_showText; }
  int Step() const { return m_step; }
  // Filled extent in pixels when last drawn, -1 after construction or resize.
  int LastFill() const { return m_lastFill; }
  // Paint events handled so far; lets tests see what a change repaints.
  int PaintCount() const { return m_paintCount; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int BarLength() const;
  void PaintBar(QPainter& painter) const;

  int m_pos = 0;
  int m_step = 1;
  int m_min = 0;
  int m_max = 100;
  QString m_text;
  bool m_showText = true;
  int m_lastFill = -1;
  COLORREF m_barColor = kClrDefault;
  COLORREF m_bkColor = kClrDefault;
  COLORREF m_textColor = kClrDefault;
  int m_textFormat = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine;
  Qt::Orientation m_orientation;

  int m_paintCount = 0;
};
