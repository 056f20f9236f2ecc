#include "app/console/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace {

int ShowOnThisThread(const qv::MessageBoxCall& call) {
  QString text = QString::fromStdString(call.text);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box;
  box.setWindowTitle(QString::fromStdString(call.caption));
  box.setText(text);
  box.setTextFormat(Qt::PlainText);
  if ((call.flags & 0xF0) == qv::kMbIconWarning) box.setIcon(QMessageBox::Warning);
  const bool okCancel = (call.flags & qv::kMbButtonMask) == qv::kMbOkCancel;
  box.setStandardButtons(okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  if (okCancel) box.setEscapeButton(QMessageBox::Cancel);
  box.setWindowModality(Qt::ApplicationModal);
  const int pressed = box.exec();
  if (okCancel) return pressed == QMessageBox::Ok ? qv::kIdOk : qv::kIdCancel;
  return qv::kIdOk;
}

}  // namespace

int QtMessageBox(const qv::MessageBoxCall& call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return qv::ConsoleMessageBox(call);
  if (QThread::currentThread() == app->thread()) return ShowOnThisThread(call);
  int result = qv::kIdOk;
  QMetaObject::invokeMethod(app, [&] { result = ShowOnThisThread(call); }, Qt::BlockingQueuedConnection);
  return result;
}

void InstallQtMessageBoxHandler() { qv::SetMessageBoxHandler(QtMessageBox); }
