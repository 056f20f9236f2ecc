// The flash chips behind the controller: NAND rules (erase to 0xFF, program
// only clears bits), the verify reference, the spare area, and the injected
// faults. Addresses are physical: CE, block, page.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "sim/drive_spec.h"
#include "sim/flash_state.h"

namespace sim {

struct VerifyResult {
  uint8_t maxBits = 0;        // most differing bits in one sector, capped at 0xFE
  uint8_t sectors = 0;        // sectors that differ, capped at 0xFF
};

// Work done, for the timing model.
struct FlashWork {
  uint64_t pagesRead = 0, pagesProgrammed = 0, blocksErased = 0;
};

class NandArray {
 public:
  NandArray(const DriveSpec& desc, const FaultSpec& faults, FlashState& state);

  // A block that exists: within the flash and outside its gaps.
  bool BlockExists(uint32_t block) const;
  // False when the erase fails: the data stays, the verify reference and
  // the spare of the erase are reset all the same.
  bool Erase(uint32_t ce, uint32_t block);
  // Programs `count` sectors from sector `first` of a page: the flash takes
  // the AND of old and new data, the spare bytes 0..2 the page number and
  // 3..6 the four given bytes (ANDed too). The reference takes the asked
  // data even when the program fails (and the flash keeps its content).
  bool Program(uint32_t ce, uint32_t block, uint32_t page, uint32_t first, uint32_t count,
               const uint8_t* data, const uint8_t spare[4], uint32_t pageNumber);
  // Replaces sectors of a page whatever it held (the user area's
  // translation layer hides the NAND rules); false on a failing block.
  bool Overwrite(uint32_t ce, uint32_t block, uint32_t page, uint32_t first, uint32_t count, const uint8_t* data);
  // The page's data as the flash returns it, with bit errors.
  void ReadPage(uint32_t ce, uint32_t block, uint32_t page, uint8_t* out);
  void ReadSpare(uint32_t ce, uint32_t block, uint32_t page, uint8_t out[16]);
  VerifyResult Verify(uint32_t ce, uint32_t block);
  // Places a factory bad mark (zero data and spare) into a fresh flash.
  void PlaceFactoryMark(uint32_t ce, uint32_t block, uint32_t page);

  FlashWork& Work() { return work_; }

 private:
  enum : uint8_t { kFactoryBad = 1, kEraseFails = 2, kProgramFails = 4, kWeak = 8, kStuck = 16 };
  uint64_t BlockIndex(uint32_t ce, uint32_t block) const { return uint64_t(ce) * spec_.blocksPerCE + block; }
  uint8_t Flags(uint32_t ce, uint32_t block) const;
  bool ProgramFails(uint32_t ce, uint32_t block, uint32_t page) const;
  // Bit errors of one read of a page's data.
  void ApplyReadErrors(uint32_t ce, uint32_t block, uint32_t page, const PageEntry& e, uint8_t* data);

  const DriveSpec& spec_;
  const FaultSpec& faults_;
  FlashState& state_;
  std::vector<std::pair<uint32_t, uint32_t>> gaps_;
  std::unordered_map<uint64_t, uint8_t> flags_;           // block index → fault kinds
  std::unordered_map<uint64_t, uint32_t> programFrom_;    // block index → first failing page
  std::unordered_map<uint64_t, std::vector<StuckBit>> stuck_;  // page index → stuck bits
  std::vector<uint8_t> pageA_, pageB_;
  // The content last programmed into each page number of a block: a revert
  // writes the same block pattern everywhere, so the next block's page is
  // usually the same content and needs no hashing.
  std::vector<uint32_t> lastContent_;
  FlashWork work_;
};

}  // namespace sim
