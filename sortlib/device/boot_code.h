// Boot code selection and loading.
#pragma once
#include <string>

struct SortDevice;

namespace sievex {

// Discovery load: chooses the image by controller, tag revision and flash
// device code, writes its 4 KiB slice at 0x5000 into controller RAM.
int LoadBootCode(SortDevice* device);

// The discovery image for the device as a path relative to the executable's
// folder (for example "\boot\425\fw2.BIN"), empty when there is none; a
// KR425 gets m_dwRevisionA1 set from its tag.
std::string SelectDiscoveryImage(SortDevice* device);

// The engine image for the device's controller as a path relative to the
// executable's folder (for example "\Boot\425\k425s.bin"), empty when there
// is none; sets m_dwSendFWInfo and may clear the stored configuration's
// m_dwAltPages.
std::string SelectFirmwareImage(SortDevice* device);

}  // namespace sievex
