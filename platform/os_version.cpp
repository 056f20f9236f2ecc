#include "platform/os_version.h"

namespace qv {

bool GetVersionEx(OsVersionInfoEx* /*info*/) { return false; }

}  // namespace qv
