// --map: after a drive's revert, the picture of its blocks as the flash
// now records them.
#pragma once
#include <cstddef>
#include <string>

#include "app/console/sievex_import.h"

// The file for one drive: the path itself when one drive runs, else the
// drive letter joined before the extension (map.png -> map-E.png).
std::string MapPathFor(const std::string& path, char letter, size_t driveCount);

// Before a long run: false, with the reason, when the map could not be
// written afterwards (no such folder, no write access, a folder named so).
bool CanWriteMap(const std::string& path, std::string* why);

// Reads the blocks back from the drive that `object` (a DLLSort that has
// run its revert) is bound to and writes the picture. `summary` names the
// run for the picture's title.
bool WriteDriveMap(SievexImport& sievex, void* object, char letter, const std::string& summary,
                   const std::string& path, bool terminal, std::string* why);
