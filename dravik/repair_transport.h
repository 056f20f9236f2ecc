// The commands this library sends to a drive over the platform's SCSI
// pass-through: INQUIRY and the controller's repair service. A command
// counts as done only when the system delivered it and the drive answered
// with good status. Nothing here opens or closes the drive.
#pragma once
#include <cstdint>
#include <vector>

#include "dravik/device_identity.h"
#include "platform/storage.h"

namespace dravik {

// The standard INQUIRY into `answer` (kInquiryBytes).
bool SendInquiry(qv::Device& drive, uint8_t* answer);

bool ReadIdentity(qv::Device& drive, DeviceIdentity* identity);

// The 16 spare bytes of one page.
bool ReadSpare(qv::Device& drive, uint32_t ce, uint32_t block, uint32_t page, uint8_t* spare);

// The data (identity.PageBytes()) and the 16 spare bytes of one page.
bool ReadPage(qv::Device& drive, const DeviceIdentity& identity, uint32_t ce, uint32_t block,
              uint32_t page, std::vector<uint8_t>* data, uint8_t* spare);

bool WriteFirmware(qv::Device& drive, const std::vector<uint8_t>& image);

// Hands the controller the blocks to leave out (one bit per block of
// every CE) with the number of good blocks that leaves.
bool CommitUserArea(qv::Device& drive, const std::vector<uint8_t>& exclusionBitmap, uint32_t goodBlocks);

// READ CAPACITY(10): the number of sectors the drive serves.
bool ReadCapacity(qv::Device& drive, uint64_t* sectors);

}  // namespace dravik
