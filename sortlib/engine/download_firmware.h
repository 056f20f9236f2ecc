// Loads the engine boot image into the controller at the start of a run.
#pragma once
#include <string>

#include "sortlib/engine/revert_session.h"

namespace sievex {

// path: full path of the image file. Writes its 4 KiB slice at 0x5000 into
// controller memory 0xF000..0xFFFF, lets the session take its test range,
// and for a KR425 sends the flash parameter block. 1 on success, else 0.
int DownloadFirmware(RevertSession* s, const std::string& path);

// Reads TestStartBlock and TestBlockCount and sets the block range of the
// run, and the session's copies of the block geometry.
void TakeTestRange(RevertSession* s);

}  // namespace sievex
