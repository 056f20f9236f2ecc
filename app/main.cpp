// QuorvinPlus: every start passes through CRepairApp::InitInstance, which
// relocates the program into its working folder and there runs the repair
// dialog.
#include <cstdint>
#include <cstdio>

#include "app/startup/repair_app.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/storage.h"

namespace {

// Stands in for the repair dialog until it exists: shows where the copy
// runs and which drives it sees, then closes.
void RunRepairDialogStandIn() {
  std::printf("Working folder: %s\n", qv::GetCurrentDirectory().c_str());
  std::printf("Drives:");
  uint32_t mask = qv::GetLogicalDrives();
  for (int n = 0; n < 26; ++n)
    if (mask & (1u << n)) std::printf(" %c:", 'A' + n);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  qv::SetCommandLine(argc, argv);
  CRepairApp app(DefaultStartupServices(RunRepairDialogStandIn));
  app.InitInstance();
  return 0;
}
