// The progress bar drawn headless: its fill, its two-coloured text and when
// it repaints.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QWindow>

#include <climits>

#include "app/controls/percent_progress_ctrl.h"
#include "app/controls/tests/pixel_probe.h"

namespace {

constexpr COLORREF kGreen = MakeColorRef(0, 160, 0);
constexpr COLORREF kYellow = MakeColorRef(255, 255, 0);
constexpr COLORREF kMagenta = MakeColorRef(255, 0, 255);

// A 200 x 20 bar in a parent whose font is drawn without antialiasing, so
// every text pixel has exactly the colour it was drawn in.
class PercentProgressTest : public ::testing::Test {
 protected:
  PercentProgressTest() : bar(new CPercentProgressCtrl(&parent)) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    font.setStyleStrategy(QFont::NoAntialias);
    parent.setFont(font);
    parent.resize(240, 120);
    bar->setGeometry(0, 0, 200, 20);
  }

  COLORREF Highlight() const { return ToColorRef(bar->palette().color(QPalette::Highlight)); }
  COLORREF WindowColor() const { return ToColorRef(bar->palette().color(QPalette::Base)); }

  // Shows the bar and lets the first exposure's paints happen.
  void ShowAndSettle() {
    parent.show();
    for (int i = 0; i < 100 && !(parent.windowHandle() && parent.windowHandle()->isExposed()); ++i) {
      QApplication::processEvents();
    }
    ASSERT_TRUE(parent.windowHandle() && parent.windowHandle()->isExposed());
    QApplication::processEvents();
  }

  QWidget parent;
  CPercentProgressCtrl* bar;  // owned by parent
};

TEST_F(PercentProgressTest, StartsWithTheDefaultFields) {
  EXPECT_EQ(bar->GetPos(), 0);
  EXPECT_EQ(bar->Step(), 1);
  EXPECT_EQ(bar->GetRange(true), 0);
  EXPECT_EQ(bar->GetRange(false), 100);
  EXPECT_TRUE(bar->GetText().isEmpty());
  EXPECT_TRUE(bar->ShowsText());
  EXPECT_EQ(bar->LastFill(), -1);
  EXPECT_EQ(bar->BarColor(), kClrDefault);
  EXPECT_EQ(bar->BkColor(), kClrDefault);
  EXPECT_EQ(bar->TextColor(), kClrDefault);
  EXPECT_EQ(kClrDefault, 0xFF000000u);
}

TEST_F(PercentProgressTest, ThirtySevenPercentFillsSeventyFourPixels) {
  bar->SetPos(37);
  EXPECT_EQ(bar->LastFill(), 74);
  const QImage image = Picture(*bar);
  // Row 1 lies above the text.
  EXPECT_EQ(ColorAt(image, 0, 1), Highlight());
  EXPECT_EQ(ColorAt(image, 73, 1), Highlight());
  EXPECT_EQ(ColorAt(image, 74, 1), WindowColor());
  EXPECT_EQ(ColorAt(image, 199, 1), WindowColor());
  // "37%" sits in the middle, wholly over the remainder, in the bar colour.
  EXPECT_GT(CountPixels(image, QRect(74, 0, 126, 20), [&](COLORREF c) { return c == Highlight(); }), 0);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 74, 20), [&](COLORREF c) { return c != Highlight(); }), 0);
}

