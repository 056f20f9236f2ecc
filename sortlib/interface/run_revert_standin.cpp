// Until the revert engine is linked in, the library answers every run as
// an unsupported controller. The engine's own definition replaces this one.
#include "sortlib/engine/run_revert.h"

namespace sievex {

__attribute__((weak)) int RunRevert(SortDevice*, uint8_t, void (*)(void*)) { return 0; }

}  // namespace sievex
