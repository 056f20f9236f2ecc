// quorvin-cli: the revert and the repair of KR42x drives from a terminal.
#include <cstdio>

#include "app/console/sievex_import.h"
#include "platform/module.h"
#include "tools/quorvin-cli/cli_options.h"
#include "tools/quorvin-cli/drive_listing.h"
#include "tools/quorvin-cli/repair_runner.h"
#include "tools/quorvin-cli/revert_runner.h"

#ifndef QV_VERSION
#define QV_VERSION "0.1.0"
#endif

int main(int argc, char** argv) {
  qv::SetCommandLine(argc, argv);
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "quorvin-cli: %s\nTry 'quorvin-cli --help'.\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(CliHelpText().c_str(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::printf("quorvin-cli %s\n", QV_VERSION);
    return kExitOk;
  }
  SievexImport sievex;
  if (!sievex.Bind()) {
    std::fprintf(stderr, "quorvin-cli: %s\n", sievex.Error().c_str());
    return kExitMissingFiles;
  }
  if (options.command == "list") return ListDrives(sievex);
  if (options.command == "info") return ShowDriveInfo(sievex, options.drives[0], options.json);
  if (!ConfirmDataLoss(options)) return kExitDeclined;
  std::vector<RevertOutcome> outcomes;
  if (options.command == "revert") return RunReverts(sievex, options, &outcomes);
  return RunRepair(sievex, options);
}
