#include "sim/device_library_commands.h"

namespace sim {

Outcome DeviceLibraryCommand(const Request&, DeviceLibraryContext&) {
  return {Outcome::kRefused, 0, "unknown operation code"};
}

}  // namespace sim
