// Command line of quorvin-cli.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sortlib/interface/kv_config.h"

struct CliOptions {
  std::string command;              // list, info, revert, repair
  std::vector<char> drives;         // upper-case letters
  bool yes = false;
  bool json = false;
  bool help = false;
  bool version = false;
  _KVConfig config{};               // the program's configuration, then the options
  std::string mapPath;              // --map: picture of the blocks after the revert
  // Registry values for this run only.
  std::optional<uint32_t> writeLog, testStartBlock, testBlockCount, skipCannotMarkBad;
};

// Exit codes (also in the help text).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoDevice = 3;
inline constexpr int kExitMissingFiles = 4;
inline constexpr int kExitDeclined = 5;
inline constexpr int kExitPrivilege = 6;
inline constexpr int kExitInterrupted = 130;

// Parses argv; false with a message in *error on bad input.
bool ParseCliOptions(int argc, char** argv, CliOptions* options, std::string* error);
std::string CliHelpText();
