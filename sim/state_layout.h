// Byte layouts of the drive's state files. They are mapped into every
// process that opens the drive, so their layout is fixed and versioned.
//
//   state.bin    StateHeader: the controller's state and the counters
//   blocks.bin   one BlockEntry per block of every CE (wear)
//   pages.bin    one PageEntry per page of every CE; a sparse file whose
//                all-zero entries are erased pages
//   content.bin  page contents, appended once per distinct content
//   userarea.bin the repair service's committed exclusion map (one bit per block)
#pragma once
#include <cstddef>
#include <cstdint>

namespace sim {

inline constexpr char kStateMagic[8] = {'Q', 'V', 'S', 'I', 'M', 'S', 'T', '1'};
inline constexpr uint32_t kStateVersion = 1;

// Content id 0 is the erased page (every byte 0xFF); id k > 0 is record
// k - 1 of content.bin.
struct PageEntry {
  uint32_t data;              // what the flash holds
  uint32_t reference;         // what the controller was asked to program since the last erase
  uint8_t spareInverted[7];   // spare bytes 0..6 stored inverted, so zero is erased
  uint8_t flags;              // kPageProgrammed
};
inline constexpr uint8_t kPageProgrammed = 1;
static_assert(sizeof(PageEntry) == 16);
static_assert(offsetof(PageEntry, spareInverted) == 8);

struct BlockEntry {
  uint32_t eraseCount;
  uint32_t reserved;
};
static_assert(sizeof(BlockEntry) == 8);

enum : uint32_t { kBootRom = 0, kBootDiscovery = 1, kBootEngine = 2 };
enum : uint32_t { kDownloadNone = 0, kDownloadDiscovery = 1, kDownloadEngine = 2 };
enum : uint32_t { kFwInfoNone = 0, kFwInfoAccepted = 1, kFwInfoDisagrees = 2 };

struct StateFields {
  char magic[8];
  uint32_t version;
  uint32_t headerSize;
  // Geometry the files were laid out for.
  uint32_t ces, blocksPerCE, pagesPerBlock, sectorsPerPage;
  // Plug state.
  uint32_t plugged;
  uint32_t plugGeneration;    // advances on every unplug and plug
  // Controller.
  uint32_t bootState;         // kBoot...
  uint32_t download;          // kDownload...: which download is open
  uint32_t chunkMask;         // 512-byte chunks of RAM 0xF000..0xFFFF written in it
  uint32_t fwInfo;            // kFwInfo...
  uint32_t altPages;          // FWInfo byte 0x19 was 2
  uint32_t twoPlane;
  uint32_t timingCode, voltageCode;
  uint32_t lastOpPassed;      // status byte 1
  uint32_t lastFailCeMask;
  uint32_t dead;
  uint32_t unplugFired;
  uint32_t replugPending;     // a KR423 with firmware runs the engine code until re-plugged
  uint32_t reserved0;
  // Counters.
  uint64_t commands, refused, flashFailures, plugCount;
  uint64_t randomFlips, sectorReads;
  uint64_t modelledNs;
  uint64_t contentCount;      // records in content.bin
  uint64_t eventSequence;
  char lastRefusal[128];
  uint8_t fwInfoBlock[512];
  uint8_t ram[4096];          // controller RAM 0xF000..0xFFFF
  // The repair service: firmware written by the device library, and the
  // user area it committed (the exclusion map lies in userarea.bin).
  uint32_t firmwareWritten;
  char firmwareVersion[16];
  uint32_t userArea;
  uint32_t userSectors;
  uint32_t userAreaGeneration;
};
struct StateHeader : StateFields {
  uint8_t pad[8192 - sizeof(StateFields)];
};
static_assert(sizeof(StateHeader) == 8192);

}  // namespace sim
