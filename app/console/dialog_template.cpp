#include "app/console/dialog_template.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

#include "app/controls/window_class_registry.h"

namespace {

using K = ControlKind;

// Dialog 102: 179 x 129 units. Control 1001 runs from x 3 to 11 units
// before the right edge: 179 - 11 - 3 = 165 wide.
constexpr ControlTemplate kRepairControls[] = {
    {1, K::kDefPushButton, {}, "Repair", true, {21, 110, 50, 14}},
    {2, K::kPushButton, {}, "Close", true, {95, 110, 50, 14}},
    {1000, K::kCustom, "PIE_CHART_CTRL", "Pie Chart", false, {77, 114, 99, 15}},
    {1001, K::kCustom, "msctls_progress32", "Progress1", true, {3, 94, 165, 11}},
    {1002, K::kGroupBox, {}, "Disk Information", true, {20, 5, 133, 56}},
    {1003, K::kGroupBox, {}, "Repair Option", false, {108, 57, 68, 72}},
    {1004, K::kAutoRadioButton, {}, "Fast", false, {119, 75, 34, 11}},
    {1005, K::kAutoRadioButton, {}, "Complete", false, {109, 118, 67, 11}},
    {1006, K::kStaticText, {}, "Bad Blocks : 0.00 %", false, {12, 114, 73, 8}},
    {1007, K::kStaticText, {}, "", true, {29, 17, 116, 34}},
    {1008, K::kAutoCheckBox, {}, "Update firmware", false, {55, 112, 57, 10}},
    {1009, K::kStaticText, {}, "", false, {18, 118, 91, 11}},
    {1010, K::kStaticBitmap, {}, "", false, {3, 114, 5, 5}},
    {1011, K::kStaticText, {}, "", true, {9, 65, 151, 24}},
};

// Dialog 106: 187 x 42 units, no caption. Control 1012 runs from x 14 to
// 13 units before the right edge: 187 - 13 - 14 = 160 wide.
constexpr ControlTemplate kReplugControls[] = {
    {1012, K::kCenteredText, {}, "", true, {14, 15, 160, 11}},
};

constexpr DialogTemplate kRepairDialog{
    kRepairDialogTemplateId, 179, 129, "Quorvin", true, 9, "????", kRepairControls};
constexpr DialogTemplate kReplugDialog{kReplugDialogTemplateId, 187, 42, "", false, 10, "System", kReplugControls};

int MulDiv(int value, int numerator, int denominator) {
  return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

QWidget* CreateControl(QWidget& dialog, const ControlTemplate& control) {
  const QString text = QString::fromUtf8(control.text.data(), static_cast<qsizetype>(control.text.size()));
  switch (control.kind) {
    case K::kDefPushButton: {
      auto* button = new QPushButton(text, &dialog);
      button->setDefault(true);
      button->setAutoDefault(true);
      return button;
    }
    case K::kPushButton: {
      auto* button = new QPushButton(text, &dialog);
      button->setAutoDefault(true);
      return button;
    }
    case K::kCustom:
      return WindowClassRegistry::Instance().Create(control.windowClass, &dialog, text);
    case K::kGroupBox:
      return new QGroupBox(text, &dialog);
    case K::kAutoRadioButton:
      return new QRadioButton(text, &dialog);
    case K::kAutoCheckBox:
      return new QCheckBox(text, &dialog);
    case K::kStaticText:
    case K::kCenteredText: {
      auto* label = new QLabel(text, &dialog);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(control.kind == K::kCenteredText ? Qt::AlignHCenter | Qt::AlignTop
                                                           : Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case K::kStaticBitmap:
      return new QLabel(&dialog);
  }
  return nullptr;
}

}  // namespace

const DialogTemplate& RepairDialogTemplate() { return kRepairDialog; }
const DialogTemplate& ReplugDialogTemplate() { return kReplugDialog; }

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id) {
  for (const ControlTemplate& control : dialog.controls)
    if (control.id == id) return &control;
  return nullptr;
}

QFont DialogFont(const DialogTemplate& dialog) {
  const QString face = QString::fromUtf8(dialog.fontFace.data(), static_cast<qsizetype>(dialog.fontFace.size()));
  QFont font;
  if (!face.isEmpty() && QFontDatabase::hasFamily(face)) font.setFamily(face);
  font.setPointSize(dialog.fontPoints);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  // The average width of the 52 Latin letters, rounded, as the system
  // measures a dialog font.
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const DialogUnitRect& rect, const DialogBaseUnits& units) {
  const int left = MulDiv(rect.x, units.x, 4);
  const int top = MulDiv(rect.y, units.y, 8);
  const int right = MulDiv(rect.x + rect.width, units.x, 4);
  const int bottom = MulDiv(rect.y + rect.height, units.y, 8);
  return QRect(left, top, right - left, bottom - top);
}

QSize DialogSizeToPixels(int width, int height, const DialogBaseUnits& units) {
  return QSize(MulDiv(width, units.x, 4), MulDiv(height, units.y, 8));
}

std::map<int, QWidget*> BuildDialogControls(QWidget& dialog, const DialogTemplate& dialogTemplate,
                                            const std::map<int, QWidget*>& attach) {
  const QFont font = DialogFont(dialogTemplate);
  dialog.setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  dialog.setFixedSize(DialogSizeToPixels(dialogTemplate.width, dialogTemplate.height, units));
  std::map<int, QWidget*> controls;
  for (const ControlTemplate& control : dialogTemplate.controls) {
    QWidget* widget = nullptr;
    auto own = attach.find(control.id);
    if (own != attach.end() && own->second) {
      widget = own->second;
      widget->setParent(&dialog);
      if (control.kind == K::kCustom) WindowClassRegistry::Instance().ApplyClass(control.windowClass, *widget);
    } else {
      widget = CreateControl(dialog, control);
    }
    if (!widget) continue;
    widget->setObjectName(QStringLiteral("control%1").arg(control.id));
    widget->setGeometry(DialogUnitsToPixels(control.rect, units));
    widget->setVisible(control.visible);
    // Each new sibling lies above the ones before it, in template order.
    widget->raise();
    controls[control.id] = widget;
  }
  return controls;
}
