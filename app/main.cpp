// QuorvinPlus: every start passes through CRepairApp::InitInstance, which
// relocates the program into its working folder and there runs the repair
// dialog.
#include "app/console/run_repair_dialog.h"
#include "app/startup/repair_app.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/trace.h"

int main(int argc, char** argv) {
  qv::SetCommandLine(argc, argv);
  CRepairApp app(DefaultStartupServices([] {
    qv::TraceF("Working folder: %s", qv::GetCurrentDirectory().c_str());
    RunRepairDialog();
  }));
  app.InitInstance();
  return 0;
}
