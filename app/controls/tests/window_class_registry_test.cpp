// Template class names to widgets: what the dialog builder relies on.

#include <gtest/gtest.h>

#include <QPalette>

#include <string>


#include "app/controls/percent_progress_ctrl.h"
#include "app/controls/pie_chart_ctrl.h"
#include "app/controls/window_class_registry.h"

namespace {

TEST(WindowClassRegistry, CreatesTheDialogsControlsByClassName) {
  WindowClassRegistry& registry = WindowClassRegistry::Instance();
  // The pie's class exists once a pie has been constructed (as the dialog's
  // member is, before its template controls), and only once.
  { CPieChartCtrl first; }
  EXPECT_FALSE(CPieChartCtrl::RegisterWindowClass());

  QWidget parent;
  for (const char* name : {"PIE_CHART_CTRL", "pie_chart_ctrl"}) {
    QWidget* widget = registry.Create(name, &parent);
    ASSERT_NE(dynamic_cast<CPieChartCtrl*>(widget), nullptr) << name;
    EXPECT_EQ(widget->parentWidget(), &parent);
    EXPECT_EQ(widget->cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(widget->palette().color(QPalette::Window), QColor(192, 192, 192));
  }
  // The template's caption becomes window text, and the bar still shows
  // its percentage rather than the caption.
  auto* progress = dynamic_cast<CPercentProgressCtrl*>(registry.Create("msctls_progress32", &parent, "Progress1"));
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->windowTitle(), "Progress1");
  EXPECT_TRUE(progress->GetText().isEmpty());
  EXPECT_EQ(registry.Create("NO_SUCH_CLASS", &parent), nullptr);
}

TEST(WindowClassRegistry, AppliesAClassToAnObjectTheDialogAlreadyHolds) {
  WindowClassRegistry& registry = WindowClassRegistry::Instance();
  CPieChartCtrl pie;
  EXPECT_NE(pie.cursor().shape(), Qt::CrossCursor);
  EXPECT_TRUE(registry.ApplyClass(kPieChartClassName, pie));
  EXPECT_EQ(pie.cursor().shape(), Qt::CrossCursor);
  EXPECT_FALSE(registry.ApplyClass("NO_SUCH_CLASS", pie));
}

TEST(WindowClassRegistry, RefusesDuplicateAndUnusableClasses) {
  WindowClassRegistry& registry = WindowClassRegistry::Instance();
  const auto make = [](QWidget* parent) { return new QWidget(parent); };
  EXPECT_FALSE(registry.Register(WindowClass{"MSCTLS_PROGRESS32", make, Qt::ArrowCursor, std::nullopt}));
  EXPECT_FALSE(registry.Register(WindowClass{"", make, Qt::ArrowCursor, std::nullopt}));
  EXPECT_FALSE(registry.Register(WindowClass{"NO_FACTORY", nullptr, Qt::ArrowCursor, std::nullopt}));
  // The registry lives for the process: a fresh name for every repetition.
  static int repetition = 0;
  const std::string name = "TEST_PLAIN_CLASS_" + std::to_string(++repetition);
  EXPECT_TRUE(registry.Register(WindowClass{name, make, Qt::ArrowCursor, std::nullopt}));
  EXPECT_FALSE(registry.Register(WindowClass{name, make, Qt::ArrowCursor, std::nullopt}));
  EXPECT_NE(registry.Find("test_plain_class_" + std::to_string(repetition)), nullptr);
}

}  // namespace
