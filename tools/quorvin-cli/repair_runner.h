// The repair command: the revert, the re-plug a KR423 with firmware needs,
// then the device library's repair, as the program's dialog runs them.
#pragma once
#include "app/console/sievex_import.h"
#include "tools/quorvin-cli/cli_options.h"

int RunRepair(SievexImport& sievex, const CliOptions& options);
