// The vendor command transport against a recording device: the exact bytes,
// lengths, direction, time-out and sense length of every command, which
// form (buffered or the caller's buffer) carries it, and its success rule.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sortlib/device/vendor_commands.h"
#include "sortlib/tests/recording_device.h"

namespace {

using qv::ScsiDirection;
using sievex_test::AnswerWith;
using sievex_test::RecordingDevice;

constexpr size_t kCallerBufferSize = 65536;

struct CommandCase {
  std::string name;
  std::function<int(sievex::Handle, uint8_t* buffer)> send;
  std::vector<uint8_t> cdb;  // exactly the command length
  ScsiDirection direction;
  uint32_t dataLength;
  uint32_t timeout;
  uint8_t senseLength;
  bool direct;           // the caller's buffer goes to the system
  bool needsGoodStatus;  // "call and status" rather than "call"
};

std::vector<CommandCase> AllCommands() {
  static const uint8_t spare[4] = {0x11, 0x22, 0x33, 0x44};
  using namespace sievex;
  auto in = ScsiDirection::kIn;
  auto out = ScsiDirection::kOut;
  return {
      {"Inquiry", [](Handle h, uint8_t* b) { return CmdInquiry(h, b); },
       {0x12, 0, 0, 0, 0xB4, 0}, in, 180, 20, 24, false, true},
      {"ReadFlashId", [](Handle h, uint8_t* b) { return CmdReadFlashId(h, b); },
       {0xFD, 0x10, 0, 0, 0, 0, 0, 0, 0, 0}, in, 5, 2, 24, false, true},
      {"StartBootCode", [](Handle h, uint8_t*) { return CmdStartBootCode(h); },
       {0xFD, 0x11, 0, 0, 0, 0, 0, 0, 0, 0}, in, 0, 20000, 24, false, true},
      {"PrepareDownload", [](Handle h, uint8_t*) { return CmdPrepareDownload(h); },
       {0xFD, 0x13, 0x01, 0, 0, 0, 0, 0, 0, 0}, out, 0, 200, 24, false, false},
      {"PrepareBootLoad", [](Handle h, uint8_t*) { return CmdPrepareBootLoad(h); },
       {0xFD, 0x14, 0, 0, 0, 0, 0, 0, 0, 0}, in, 0, 20000, 24, false, true},
      {"WriteRamDiscovery", [](Handle h, uint8_t* b) { return CmdWriteRamDiscovery(h, 0xF200, b); },
       {0xFD, 0x00, 0x01, 0xF2, 0x00, 0xFF, 0x03, 0x02, 0x00, 0x00}, out, 512, 2000, 24, true, true},
      {"WriteRamEngine", [](Handle h, uint8_t* b) { return CmdWriteRamEngine(h, 0xFE00, b); },
       {0xFD, 0x00, 0x01, 0xFE, 0x00, 0x00, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00}, out, 512, 200, 24,
       true, true},
      {"ReadRam", [](Handle h, uint8_t* b) { return CmdReadRam(h, b); },
       {0xFD, 0x00, 0x00, 0x00, 0x59, 0x00, 0x00, 0x02, 0x00, 0x00}, in, 512, 2, 24, false, false},
      {"ReadFlashConfig", [](Handle h, uint8_t* b) { return CmdReadFlashConfig(h, b); },
       {0xF2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, in, 34, 2, 24, false, true},
      {"ReadStatus", [](Handle h, uint8_t* b) { return CmdReadStatus(h, 0x10, 0x01, b); },
       {0xF1, 0x10, 0x10, 0xFF, 0x01, 0, 0, 0, 0, 0}, in, 8, 200, 24, false, false},
      {"EraseBlock", [](Handle h, uint8_t* b) { return CmdEraseBlock(h, 0x12345678, 3, b); },
       {0xF5, 0, 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0, 0x03}, in, 16, 200, 0, true, false},
      {"EraseBlockChecked",
       [](Handle h, uint8_t* b) { return CmdEraseBlockChecked(h, 0x00010200, 1, b); },
       {0xFE, 0, 0x00, 0x01, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0x01}, in, 1, 200, 24, false, false},
      {"ReadSpare", [](Handle h, uint8_t* b) { return CmdReadSpare(h, 0xFFFFFFFF, 0x80, b); },
       {0xF9, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0x80}, in, 16, 200, 0, true, false},
      // N = 0x01000004: byte 8 carries its low byte, the length its low 24 bits.
      {"WriteSectors",
       [](Handle h, uint8_t* b) { return CmdWriteSectors(h, 0x00A0B0C0, 2, 0x01000004, spare, b); },
       {0xF6, 0x11, 0x00, 0xA0, 0xB0, 0xC0, 0, 0, 0x04, 0x22, 0x33, 0x44, 0x02}, out, 4 * 512, 200,
       24, true, false},
      {"ReadSectorsShort", [](Handle h, uint8_t* b) { return CmdReadSectors(h, 0x100, 1, 100, b); },
       {0xF8, 0, 0, 0, 0x01, 0x00, 0, 0, 0x01, 0, 0, 0, 0x01}, in, 100, 200, 24, true, false},
      {"ReadSectors64K", [](Handle h, uint8_t* b) { return CmdReadSectors(h, 0x80, 0, 65536, b); },
       {0xF8, 0, 0, 0, 0, 0x80, 0, 0, 0x80, 0, 0, 0, 0x00}, in, 65536, 200, 24, true, false},
      {"VerifyBlock", [](Handle h, uint8_t* b) { return CmdVerifyBlock(h, 0x01020304, 4, b); },
       {0xF8, 0, 0x01, 0x02, 0x03, 0x04, 0, 0x01, 0x01, 0, 0, 0, 0x04}, in, 2, 200, 24, true, false},
      {"SetMode", [](Handle h, uint8_t* b) { return CmdSetMode(h, 0x44, 0x55, 1, b); },
       {0xFC, 0x00, 0x44, 0x55, 0x01, 0, 0, 0, 0, 0}, in, 1, 2, 24, false, false},
      {"WriteFWInfo", [](Handle h, uint8_t* b) { return CmdWriteFWInfo(h, b); },
       {0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, out, 512, 200, 24, true, false},
  };
}

TEST(SievexTransport, EveryCommandSendsItsBytesLengthsAndForm) {
  for (const CommandCase& c : AllCommands()) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> buffer(kCallerBufferSize, 0x5A);
    RecordingDevice device;
    ASSERT_EQ(c.send(&device, buffer.data()), 1);
    ASSERT_EQ(device.Log().size(), 1u);
    const auto& sent = device.Log()[0];
    EXPECT_EQ(sent.cdb, c.cdb);
    EXPECT_EQ(sent.direction, c.direction);
    EXPECT_EQ(sent.dataLength, c.dataLength);
    EXPECT_EQ(sent.timeoutSeconds, c.timeout);
    EXPECT_EQ(sent.senseLength, c.senseLength);
    EXPECT_EQ(sent.data == buffer.data(), c.direct);
    if (c.direction == ScsiDirection::kOut && c.dataLength > 0) {
      EXPECT_EQ(sent.dataOut, std::vector<uint8_t>(c.dataLength, 0x5A));
    }
  }
}

TEST(SievexTransport, SuccessRuleOfEveryCommand) {
  struct Outcome {
    bool delivered;
    uint8_t status;
  };
  for (const CommandCase& c : AllCommands()) {
    SCOPED_TRACE(c.name);
    for (Outcome o : {Outcome{true, 0}, Outcome{true, 2}, Outcome{false, 0}}) {
      std::vector<uint8_t> buffer(kCallerBufferSize, 0);
      RecordingDevice device;
      device.SetResponder(AnswerWith(0xA5, o.delivered, o.status));
      int expected = !o.delivered ? 0 : (o.status != 0 && c.needsGoodStatus) ? 0 : 1;
      EXPECT_EQ(c.send(&device, buffer.data()), expected)
          << "delivered " << o.delivered << " status " << int(o.status);
    }
  }
}

TEST(SievexTransport, DataInBelow512IsBufferedFrom512Direct) {
  const uint8_t cdb[16] = {0xFD, 0x10};
  for (uint32_t length : {511u, 512u}) {
    SCOPED_TRACE(length);
    std::vector<uint8_t> out(length, 0);
    RecordingDevice device;
    ASSERT_EQ(sievex::SendDataIn(&device, cdb, 10, length, 2, out.data()), 1);
    EXPECT_EQ(device.Log()[0].data == out.data(), length == 512);
    EXPECT_EQ(device.Log()[0].dataLength, length);
    EXPECT_EQ(out, std::vector<uint8_t>(length, 0xA5));  // the answer arrived either way
  }
}

TEST(SievexTransport, RefusedDataInLeavesTheCallersBufferUntouched) {
  const uint8_t cdb[16] = {0xF2};
  uint8_t out[34];
  std::memset(out, 0xEE, sizeof out);
  RecordingDevice device;
  device.SetResponder(AnswerWith(0xA5, true, 2));  // delivered, CHECK CONDITION
  EXPECT_EQ(sievex::SendDataIn(&device, cdb, 12, sizeof out, 2, out), 0);
  for (uint8_t b : out) EXPECT_EQ(b, 0xEE);
}

TEST(SievexTransport, FailedEraseAndSpareReadLeaveFirstFourBytesZero) {
  using Send = int (*)(sievex::Handle, uint32_t, uint8_t, uint8_t*);
  for (Send send : {Send(sievex::CmdEraseBlock), Send(sievex::CmdReadSpare)}) {
    uint8_t out[16];
    std::memset(out, 0xEE, sizeof out);
    RecordingDevice device;
    device.SetResponder(AnswerWith(0, false));
    EXPECT_EQ(send(&device, 0x40, 0, out), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], 0) << i;
    for (int i = 4; i < 16; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  }
}

TEST(SievexTransport, BufferedCallCopiesOnlyTheBytesMoved) {
  uint8_t out[8];
  std::memset(out, 0xEE, sizeof out);
  RecordingDevice device;
  device.SetResponder([](const qv::ScsiCommand& c) {
    std::memset(c.data, 0x01, 3);
    qv::ScsiResult r;
    r.delivered = true;
    r.scsiStatus = 2;  // judged by delivery only
    r.bytesMoved = 3;
    return r;
  });
  EXPECT_EQ(sievex::CmdReadStatus(&device, 1, 0, out), 1);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(out[2], 0x01);
  EXPECT_EQ(out[3], 0xEE);
}

TEST(SievexTransport, NoHandleSendsNothing) {
  uint8_t out[180] = {};
  EXPECT_EQ(sievex::CmdInquiry(nullptr, out), 0);
  EXPECT_EQ(sievex::CmdReadSectors(nullptr, 0, 0, 512, out), 0);
}

}  // namespace
