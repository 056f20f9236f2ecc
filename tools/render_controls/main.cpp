// render_controls [output folder]
//
// Draws the pie chart with one 45-degree red slice and the progress bar at
// 37 %, as the repair dialog would show them, into pie_chart.png and
// progress_bar.png. Runs headless unless a Qt platform is chosen.

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QPixmap>

#include <cstdio>

#include "app/controls/colorref.h"
#include "app/controls/percent_progress_ctrl.h"
#include "app/controls/pie_chart_ctrl.h"

namespace {

constexpr int kPieSide = 160;
constexpr int kBarWidth = 200;
constexpr int kBarHeight = 20;

bool Save(QWidget& widget, const QString& path) {
  if (!widget.grab().save(path, "PNG")) {
    std::fprintf(stderr, "render_controls: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
  if (!folder.exists()) {
    std::fprintf(stderr, "render_controls: no folder %s\n", qPrintable(folder.path()));
    return 1;
  }

  CPieChartCtrl pie;
  pie.resize(kPieSide, kPieSide);
  pie.AddSlice(MakeColorRef(255, 0, 0), MakeColorRef(0, 0, 0), 45);
  std::printf("label font: %s, cell height %d\n", qPrintable(QFontInfo(pie.LabelFont()).family()),
              QFontMetrics(pie.LabelFont()).height());

  CPercentProgressCtrl bar;
  bar.resize(kBarWidth, kBarHeight);
  bar.SetPos(37);

  const bool saved = Save(pie, folder.filePath(QStringLiteral("pie_chart.png"))) &&
                     Save(bar, folder.filePath(QStringLiteral("progress_bar.png")));
  return saved ? 0 : 1;
}
