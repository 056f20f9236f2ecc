#include "app/console/replug_dlg.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>

#include "app/console/dialog_template.h"
#include "app/console/string_table.h"

CReplugDlg::CReplugDlg(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setModal(false);
  // The dialog frame the template asks for, drawn around the client area.
  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  frame->setLineWidth(2);
  const auto controls = BuildDialogControls(*this, ReplugDialogTemplate());
  frame->setGeometry(rect());
  frame->lower();
  auto found = controls.find(kReplugTextId);
  if (found != controls.end()) m_text = qobject_cast<QLabel*>(found->second);
  OnInitDialog();
  // Centred on the screen, where a dialog without owner appears.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

void CReplugDlg::OnInitDialog() {
  if (m_text) m_text->setText(QString::fromStdString(DialogString(kIdsReplugDevice)));
}

void CReplugDlg::ShowTopmost() {
  show();
  raise();
}
