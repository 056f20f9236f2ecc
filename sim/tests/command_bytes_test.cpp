// A command with a wrong byte, length or direction is refused: the host's
// mistakes must make tests fail, not pass by luck.
#include "sim/tests/sim_test_host.h"

namespace simtest {
namespace {

class SimCommandBytes : public RunningDrive {};

TEST_F(SimCommandBytes, WrongBytesLengthsAndDirectionsAreRefused) {
  Make(SmallSpec());
  using D = qv::ScsiDirection;
  Bytes buf(4096, 0);
  Bytes erase = Host::Block13(0xF5, 0, 0x01);
  Bytes write = Host::Block13(0xF6, 0, 0x01);
  write[8] = 2;
  Bytes read = Host::Block13(0xF8, 0, 0x01);
  read[8] = 1;
  Bytes verify = Host::Block13(0xF8, 0, 0x01);
  verify[7] = 1;
  verify[8] = 1;
  auto with = [](Bytes cdb, size_t i, uint8_t v) {
    cdb[i] = v;
    return cdb;
  };
  auto shorter = [](Bytes cdb) {
    cdb.pop_back();
    return cdb;
  };
  struct Case {
    const char* what;
    Bytes cdb;
    D dir;
    uint32_t length;
    bool accepted;
  } cases[] = {
      {"erase", erase, D::kIn, 16, true},
      {"erase, 12 bytes", shorter(erase), D::kIn, 16, false},
      {"erase, byte 7 set", with(erase, 7, 1), D::kIn, 16, false},
      {"erase, data length 8", erase, D::kIn, 8, false},
      {"erase, direction out", erase, D::kOut, 16, false},
      {"erase, not a block's first sector", Host::Block13(0xF5, 3, 0x01), D::kIn, 16, false},
      {"checked erase", Host::Block13(0xFE, 0, 0x01), D::kIn, 1, true},
      {"checked erase, 16 bytes", Host::Block13(0xFE, 0, 0x01), D::kIn, 16, false},
      {"write, N 2", write, D::kOut, 1024, true},
      {"write, N does not fit the length", write, D::kOut, 1536, false},
      {"write, length not whole sectors", write, D::kOut, 1000, false},
      {"write, direction in", write, D::kIn, 1024, false},
      {"write, byte 6 set", with(write, 6, 1), D::kOut, 1024, false},
      {"read, N 1, 100 bytes", read, D::kIn, 100, true},
      {"read, N 1, 1024 bytes", read, D::kIn, 1024, false},
      {"read, byte 9 set", with(read, 9, 1), D::kIn, 512, false},
      {"verify", verify, D::kIn, 2, true},
      {"verify, byte 8 is 2", with(verify, 8, 2), D::kIn, 2, false},
      {"verify, 4 bytes", verify, D::kIn, 4, false},
      {"spare", Host::Block13(0xF9, 0, 0x01), D::kIn, 16, true},
      {"spare, not a page's first sector", Host::Block13(0xF9, 1, 0x01), D::kIn, 16, false},
      {"status (1, 0)", {0xF1, 0x10, 1, 0xFF, 0, 0, 0, 0, 0, 0}, D::kIn, 8, true},
      {"status, byte 3 not FF", {0xF1, 0x10, 1, 0x00, 0, 0, 0, 0, 0, 0}, D::kIn, 8, false},
      {"status, 4 bytes", {0xF1, 0x10, 1, 0xFF, 0, 0, 0, 0, 0, 0}, D::kIn, 4, false},
      {"set mode", {0xFC, 0, 0x88, 0x33, 0, 0, 0, 0, 0, 0}, D::kIn, 1, true},
      {"set mode, unknown timing", {0xFC, 0, 0x12, 0x33, 0, 0, 0, 0, 0, 0}, D::kIn, 1, false},
      {"set mode, unknown voltage", {0xFC, 0, 0x88, 0x34, 0, 0, 0, 0, 0, 0}, D::kIn, 1, false},
      {"set mode, plane flag 2", {0xFC, 0, 0, 0, 2, 0, 0, 0, 0, 0}, D::kIn, 1, false},
      {"flash ID", {0xFD, 0x10, 0, 0, 0, 0, 0, 0, 0, 0}, D::kIn, 5, true},
      {"flash ID, 6 bytes", {0xFD, 0x10, 0, 0, 0, 0, 0, 0, 0, 0}, D::kIn, 6, false},
      {"flash ID, 12-byte command", {0xFD, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, D::kIn, 5, false},
      {"config", {0xF2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, D::kIn, 34, true},
      {"config, 10-byte command", {0xF2, 0, 0, 0, 0, 0, 0, 0, 0, 0}, D::kIn, 34, false},
      {"RAM read 0x0059", {0xFD, 0, 0, 0, 0x59, 0, 0, 2, 0, 0}, D::kIn, 512, true},
      {"RAM read, length bytes 01 00", {0xFD, 0, 0, 0, 0x59, 0, 1, 0, 0, 0}, D::kIn, 512, false},
      {"prepare download, byte 2 not 1", {0xFD, 0x13, 0, 0, 0, 0, 0, 0, 0, 0}, D::kOut, 0, false},
      {"INQUIRY, length 180", {0x12, 0, 0, 0, 0xB4, 0}, D::kIn, 180, true},
      {"INQUIRY, length bytes disagree", {0x12, 0, 0, 0, 0xB4, 0}, D::kIn, 36, false},
      {"unknown operation code", {0xF3, 0, 0, 0, 0, 0, 0, 0, 0, 0}, D::kIn, 8, false},
  };
  for (const Case& c : cases) {
    uint64_t refusedBefore = Report().refused;
    qv::ScsiResult r = host_->Send(c.cdb, c.dir, buf.data(), c.length);
    EXPECT_EQ(r.delivered, c.accepted) << c.what;
    EXPECT_EQ(Report().refused - refusedBefore, c.accepted ? 0u : 1u) << c.what;
  }
}

TEST_F(SimCommandBytes, RamWritesNeedTheirPrepareAndTheSlice) {
  Make(SmallSpec());
  Bytes chunk(512, 0xFF);
  using D = qv::ScsiDirection;
  // After a completed engine download no download is open.
  EXPECT_FALSE(host_->Send({0xFD, 0, 1, 0xF0, 0, 0, 3, 2, 0, 0, 0, 0}, D::kOut, chunk.data(), 512).delivered);
  host_->Send({0xFD, 0x13, 0x01, 0, 0, 0, 0, 0, 0, 0}, D::kOut, nullptr, 0);
  EXPECT_FALSE(host_->Send({0xFD, 0, 1, 0xE0, 0, 0, 3, 2, 0, 0, 0, 0}, D::kOut, chunk.data(), 512).delivered)
      << "below 0xF000";
  EXPECT_FALSE(host_->Send({0xFD, 0, 1, 0xF1, 0, 0, 3, 2, 0, 0, 0, 0}, D::kOut, chunk.data(), 512).delivered)
      << "not a 512-byte boundary";
  EXPECT_FALSE(host_->Send({0xFD, 0, 1, 0xF0, 0, 0xFF, 3, 2, 0, 0}, D::kOut, chunk.data(), 512).delivered)
      << "discovery form inside an engine download";
  EXPECT_TRUE(host_->Send({0xFD, 0, 1, 0xF0, 0, 0, 3, 2, 0, 0, 0, 0}, D::kOut, chunk.data(), 512).delivered);
}

}  // namespace
}  // namespace simtest
