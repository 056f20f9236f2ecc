// Controller and flash identification: the INQUIRY tag, the controller
// probe, the flash configuration, the flash database flash8k.ini and the
// controller parameter block FWInfo.
#pragma once
#include <cstdint>

#include "sortlib/device/vendor_commands.h"

struct SortDevice;
struct _KVConfig;

namespace sievex {

int ReadInquiry(SortDevice* device, Handle openVolume);  // closes the handle
int ProbeController(SortDevice* device);
int ReadFlashGeometry(SortDevice* device);
int LookupFlashIni(SortDevice* device);
uint8_t LookupRedundantSize(const SortDevice* device);
// Fills the 512-byte big-endian parameter block.
void BuildFWInfo(const SortDevice* device, const _KVConfig* config, uint8_t out[512]);

}  // namespace sievex
