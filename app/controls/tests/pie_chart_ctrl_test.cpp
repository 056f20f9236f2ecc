// The pie chart drawn headless and read back pixel by pixel.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QWindow>

#include "app/controls/pie_chart_ctrl.h"
#include "app/controls/tests/pixel_probe.h"

namespace {

constexpr COLORREF kBlue = MakeColorRef(0, 0, 255);
constexpr COLORREF kRed = MakeColorRef(255, 0, 0);
constexpr COLORREF kBlack = MakeColorRef(0, 0, 0);
constexpr COLORREF kWhite = MakeColorRef(255, 255, 255);

bool IsLight(COLORREF color) { return RedOf(color) >= 0xC0 && GreenOf(color) >= 0xC0 && BlueOf(color) >= 0xC0; }

// A 100 x 100 pie: disc (0, 0, 100, 100), centre (50, 50), radius 50.
class PieChartTest : public ::testing::Test {
 protected:
  PieChartTest() { pie.resize(100, 100); }

  COLORREF Polar(const QImage& image, double degrees, double radius) const {
    return ColorAtPolar(image, 50.0, 50.0, degrees, radius);
  }
  void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(x, y), pie.mapToGlobal(QPointF(x, y)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&pie, &event);
  }
  void Drag(int fromX, int fromY, int toX, int toY) {
    Mouse(QEvent::MouseButtonPress, fromX, fromY, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, toX, toY, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, toX, toY, Qt::LeftButton, Qt::NoButton);
  }

  CPieChartCtrl pie;
};

TEST_F(PieChartTest, StartsAsTheEmptyBlueDiscWithArial13Labels) {
  EXPECT_EQ(pie.StartAngle(), 0);
  EXPECT_EQ(pie.BaseColor(), kBlue);
  EXPECT_EQ(pie.LineColor(), kBlack);
  EXPECT_FALSE(pie.IsDragging());
  EXPECT_TRUE(pie.Slices().empty());
  EXPECT_EQ(pie.LabelFont().family(), "Arial");
  EXPECT_LE(QFontMetrics(pie.LabelFont()).height(), 13);
  EXPECT_GE(QFontMetrics(pie.LabelFont()).height(), 11);
}

TEST_F(PieChartTest, DiscSitsWhereTheLayoutPutsItWithItsOutline) {
  struct Case {
    int width, height;
    QPoint outside, inside;
  };
  const Case cases[] = {
      {200, 100, {20, 50}, {100, 50}},   // wide: disc centred horizontally
      {100, 160, {50, 30}, {50, 110}},   // tall: disc at the bottom
  };
  for (const Case& c : cases) {
    pie.resize(c.width, c.height);
    const QImage image = Picture(pie);
    const COLORREF face = ToColorRef(pie.palette().color(QPalette::Button));
    EXPECT_EQ(ColorAt(image, 1, 1), face) << c.width << "x" << c.height;
    EXPECT_EQ(ColorAt(image, c.outside.x(), c.outside.y()), face) << c.width << "x" << c.height;
    EXPECT_EQ(ColorAt(image, c.inside.x(), c.inside.y()), kBlue) << c.width << "x" << c.height;
    // Walking down the disc's middle column, the first pixel that is not the
    // background is the black outline, and just inside it the disc is blue.
    const int column = pie.PieRect().left + pie.PieRect().Width() / 2;
    int y = 0;
    while (y < image.height() && ColorAt(image, column, y) == face) ++y;
    ASSERT_LT(y + 3, image.height());
    EXPECT_EQ(ColorAt(image, column, y), kBlack) << c.width << "x" << c.height;
    EXPECT_EQ(ColorAt(image, column, y + 3), kBlue) << c.width << "x" << c.height;
  }
}

TEST_F(PieChartTest, QuarterSliceFillsItsWedgeAndLeavesTheRestBlue) {
  ASSERT_TRUE(pie.AddSlice(kRed, kWhite, 90));
  const QImage image = Picture(pie);
  for (double degrees : {10.0, 45.0, 80.0}) EXPECT_EQ(Polar(image, degrees, 45), kRed) << degrees;
  for (double degrees : {100.0, 180.0, 270.0, 350.0}) EXPECT_EQ(Polar(image, degrees, 45), kBlue) << degrees;
  // Radius lines at 0 degrees (straight up) and at 90, which ends on (100, 49).
  EXPECT_EQ(ColorAt(image, 50, 25), kBlack);
  EXPECT_TRUE(ColorAt(image, 75, 49) == kBlack || ColorAt(image, 75, 50) == kBlack);
  // "25%" in white around six tenths of the radius in the middle of the slice.
  const QPoint label(50 + 21, 50 - 21);
  EXPECT_GT(CountPixels(image, QRect(label - QPoint(12, 7), QSize(24, 14)), IsLight), 0);
}

