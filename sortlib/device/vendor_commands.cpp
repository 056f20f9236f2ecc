#include "sortlib/device/vendor_commands.h"

#include <algorithm>
#include <cstring>

namespace sievex {
namespace {

// Sense bytes asked for by every command except the two 16-byte reads.
constexpr uint8_t kSenseLength = 24;
// Commands of this size or larger go to the device straight from the
// caller's buffer; smaller answers come back through a local data area.
constexpr uint32_t kDirectThreshold = 512;
constexpr uint32_t kBufferedCapacity = 512;

qv::ScsiResult Send(Handle h, const uint8_t* cdb, uint8_t cdbLength, qv::ScsiDirection direction,
                    void* data, uint32_t dataLength, uint32_t timeoutSeconds,
                    uint8_t senseLength) {
  if (h == nullptr) return {};
  qv::ScsiCommand command;
  command.cdb = cdb;
  command.cdbLength = cdbLength;
  command.direction = direction;
  command.data = data;
  command.dataLength = dataLength;
  command.timeoutSeconds = timeoutSeconds;
  command.senseLength = senseLength;
  return h->PassThrough(command);
}

bool Delivered(const qv::ScsiResult& r) { return r.delivered; }
bool DeliveredWithGoodStatus(const qv::ScsiResult& r) { return r.delivered && r.scsiStatus == 0; }

// Buffered data-in for the commands judged by delivery alone: the device
// answers into a zeroed local area, from which as many bytes as it moved
// (never more than asked) reach the caller.
int BufferedInCall(Handle h, const uint8_t* cdb, uint8_t cdbLength, uint32_t dataLength,
                   uint32_t timeoutSeconds, void* out) {
  uint8_t area[kBufferedCapacity] = {};
  dataLength = std::min(dataLength, kBufferedCapacity);
  qv::ScsiResult r = Send(h, cdb, cdbLength, qv::ScsiDirection::kIn, area, dataLength,
                          timeoutSeconds, kSenseLength);
  if (!Delivered(r)) return 0;
  if (out != nullptr) std::memcpy(out, area, std::min(r.bytesMoved, dataLength));
  return 1;
}

}  // namespace

void BuildBlockCdb(uint8_t cdb[16], uint8_t opcode, uint32_t sector, uint8_t ce) {
  std::memset(cdb, 0, 16);
  cdb[0] = opcode;
  cdb[2] = static_cast<uint8_t>(sector >> 24);
  cdb[3] = static_cast<uint8_t>(sector >> 16);
  cdb[4] = static_cast<uint8_t>(sector >> 8);
  cdb[5] = static_cast<uint8_t>(sector);
  cdb[12] = ce;
}

void BuildReadSectorsCdb(uint8_t cdb[16], uint32_t sector, uint8_t ce, uint32_t length) {
  BuildBlockCdb(cdb, kOpReadSectors, sector, ce);
  cdb[8] = static_cast<uint8_t>(length >= 512 ? length / 512 : 1);
}

int SendDataIn(Handle h, const uint8_t* cdb, uint8_t cdbLength, uint32_t dataLength,
               uint32_t timeoutSeconds, void* out) {
  if (dataLength >= kDirectThreshold) {
    qv::ScsiResult r = Send(h, cdb, cdbLength, qv::ScsiDirection::kIn, out, dataLength,
                            timeoutSeconds, kSenseLength);
    return DeliveredWithGoodStatus(r) ? 1 : 0;
  }
  uint8_t area[kBufferedCapacity] = {};
  qv::ScsiResult r = Send(h, cdb, cdbLength, qv::ScsiDirection::kIn, area, dataLength,
                          timeoutSeconds, kSenseLength);
  if (!DeliveredWithGoodStatus(r)) return 0;
  // The caller's buffer changes only on success, and then by exactly the
  // number of bytes it asked for.
  if (out != nullptr && dataLength > 0) std::memcpy(out, area, dataLength);
  return 1;
}

int SendRamWrite(Handle h, const uint8_t cdb[10], uint32_t dataLength, const void* data) {
  qv::ScsiResult r = Send(h, cdb, 10, qv::ScsiDirection::kOut, const_cast<void*>(data),
                          dataLength, 2000, kSenseLength);
  return DeliveredWithGoodStatus(r) ? 1 : 0;
}

int CmdInquiry(Handle h, uint8_t out[180]) {
  const uint8_t cdb[16] = {0x12, 0x00, 0x00, 0x00, 0xB4, 0x00};
  return SendDataIn(h, cdb, 6, 180, 20, out);
}

int CmdReadFlashId(Handle h, uint8_t out[5]) {
  const uint8_t cdb[16] = {0xFD, 0x10};
  return SendDataIn(h, cdb, 10, 5, 2, out);
}

int CmdStartBootCode(Handle h) {
  const uint8_t cdb[16] = {0xFD, 0x11};
  return SendDataIn(h, cdb, 10, 0, 20000, nullptr);
}

int CmdPrepareDownload(Handle h) {
  const uint8_t cdb[16] = {0xFD, 0x13, 0x01};
  uint8_t area[kBufferedCapacity] = {};
  return Delivered(Send(h, cdb, 10, qv::ScsiDirection::kOut, area, 0, 200, kSenseLength)) ? 1 : 0;
}

int CmdPrepareBootLoad(Handle h) {
  const uint8_t cdb[16] = {0xFD, 0x14};
  return SendDataIn(h, cdb, 10, 0, 20000, nullptr);
}

int CmdWriteRamDiscovery(Handle h, uint16_t address, const uint8_t data[512]) {
  const uint8_t cdb[16] = {0xFD, 0x00, 0x01, static_cast<uint8_t>(address >> 8),
                           static_cast<uint8_t>(address), 0xFF, 0x03, 0x02, 0x00, 0x00};
  return SendRamWrite(h, cdb, 512, data);
}

int CmdWriteRamEngine(Handle h, uint16_t address, const uint8_t data[512]) {
  const uint8_t cdb[16] = {0xFD, 0x00, 0x01, static_cast<uint8_t>(address >> 8),
                           static_cast<uint8_t>(address), 0x00, 0x03, 0x02, 0x00, 0x00,
                           0x00, 0x00};
  qv::ScsiResult r = Send(h, cdb, 12, qv::ScsiDirection::kOut, const_cast<uint8_t*>(data), 512,
                          200, kSenseLength);
  return DeliveredWithGoodStatus(r) ? 1 : 0;
}

int CmdReadRam(Handle h, uint8_t out[512]) {
  const uint8_t cdb[16] = {0xFD, 0x00, 0x00, 0x00, 0x59, 0x00, 0x00, 0x02, 0x00, 0x00};
  return BufferedInCall(h, cdb, 10, 512, 2, out);
}

int CmdReadFlashConfig(Handle h, uint8_t out[34]) {
  const uint8_t cdb[16] = {0xF2};
  return SendDataIn(h, cdb, 12, 34, 2, out);
}

int CmdReadStatus(Handle h, uint8_t selector, uint8_t flag, uint8_t out[8]) {
  const uint8_t cdb[16] = {0xF1, 0x10, selector, 0xFF, flag};
  return BufferedInCall(h, cdb, 10, 8, 200, out);
}

int CmdEraseBlock(Handle h, uint32_t sector, uint8_t ce, uint8_t out[16]) {
  uint8_t cdb[16];
  BuildBlockCdb(cdb, kOpEraseBlock, sector, ce);
  std::memset(out, 0, 4);
  return Delivered(Send(h, cdb, 13, qv::ScsiDirection::kIn, out, 16, 200, 0)) ? 1 : 0;
}

int CmdEraseBlockChecked(Handle h, uint32_t sector, uint8_t ce, uint8_t out[1]) {
  uint8_t cdb[16];
  BuildBlockCdb(cdb, kOpEraseBlockChecked, sector, ce);
  return BufferedInCall(h, cdb, 13, 1, 200, out);
}

int CmdReadSpare(Handle h, uint32_t sector, uint8_t ce, uint8_t out[16]) {
  uint8_t cdb[16];
  BuildBlockCdb(cdb, kOpReadSpare, sector, ce);
  std::memset(out, 0, 4);
  return Delivered(Send(h, cdb, 13, qv::ScsiDirection::kIn, out, 16, 200, 0)) ? 1 : 0;
}

int CmdWriteSectors(Handle h, uint32_t sector, uint8_t ce, uint32_t count,
                    const uint8_t spare[4], const void* data) {
  uint8_t cdb[16];
  BuildBlockCdb(cdb, kOpWriteSectors, sector, ce);
  cdb[1] = spare[0];
  cdb[8] = static_cast<uint8_t>(count);
  cdb[9] = spare[1];
  cdb[10] = spare[2];
  cdb[11] = spare[3];
  // The data length is the low 24 bits of the count in sectors; a length
  // that does not fit the 32-bit transfer size would silently send less
  // than the command announces, so it is refused.
  const uint64_t length = static_cast<uint64_t>(count & 0xFFFFFF) * 512;
  if (length > UINT32_MAX) return 0;
  return Delivered(Send(h, cdb, 13, qv::ScsiDirection::kOut, const_cast<void*>(data),
                        static_cast<uint32_t>(length), 200, kSenseLength))
             ? 1
             : 0;
}

int CmdReadSectors(Handle h, uint32_t sector, uint8_t ce, uint32_t length, void* out) {
  uint8_t cdb[16];
  BuildReadSectorsCdb(cdb, sector, ce, length);
  return Delivered(Send(h, cdb, 13, qv::ScsiDirection::kIn, out, length, 200, kSenseLength)) ? 1
                                                                                               : 0;
}

int CmdVerifyBlock(Handle h, uint32_t sector, uint8_t ce, uint8_t out[2]) {
  uint8_t cdb[16];
  BuildBlockCdb(cdb, kOpReadSectors, sector, ce);
  cdb[7] = 0x01;
  cdb[8] = 0x01;
  return Delivered(Send(h, cdb, 13, qv::ScsiDirection::kIn, out, 2, 200, kSenseLength)) ? 1 : 0;
}

int CmdSetMode(Handle h, uint8_t timing, uint8_t voltage, uint8_t twoPlane, uint8_t out[1]) {
  const uint8_t cdb[16] = {0xFC, 0x00, timing, voltage, twoPlane};
  return BufferedInCall(h, cdb, 10, 1, 2, out);
}

int CmdWriteFWInfo(Handle h, const uint8_t data[512]) {
  const uint8_t cdb[16] = {0xF0};
  return Delivered(Send(h, cdb, 13, qv::ScsiDirection::kOut, const_cast<uint8_t*>(data), 512,
                        200, kSenseLength))
             ? 1
             : 0;
}

}  // namespace sievex
