// A small in-test flash behind the vendor commands the engine sends: CE
// select byte, erase, program with spare bytes, spare and sector reads,
// the controller's own verify, status, mode. Faults are set per block.
// Serves "\\.\E:" through a storage backend so that the engine opens it
// as it opens a real volume.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/storage.h"

namespace enginetest {

struct FlashGeometry {
  uint32_t ces = 1;
  uint32_t blocksPerCE = 64;
  uint32_t pagesPerBlock = 8;
  uint32_t sectorsPerPage = 4;
  uint32_t SectorsPerBlock() const { return pagesPerBlock * sectorsPerPage; }
};

struct SentCommand {
  uint8_t opcode = 0;
  uint8_t sub = 0;       // byte 1
  uint32_t sector = 0;   // bytes 2..5
  uint8_t ce = 0;        // byte 12 of the 13-byte commands
  uint32_t length = 0;
  std::vector<uint8_t> cdb;
};

class FakeFlash {
 public:
  explicit FakeFlash(FlashGeometry g);

  // Faults (ce, block).
  std::set<std::pair<uint32_t, uint32_t>> eraseFails;     // erase leaves the block, op fails
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> programFailsFrom;  // page from which programs fail
  std::map<std::pair<uint32_t, uint32_t>, uint8_t> weakBits;  // verify reports this many bits
  std::set<std::pair<uint32_t, uint32_t>> marksDoNotHold; // programs of zero marks are lost
  uint64_t deadAfter = 0;    // every command after this many fails to be delivered
  // The flash dies at the first block command (after the boot download).
  bool dieAtFirstBlockCommand = false;
  // The controller's verify finds one wrong bit in these blocks while they
  // are erased (a bit that does not erase).
  std::set<std::pair<uint32_t, uint32_t>> stuckWhenErased;
  // Keeps the data of every write command.
  bool recordWrites = false;
  std::vector<std::vector<uint8_t>> writes;

  void SetSpare(uint32_t ce, uint32_t block, uint32_t page, const std::vector<uint8_t>& bytes);

  // Marks a block bad the factory way (mark bytes 00 in the first page).
  void FactoryMark(uint32_t ce, uint32_t block);

  // Handles one command.
  qv::ScsiResult Execute(const qv::ScsiCommand& command);

  // Inspection.
  const std::vector<SentCommand>& Sent() const { return sent_; }
  bool Programmed(uint32_t ce, uint32_t block, uint32_t page) const;
  std::vector<uint8_t> PageData(uint32_t ce, uint32_t block, uint32_t page) const;
  std::vector<uint8_t> PageSpare(uint32_t ce, uint32_t block, uint32_t page) const;
  // Blocks whose first or last page carries a mark byte with a zero nibble
  // (table blocks, spare byte 5 = 0x02 and "bad_" data, excluded).
  std::vector<std::pair<uint32_t, uint32_t>> MarkedBlocks() const;
  // Table blocks: (ce, block).
  std::vector<std::pair<uint32_t, uint32_t>> TableBlocks() const;

 private:
  struct Page {
    bool programmed = false;
    std::vector<uint8_t> data;
    uint8_t spare[16];
  };
  Page& At(uint32_t ce, uint32_t block, uint32_t page);
  const Page& At(uint32_t ce, uint32_t block, uint32_t page) const;
  std::vector<uint32_t> SelectedCEs(uint8_t mask) const;
  void EraseBlock(uint32_t ce, uint32_t block);

  FlashGeometry g_;
  std::vector<Page> pages_;
  std::vector<SentCommand> sent_;
  bool lastOpPassed_ = true;
  uint64_t commands_ = 0;
};

// A storage backend with one volume "\\.\E:" served by a FakeFlash.
class FakeStorage : public qv::StorageBackend {
 public:
  explicit FakeStorage(FakeFlash* flash) : flash_(flash) {}
  uint32_t LogicalDriveMask() override { return 1u << 4; }
  uint32_t DriveType(std::string_view) override { return qv::kDriveRemovable; }
  std::unique_ptr<qv::Device> Open(std::string_view path, unsigned access, int* error) override;
  std::vector<std::string> DiskInterfaces() override { return {}; }
  bool failOpen = false;
  int opens = 0;

 private:
  FakeFlash* flash_;
};

}  // namespace enginetest