TEST_F(PercentProgressTest, TextTakesTheOtherPartsColourOnEachSide) {
  struct Case {
    const char* name;
    COLORREF bar, background, text;
    // Expected colours of the text over the filled part and over the rest;
    // kClrDefault stands for the palette's window and highlight colours.
    COLORREF overFilled, overRest;
  };
  const Case cases[] = {
      {"defaults", kClrDefault, kClrDefault, kClrDefault, kClrDefault, kClrDefault},
      {"own colours", kGreen, kYellow, kClrDefault, kYellow, kGreen},
      {"own text colour", kGreen, kYellow, kMagenta, kMagenta, kMagenta},
  };
  for (const Case& c : cases) {
    bar->SetBarColor(c.bar);
    bar->SetBkColor(c.background);
    bar->SetTextColor(c.text);
    bar->SetPos(50);  // the boundary at x = 100 runs through the middle of "50%"
    const QImage image = Picture(*bar);
    const COLORREF barColor = c.bar == kClrDefault ? Highlight() : c.bar;
    const COLORREF background = c.background == kClrDefault ? WindowColor() : c.background;
    const COLORREF overFilled = c.overFilled == kClrDefault ? WindowColor() : c.overFilled;
    const COLORREF overRest = c.overRest == kClrDefault ? Highlight() : c.overRest;
    const QRect filled(0, 0, 100, 20);
    const QRect rest(100, 0, 100, 20);
    EXPECT_GT(CountPixels(image, filled, [&](COLORREF p) { return p == overFilled; }), 0) << c.name;
    EXPECT_EQ(CountPixels(image, filled, [&](COLORREF p) { return p != barColor && p != overFilled; }), 0) << c.name;
    EXPECT_GT(CountPixels(image, rest, [&](COLORREF p) { return p == overRest; }), 0) << c.name;
    EXPECT_EQ(CountPixels(image, rest, [&](COLORREF p) { return p != background && p != overRest; }), 0) << c.name;
  }
}

TEST_F(PercentProgressTest, ColourSettersReturnThePreviousColour) {
  EXPECT_EQ(bar->SetBarColor(kGreen), kClrDefault);
  EXPECT_EQ(bar->SetBarColor(kYellow), kGreen);
  EXPECT_EQ(bar->SetBkColor(kMagenta), kClrDefault);
  EXPECT_EQ(bar->SetBkColor(kClrDefault), kMagenta);
  EXPECT_EQ(bar->SetTextColor(kGreen), kClrDefault);
  EXPECT_EQ(bar->SetTextColor(kClrDefault), kGreen);
}

TEST_F(PercentProgressTest, PositionsOutsideTheRangeAreKeptAndFillBeyondTheEnds) {
  bar->SetBarColor(kGreen);
  bar->SetBkColor(kYellow);
  bar->ShowText(false);
  struct Case {
    int pos, lastFill;
    COLORREF everywhere;
  };
  for (const Case& c : {Case{150, 300, kGreen}, Case{-10, -20, kYellow}, Case{INT_MAX, INT_MAX, kGreen}}) {
    bar->SetPos(c.pos);
    EXPECT_EQ(bar->GetPos(), c.pos);
    EXPECT_EQ(bar->LastFill(), c.lastFill);
    const QImage image = Picture(*bar);
    EXPECT_EQ(CountPixels(image, image.rect(), [&](COLORREF p) { return p != c.everywhere; }), 0) << c.pos;
  }
}

TEST_F(PercentProgressTest, OwnTextReplacesThePercentageUntilEmptied) {
  bar->SetPos(50);
  const QImage percentage = Picture(*bar);
  EXPECT_TRUE(bar->SetText(QStringLiteral("Busy")));
  EXPECT_EQ(bar->windowTitle(), "Busy");
  const QImage own = Picture(*bar);
  EXPECT_NE(own, percentage);

  QString copied;
  EXPECT_EQ(bar->GetText(&copied, 2), 2);
  EXPECT_EQ(copied, "Bu");
  EXPECT_EQ(bar->GetText(&copied, 100), 4);
  EXPECT_EQ(copied, "Busy");
  EXPECT_EQ(bar->GetText(nullptr, -1), 0);

  bar->SetText(QString());  // a null text counts as empty
  EXPECT_EQ(Picture(*bar), percentage);

  bar->ShowText(false);
  const QImage plain = Picture(*bar);
  EXPECT_EQ(CountPixels(plain, QRect(0, 0, 100, 20), [&](COLORREF p) { return p != Highlight(); }), 0);
  EXPECT_EQ(CountPixels(plain, QRect(100, 0, 100, 20), [&](COLORREF p) { return p != WindowColor(); }), 0);
}

