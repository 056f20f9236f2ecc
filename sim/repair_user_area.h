// The rebuilt user area as a mass-storage disk: READ CAPACITY(10), READ(10)
// and WRITE(10) over the blocks of a committed map. Logical sector s lies in
// mapped block s / sectors per block, at the same offset inside it.
#pragma once
#include "sim/controller.h"
#include "sim/repair_engine.h"
#include "sim/repair_store.h"

namespace sim {

Outcome UserAreaCommand(const RepairTarget& target, const UserAreaMap& map, const Request& request);

}  // namespace sim
