// The controller's repair service and the user area it rebuilds: command
// bytes, data lengths and answer layouts shared by the device library
// (the host side) and the simulated controller (the drive side). Plain
// constants only; every multi-byte value on the wire is big-endian.
//
// Repair service commands are 12 bytes long: byte 0 kOpRepair, byte 1 the
// sub-command, the rest as given per sub-command (bytes not named are 0).
// The service runs from the controller's ROM in every boot state, except
// while a KR423 that carries firmware still runs the engine code of a
// revert: then everything but kSubIdentify is refused until the drive has
// been unplugged and plugged again.
#pragma once
#include <cstddef>
#include <cstdint>

namespace repaircmd {

inline constexpr uint8_t kOpRepair = 0xFA;
inline constexpr uint8_t kCdbLength = 12;
inline constexpr uint32_t kSectorBytes = 512;

// ---- kSubIdentify: FA 01, data in kIdentifyBytes -------------------------
// What the controller tells of itself: works in every state.
inline constexpr uint8_t kSubIdentify = 0x01;
inline constexpr uint32_t kIdentifyBytes = 128;
inline constexpr char kIdentifyMagic[4] = {'Q', 'V', 'R', 'S'};
inline constexpr size_t kIdMagic = 0;              // 4 bytes kIdentifyMagic
inline constexpr size_t kIdLayoutVersion = 4;      // uint8, kIdentifyLayoutVersion
inline constexpr uint8_t kIdentifyLayoutVersion = 1;
inline constexpr size_t kIdFlags = 5;              // uint8, kFlag... bits
inline constexpr size_t kIdController = 6;         // uint16, 0x423, 0x425, ...
inline constexpr size_t kIdChipVersion = 8;        // uint16
inline constexpr size_t kIdCeCount = 10;           // uint8
inline constexpr size_t kIdPlaneCount = 11;        // uint8
inline constexpr size_t kIdBlocksPerCe = 12;       // uint32
inline constexpr size_t kIdPagesPerBlock = 16;     // uint16
inline constexpr size_t kIdSectorsPerPage = 18;    // uint16
inline constexpr size_t kIdFirmwareVersion = 20;   // text, zero padded
inline constexpr size_t kIdFirmwareVersionBytes = 16;
inline constexpr size_t kIdUserSectors = 36;       // uint32, 0 without a user area
inline constexpr size_t kIdGapCount = 40;          // uint8, at most kMaxGaps
inline constexpr size_t kIdGaps = 64;              // kMaxGaps x (first uint32, last uint32)
inline constexpr size_t kMaxGaps = 8;
inline constexpr size_t kGapBytes = 8;
static_assert(kIdGaps + kMaxGaps * kGapBytes == kIdentifyBytes);
static_assert(kIdFirmwareVersion + kIdFirmwareVersionBytes == kIdUserSectors);

inline constexpr uint8_t kFlagFirmware = 0x01;       // the controller carries firmware
inline constexpr uint8_t kFlagDualChannel = 0x02;    // the flash runs in dual-channel mode
inline constexpr uint8_t kFlagUserArea = 0x04;       // a rebuilt user area is served
inline constexpr uint8_t kFlagReplugPending = 0x08;  // the service waits for a re-plug

// ---- kSubReadPage: FA 02 CE B3 B2 B1 B0 P1 P0 K ----------------------------
// One page of one CE, physical address: CE index (0..3) in byte 2, block in
// bytes 3..6, page in bytes 7..8. K (byte 9) = kReadSpare: data in 16 spare
// bytes; K = kReadDataAndSpare: data in the page's bytes followed by its
// 16 spare bytes. A block missing from the flash is refused.
inline constexpr uint8_t kSubReadPage = 0x02;
inline constexpr size_t kReadCe = 2;
inline constexpr size_t kReadBlock = 3;
inline constexpr size_t kReadPageNumber = 7;
inline constexpr size_t kReadWhat = 9;
inline constexpr uint8_t kReadSpare = 0;
inline constexpr uint8_t kReadDataAndSpare = 1;
inline constexpr uint32_t kSpareBytes = 16;

// ---- kSubWriteFirmware: FA 03 L3 L2 L1 L0, data out L bytes -----------------
// The whole firmware image in one transfer; L must be kFirmwareImageBytes.
// The controller takes it only when it carries kFirmwareMark at
// kFirmwareMarkOffset and a printable version text after it.
inline constexpr uint8_t kSubWriteFirmware = 0x03;
inline constexpr size_t kFirmwareLength = 2;
inline constexpr uint32_t kFirmwareImageBytes = 0x10000;
inline constexpr size_t kFirmwareInfoOffset = 0xEFF0;   // 16 bytes of image information
inline constexpr size_t kFirmwareInfoBytes = 16;
inline constexpr char kFirmwareMark[2] = {'F', 'W'};
inline constexpr size_t kFirmwareMarkOffset = 0xEFF0;
inline constexpr size_t kFirmwareVersionOffset = 0xEFF2;
inline constexpr size_t kFirmwareVersionBytes = 6;

// ---- kSubCommitMap: FA 04 G3 G2 G1 G0, data out the exclusion bitmap -------
// Rebuilds the user area. The data holds one bit per block of every CE,
// CE after CE (bit index = CE x blocks per CE + block, least significant
// bit first within each byte), set for a block that must stay out of the
// user area; its length is the bit count rounded up to whole sectors.
// Bytes 2..5 hold the number of good blocks the host counted; the
// controller refuses the map when its own count differs. The user area is
// every existing block whose bit is clear, CE after CE in block order, each
// block giving pages x sectors of logical sectors. It needs firmware.
inline constexpr uint8_t kSubCommitMap = 0x04;
inline constexpr size_t kCommitGoodBlocks = 2;

// ---- The user area, once committed: standard block commands ---------------
inline constexpr uint8_t kOpReadCapacity10 = 0x25;  // 10 bytes, data in 8: last LBA, 512
inline constexpr uint8_t kOpRead10 = 0x28;          // 10 bytes: LBA in 2..5, count in 7..8
inline constexpr uint8_t kOpWrite10 = 0x2A;         // 10 bytes: LBA in 2..5, count in 7..8
inline constexpr uint8_t kBlockCdbLength = 10;
inline constexpr uint32_t kReadCapacityBytes = 8;

}  // namespace repaircmd
