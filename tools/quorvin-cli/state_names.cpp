#include "tools/quorvin-cli/state_names.h"

std::string StateName(uint32_t state) {
  static const char* const kNames[] = {
      "UserBreak",    "Can't Mark Bad", "Finish",       "Writing data",
      "Read & Verify", "Mark Bad Block", "Blank Checking", "Erase first",
      "Flash Error",  "Unknown Error",  "Ready",        "Can not erase"};
  if (state < sizeof kNames / sizeof kNames[0]) return kNames[state];
  return "State " + std::to_string(state);
}
