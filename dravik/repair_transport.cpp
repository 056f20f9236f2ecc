#include "dravik/repair_transport.h"

#include <cstring>

#include "dravik/controller_tag.h"
#include "dravik/wire_order.h"
#include "sim/repair_commands.h"

namespace dravik {

namespace {

using namespace repaircmd;

// Seconds: the short answers, and the transfers of an image or a map.
constexpr uint32_t kShortTimeout = 20;
constexpr uint32_t kTransferTimeout = 200;

bool Send(qv::Device& drive, const uint8_t* cdb, uint8_t cdbLength, qv::ScsiDirection direction,
          void* data, uint32_t length, uint32_t timeout) {
  qv::ScsiCommand command;
  command.cdb = cdb;
  command.cdbLength = cdbLength;
  command.direction = direction;
  command.data = data;
  command.dataLength = length;
  command.timeoutSeconds = timeout;
  command.senseLength = 24;
  qv::ScsiResult r = drive.PassThrough(command);
  return r.delivered && r.scsiStatus == 0;
}

void RepairCdb(uint8_t* cdb, uint8_t sub) {
  std::memset(cdb, 0, kCdbLength);
  cdb[0] = kOpRepair;
  cdb[1] = sub;
}

}  // namespace

bool SendInquiry(qv::Device& drive, uint8_t* answer) {
  const uint8_t cdb[6] = {0x12, 0, 0, 0, uint8_t(kInquiryBytes), 0};
  std::memset(answer, 0, kInquiryBytes);
  return Send(drive, cdb, sizeof cdb, qv::ScsiDirection::kIn, answer, kInquiryBytes, kShortTimeout);
}

bool ReadIdentity(qv::Device& drive, DeviceIdentity* identity) {
  uint8_t cdb[kCdbLength];
  RepairCdb(cdb, kSubIdentify);
  uint8_t answer[kIdentifyBytes] = {};
  return Send(drive, cdb, kCdbLength, qv::ScsiDirection::kIn, answer, kIdentifyBytes, kShortTimeout) &&
         ParseIdentity(answer, sizeof answer, identity);
}

bool ReadSpare(qv::Device& drive, uint32_t ce, uint32_t block, uint32_t page, uint8_t* spare) {
  uint8_t cdb[kCdbLength];
  RepairCdb(cdb, kSubReadPage);
  cdb[kReadCe] = uint8_t(ce);
  PutBe32(cdb + kReadBlock, block);
  PutBe16(cdb + kReadPageNumber, uint16_t(page));
  cdb[kReadWhat] = kReadSpare;
  return Send(drive, cdb, kCdbLength, qv::ScsiDirection::kIn, spare, kSpareBytes, kShortTimeout);
}

bool ReadPage(qv::Device& drive, const DeviceIdentity& identity, uint32_t ce, uint32_t block,
              uint32_t page, std::vector<uint8_t>* data, uint8_t* spare) {
  uint8_t cdb[kCdbLength];
  RepairCdb(cdb, kSubReadPage);
  cdb[kReadCe] = uint8_t(ce);
  PutBe32(cdb + kReadBlock, block);
  PutBe16(cdb + kReadPageNumber, uint16_t(page));
  cdb[kReadWhat] = kReadDataAndSpare;
  std::vector<uint8_t> answer(size_t(identity.PageBytes()) + kSpareBytes);
  if (!Send(drive, cdb, kCdbLength, qv::ScsiDirection::kIn, answer.data(), uint32_t(answer.size()),
            kShortTimeout))
    return false;
  data->assign(answer.begin(), answer.begin() + identity.PageBytes());
  std::memcpy(spare, answer.data() + identity.PageBytes(), kSpareBytes);
  return true;
}

bool WriteFirmware(qv::Device& drive, const std::vector<uint8_t>& image) {
  if (image.size() != kFirmwareImageBytes) return false;
  uint8_t cdb[kCdbLength];
  RepairCdb(cdb, kSubWriteFirmware);
  PutBe32(cdb + kFirmwareLength, kFirmwareImageBytes);
  std::vector<uint8_t> data = image;
  return Send(drive, cdb, kCdbLength, qv::ScsiDirection::kOut, data.data(), uint32_t(data.size()),
              kTransferTimeout);
}

bool CommitUserArea(qv::Device& drive, const std::vector<uint8_t>& exclusionBitmap, uint32_t goodBlocks) {
  uint8_t cdb[kCdbLength];
  RepairCdb(cdb, kSubCommitMap);
  PutBe32(cdb + kCommitGoodBlocks, goodBlocks);
  std::vector<uint8_t> data = exclusionBitmap;
  return Send(drive, cdb, kCdbLength, qv::ScsiDirection::kOut, data.data(), uint32_t(data.size()),
              kTransferTimeout);
}

bool ReadCapacity(qv::Device& drive, uint64_t* sectors) {
  const uint8_t cdb[kBlockCdbLength] = {kOpReadCapacity10};
  uint8_t answer[kReadCapacityBytes] = {};
  if (!Send(drive, cdb, sizeof cdb, qv::ScsiDirection::kIn, answer, sizeof answer, kShortTimeout)) return false;
  *sectors = uint64_t(GetBe32(answer)) + 1;
  return GetBe32(answer + 4) == kSectorBytes;
}

}  // namespace dravik