TEST_F(PieChartTest, SlicesThatEndWhereTheyStartFillNothing) {
  // 0 degrees: only the radius line. A full turn: the same, plus "100%"
  // opposite the start.
  for (int sweep : {0, 360}) {
    pie.RemoveAllSlices();
    ASSERT_TRUE(pie.AddSlice(kRed, kWhite, sweep));
    const QImage image = Picture(pie);
    for (double degrees : {45.0, 135.0, 225.0, 315.0}) EXPECT_EQ(Polar(image, degrees, 40), kBlue) << sweep;
    EXPECT_EQ(ColorAt(image, 50, 25), kBlack) << sweep;
    const int oppositeLight = CountPixels(image, QRect(36, 72, 28, 16), IsLight);
    const int nearStartLight = CountPixels(image, QRect(36, 12, 28, 16), IsLight);
    EXPECT_EQ(oppositeLight > 0, sweep == 360) << sweep;
    EXPECT_EQ(nearStartLight, 0) << sweep;
  }
}

TEST_F(PieChartTest, SlicesFollowEachOtherClockwise) {
  ASSERT_TRUE(pie.AddSlice(kRed, kBlack, 90));
  ASSERT_TRUE(pie.AddSlice(MakeColorRef(0, 255, 0), kBlack, 180));
  const QImage image = Picture(pie);
  EXPECT_EQ(Polar(image, 20, 40), kRed);
  EXPECT_EQ(Polar(image, 160, 42), MakeColorRef(0, 255, 0));
  EXPECT_EQ(Polar(image, 300, 40), kBlue);
}

TEST_F(PieChartTest, DraggingTurnsThePieByTheHorizontalDistance) {
  ASSERT_TRUE(pie.AddSlice(kRed, kBlack, 90));
  EXPECT_EQ(Polar(Picture(pie), 15, 40), kRed);
  EXPECT_EQ(Polar(Picture(pie), 105, 40), kBlue);

  Drag(10, 50, 40, 50);
  EXPECT_EQ(pie.StartAngle(), 30);
  EXPECT_FALSE(pie.IsDragging());
  QImage image = Picture(pie);
  EXPECT_EQ(Polar(image, 15, 40), kBlue);
  EXPECT_EQ(Polar(image, 105, 40), kRed);

  Drag(40, 50, 10, 50);  // back again
  EXPECT_EQ(pie.StartAngle(), 0);
  image = Picture(pie);
  EXPECT_EQ(Polar(image, 15, 40), kRed);
  EXPECT_EQ(Polar(image, 105, 40), kBlue);

  Drag(40, 10, 40, 90);  // vertical only
  EXPECT_EQ(pie.StartAngle(), 0);
}

TEST_F(PieChartTest, MovingWithoutALeftButtonPressTurnsNothing) {
  Mouse(QEvent::MouseMove, 10, 50, Qt::NoButton, Qt::NoButton);
  Mouse(QEvent::MouseMove, 60, 50, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(pie.StartAngle(), 0);

  Mouse(QEvent::MouseButtonPress, 10, 50, Qt::RightButton, Qt::RightButton);
  Mouse(QEvent::MouseMove, 60, 50, Qt::NoButton, Qt::RightButton);
  EXPECT_EQ(pie.StartAngle(), 0);
  Mouse(QEvent::MouseButtonRelease, 60, 50, Qt::RightButton, Qt::NoButton);

  // A drag in progress goes on through several moves and ends with the release.
  Mouse(QEvent::MouseButtonPress, 10, 50, Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(pie.IsDragging());
  Mouse(QEvent::MouseMove, 20, 50, Qt::NoButton, Qt::LeftButton);
  Mouse(QEvent::MouseMove, 15, 50, Qt::NoButton, Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, 15, 50, Qt::LeftButton, Qt::NoButton);
  Mouse(QEvent::MouseMove, 90, 50, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(pie.StartAngle(), 5);
}

TEST_F(PieChartTest, ADragRepaintsOnlyThePieAndASliceTheWholeControl) {
  pie.resize(200, 100);
  pie.show();
  for (int i = 0; i < 100 && !(pie.windowHandle() && pie.windowHandle()->isExposed()); ++i) {
    QApplication::processEvents();
  }
  QApplication::processEvents();
  ASSERT_EQ(pie.PieRect(), (ClientRect{50, 0, 150, 100}));

  int painted = pie.PaintCount();
  Drag(60, 50, 70, 50);
  QApplication::processEvents();
  EXPECT_EQ(pie.PaintCount(), painted + 1);
  EXPECT_EQ(pie.LastPaintRect(), QRect(50, 0, 100, 100));

  painted = pie.PaintCount();
  pie.RemoveAllSlices();
  QApplication::processEvents();
  EXPECT_EQ(pie.PaintCount(), painted);  // removing alone repaints nothing
  ASSERT_TRUE(pie.AddSlice(kRed, kBlack, 90));
  QApplication::processEvents();
  EXPECT_EQ(pie.PaintCount(), painted + 1);
  EXPECT_EQ(pie.LastPaintRect(), QRect(0, 0, 200, 100));
}

TEST_F(PieChartTest, HugeSweepsAndAnglesDrawWithoutOverflow) {
  ASSERT_TRUE(pie.AddSlice(kRed, kBlack, INT_MAX));
  ASSERT_TRUE(pie.AddSlice(kRed, kBlack, INT_MAX));
  ASSERT_TRUE(pie.AddSlice(kRed, kBlack, INT_MIN));
  const QImage image = Picture(pie);
  EXPECT_FALSE(image.isNull());
  pie.RemoveAllSlices();
  EXPECT_TRUE(pie.Slices().empty());
}

}  // namespace
