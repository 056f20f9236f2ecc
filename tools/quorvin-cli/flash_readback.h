// Reads the block map back from a drive after a revert, with the sort
// engine's block commands: the controller still runs the engine code the
// revert loaded, so spare areas and pages can be read as the blank check
// reads them. Nothing is erased or written.
#pragma once
#include <functional>
#include <string>

#include "platform/storage.h"
#include "sortlib/interface/kv_config.h"
#include "tools/quorvin-cli/block_map.h"

// The geometry the sort library reported for the drive, as the survey takes
// it: pages per block from sectors, and the block ranges the flash lacks.
dravik::DeviceIdentity GeometryOf(const _USBDevceInfo& info);

// Called now and then with the blocks read and the blocks to read.
using ReadbackProgress = std::function<void(uint64_t done, uint64_t total)>;

// False, with the reason, when a command fails or the geometry is unusable.
bool ReadBlockMap(qv::Device& volume, const _USBDevceInfo& info, const ReadbackProgress& progress,
                  BlockMap* map, std::string* why);
