#include "app/controls/window_class_registry.h"

#include <QPalette>

#include <algorithm>
#include <cctype>

#include "app/controls/colorref_qcolor.h"
#include "app/controls/percent_progress_ctrl.h"

namespace {

void ApplyAttributes(const WindowClass& windowClass, QWidget& widget) {
  widget.setCursor(windowClass.cursor);
  if (windowClass.background) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, ToQColor(*windowClass.background));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
  }
}

}  // namespace

bool WindowClassRegistry::CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

WindowClassRegistry& WindowClassRegistry::Instance() {
  static WindowClassRegistry registry;
  return registry;
}

WindowClassRegistry::WindowClassRegistry() {
  Register(WindowClass{std::string(kProgressClassName),
                       [](QWidget* parent) -> QWidget* { return new CPercentProgressCtrl(parent); },
                       Qt::ArrowCursor, std::nullopt});
}

bool WindowClassRegistry::Register(WindowClass windowClass) {
  if (windowClass.name.empty() || !windowClass.create) return false;
  if (m_classes.find(windowClass.name) != m_classes.end()) return false;
  std::string name = windowClass.name;
  m_classes.emplace(std::move(name), std::move(windowClass));
  return true;
}

const WindowClass* WindowClassRegistry::Find(std::string_view name) const {
  const auto found = m_classes.find(name);
  return found == m_classes.end() ? nullptr : &found->second;
}

QWidget* WindowClassRegistry::Create(std::string_view name, QWidget* parent, const QString& windowText) const {
  const WindowClass* windowClass = Find(name);
  if (!windowClass) return nullptr;
  QWidget* widget = windowClass->create(parent);
  if (!widget) return nullptr;
  ApplyAttributes(*windowClass, *widget);
  if (!windowText.isEmpty()) widget->setWindowTitle(windowText);
  return widget;
}

bool WindowClassRegistry::ApplyClass(std::string_view name, QWidget& widget) const {
  const WindowClass* windowClass = Find(name);
  if (!windowClass) return false;
  ApplyAttributes(*windowClass, widget);
  return true;
}
