#include "app/console/run_repair_dialog.h"

#include <QApplication>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/console/qt_message_box.h"
#include "app/console/repair_dlg.h"
#include "platform/module.h"

int RunRepairDialog() {
  std::unique_ptr<QApplication> app;
  if (!QCoreApplication::instance()) {
    // Qt keeps references to the arguments for the application's lifetime.
    static std::string name = qv::CommandLineArg0().empty() ? kApplicationName : qv::CommandLineArg0();
    static char* argv[] = {name.data(), nullptr};
    static int argc = 1;
    app = std::make_unique<QApplication>(argc, argv);
  }
  // QUORVIN_MESSAGE_BOXES=console keeps the boxes on standard error
  // (answered OK), for unattended runs of the program.
  const char* boxes = std::getenv("QUORVIN_MESSAGE_BOXES");
  if (!boxes || std::string(boxes) != "console") InstallQtMessageBoxHandler();
  int result = 0;
  {
    CRepairDlg dialog;
    result = dialog.DoModal();
  }
  qv::SetMessageBoxHandler(nullptr);
  return result;
}
