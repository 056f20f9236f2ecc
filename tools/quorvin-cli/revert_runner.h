// Runs the revert on one or more drives, one DLLSort and one thread each,
// with live progress; Ctrl-C stops every run through StopSort.
#pragma once
#include <vector>

#include "app/console/sievex_import.h"
#include "tools/quorvin-cli/cli_options.h"

struct RevertOutcome {
  char letter = 0;
  int result = 0;          // StartSort's result
  bool ran = false;        // the callback was called at least once
  bool mapFailed = false;  // --map was asked for and no map was written
  uint32_t state = 0, badBlocks = 0, percent = 0, scannedBlocks = 0;
  bool Succeeded() const;
};

// Runs the revert on every drive of the options; fills outcomes in order.
// Returns an exit code.
int RunReverts(SievexImport& sievex, const CliOptions& options, std::vector<RevertOutcome>* outcomes);

// Asks for "All Data will be deleted. Continue ?" unless --yes; false when
// the user declines or no terminal can answer.
bool ConfirmDataLoss(const CliOptions& options);
