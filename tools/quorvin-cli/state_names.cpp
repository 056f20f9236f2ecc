#include "tools/quorvin-cli/state_names.h"

#include "app/console/repair_context.h"

std::string StateName(uint32_t state) { return StatusName(RevertStatusNames(), state); }