TEST_F(PercentProgressTest, VerticalBarFillsUpwardsWithoutText) {
  bar->SetOrientation(Qt::Vertical);
  bar->setGeometry(0, 0, 20, 100);
  bar->SetBarColor(kGreen);
  bar->SetBkColor(kYellow);
  bar->SetPos(37);
  EXPECT_EQ(bar->LastFill(), 37);  // measured along the bar
  const QImage image = Picture(*bar);
  EXPECT_EQ(CountPixels(image, QRect(0, 63, 20, 37), [](COLORREF p) { return p != kGreen; }), 0);
  EXPECT_EQ(CountPixels(image, QRect(0, 0, 20, 63), [](COLORREF p) { return p != kYellow; }), 0);
}

TEST_F(PercentProgressTest, RangesAndStepsBehaveLikeTheSystemBar) {
  bar->SetRange(10, 60000);
  ProgressRange range{};
  EXPECT_EQ(bar->GetRange(true, &range), 10);
  EXPECT_EQ(range.iLow, 10);
  EXPECT_EQ(range.iHigh, 60000);
  EXPECT_EQ(bar->GetRange(false), 60000);
  bar->SetRange(static_cast<std::uint16_t>(-1), 0);  // 16-bit limits are unsigned words
  EXPECT_EQ(bar->GetRange(true), 65535);

  bar->SetRange32(-50, 50);
  EXPECT_EQ(bar->GetRange(true), -50);
  EXPECT_EQ(bar->SetPos(0), 0);
  EXPECT_EQ(bar->LastFill(), 100);
  EXPECT_EQ(bar->SetStep(10), 1);
  EXPECT_EQ(bar->StepIt(), 0);
  EXPECT_EQ(bar->GetPos(), 10);
  EXPECT_EQ(bar->DeltaPos(-3), 10);
  EXPECT_EQ(bar->GetPos(), 7);
  // The position wraps like a 32-bit register instead of overflowing.
  bar->SetPos(INT_MAX);
  EXPECT_EQ(bar->DeltaPos(1), INT_MAX);
  EXPECT_EQ(bar->GetPos(), INT_MIN);
}

TEST_F(PercentProgressTest, RepaintsAtOnceOnlyWhenTheFillMovesAWholePixel) {
  ShowAndSettle();
  bar->SetRange32(0, 1000);
  const int before = bar->PaintCount();
  bar->SetPos(370);  // 74 px: painted before SetPos returns
  EXPECT_EQ(bar->PaintCount(), before + 1);
  bar->SetPos(370);  // same position
  bar->SetPos(371);  // 74.2 px: still 74
  EXPECT_EQ(bar->PaintCount(), before + 1);
  bar->SetPos(375);  // 75 px
  EXPECT_EQ(bar->PaintCount(), before + 2);

  // A resize forgets the last fill, so the same position paints again.
  bar->resize(200, 24);
  QApplication::processEvents();
  EXPECT_EQ(bar->LastFill(), -1);
  const int afterResize = bar->PaintCount();
  bar->SetPos(375);
  EXPECT_EQ(bar->PaintCount(), afterResize + 1);
}

TEST_F(PercentProgressTest, EmptyRangePaintsNothingAndSettles) {
  ShowAndSettle();
  for (int limit : {5, 0}) {  // equal limits, then an inverted range
    bar->SetRange32(5, limit);
    bar->SetPos(5);  // must not divide by zero
    EXPECT_EQ(bar->GetPos(), 5);
    bar->update();
    QApplication::processEvents();
    const int settled = bar->PaintCount();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_EQ(bar->PaintCount(), settled) << "painting repeats with range 5.." << limit;
  }
  EXPECT_EQ(bar->LastFill(), 0);
}

}  // namespace
