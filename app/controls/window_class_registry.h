#pragma once

// Window classes by name, as the dialog template names its controls: each
// class knows how to make its widget and the cursor and background that
// widgets of the class get. The dialog builder creates template controls
// through it; a control object that the dialog already holds takes on the
// class of its template control through ApplyClass.

#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "app/controls/colorref.h"

struct WindowClass {
  std::string name;
  std::function<QWidget*(QWidget* parent)> create;
  Qt::CursorShape cursor = Qt::ArrowCursor;
  // The brush that default erasing fills with; none leaves the widget's own.
  std::optional<COLORREF> background;
};

// Class name of the dialog's progress bar, always present like the system's
// common controls.
inline constexpr std::string_view kProgressClassName = "msctls_progress32";

class WindowClassRegistry {
 public:
  static WindowClassRegistry& Instance();

  // Adds a class; false when a class of that name exists already (names
  // compare without regard to ASCII case) or the class cannot create widgets.
  bool Register(WindowClass windowClass);
  const WindowClass* Find(std::string_view name) const;

  // A new widget of the named class under `parent` with the class's cursor
  // and background and `windowText` (the template's caption) as its window
  // text; nullptr for an unknown class. The caption is set before any of the
  // control's own handling sees it, so a progress bar keeps showing its
  // percentage.
  QWidget* Create(std::string_view name, QWidget* parent, const QString& windowText = {}) const;

  // Gives an existing widget the cursor and background of the named class;
  // false for an unknown class.
  bool ApplyClass(std::string_view name, QWidget& widget) const;

 private:
  WindowClassRegistry();

  struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  std::map<std::string, WindowClass, CaseInsensitiveLess> m_classes;
};
