// Entry of the revert engine: one call tests one drive from beginning to end.
#pragma once
#include <cstdint>

struct SortDevice;

namespace sievex {

// Returns 0 when the controller is not a tested model or the session cannot
// be allocated; otherwise runs the test and returns 1 whatever the outcome
// (the outcome is the device's m_bState).
int RunRevert(SortDevice* device, uint8_t port, void (*callback)(void*));

}  // namespace sievex
