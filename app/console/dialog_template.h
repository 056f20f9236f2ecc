// The program's dialog templates as data (102: the repair dialog, 106: the
// re-plug prompt) and their construction as Qt widgets. Rectangles are in
// dialog units and become pixels through the dialog font's base units, as
// the system converts them: a horizontal unit is a quarter of the average
// character width, a vertical unit an eighth of the character height.
#pragma once
#include <QFont>
#include <QRect>
#include <QWidget>

#include <map>
#include <span>
#include <string_view>

enum class ControlKind {
  kDefPushButton,
  kPushButton,
  kCustom,        // created by window class name
  kGroupBox,
  kAutoRadioButton,
  kStaticText,    // left-aligned, word-wrapped
  kCenteredText,  // centred
  kAutoCheckBox,
  kStaticBitmap,
};

struct DialogUnitRect {
  int x, y, width, height;
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  std::string_view windowClass;  // kCustom only
  std::string_view text;
  bool visible;
  DialogUnitRect rect;
};

struct DialogTemplate {
  int id;
  int width, height;          // dialog units
  std::string_view caption;   // empty: no caption bar
  bool systemMenu;
  int fontPoints;
  std::string_view fontFace;  // used only when the system has it
  std::span<const ControlTemplate> controls;
};

inline constexpr int kRepairDialogTemplateId = 102;
inline constexpr int kReplugDialogTemplateId = 106;

const DialogTemplate& RepairDialogTemplate();
const DialogTemplate& ReplugDialogTemplate();
const ControlTemplate* FindControl(const DialogTemplate& dialog, int id);

// The template's font: its face when the system has that family, else the
// application's default family, at the template's point size.
QFont DialogFont(const DialogTemplate& dialog);

// Pixels per 4 horizontal and per 8 vertical dialog units of a font.
struct DialogBaseUnits {
  int x;  // average character width
  int y;  // character height
};
DialogBaseUnits BaseUnitsOf(const QFont& font);

// MulDiv-style rounding, as the system maps dialog units.
QRect DialogUnitsToPixels(const DialogUnitRect& rect, const DialogBaseUnits& units);
QSize DialogSizeToPixels(int width, int height, const DialogBaseUnits& units);

// Creates the template's controls under `dialog` in template order, sets the
// dialog's font and client size, and returns the controls by id. A custom
// control whose widget the caller already owns (`attach`) takes the
// template's place, geometry and visibility instead of a new widget; other
// custom controls come from the window class registry. Texts are the
// template's; the caller sets its own texts afterwards.
std::map<int, QWidget*> BuildDialogControls(QWidget& dialog, const DialogTemplate& dialogTemplate,
                                            const std::map<int, QWidget*>& attach = {});
