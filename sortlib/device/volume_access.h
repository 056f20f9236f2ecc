// Opening the drive's volume and the two storage queries that discovery
// asks of it. Every caller opens, uses and closes; nothing stays open.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/storage.h"

struct SortDevice;

namespace sievex {

// "\\.\" followed by the record's drive name ("\\.\E:").
std::string VolumePath(const SortDevice* device);

// Opens the record's volume for reading and writing; 1 with *volume set,
// or 0 (also for an empty drive name).
int OpenVolume(const SortDevice* device, std::unique_ptr<qv::Device>* volume);

// The storage bus of the record's volume (USB is qv::kBusUsb).
int QueryBusType(const SortDevice* device, uint32_t* busType);

// The disk number of a volume or disk device path, opened for reading.
int GetDiskNumber(std::string_view path, uint32_t* number);

}  // namespace sievex
