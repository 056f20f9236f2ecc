// Pattern data: the five pattern types and the Eval Pattern file stream.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "sortlib/engine/fill_pattern.h"
#include "sortlib/engine/revert_session.h"
#include "tests/engine_support.h"

namespace enginetest {
namespace {

namespace fs = std::filesystem;

constexpr FlashGeometry kGeometry{1, 1100, 8, 4};
constexpr uint32_t kFixedTime = 1700000000;

class EnginePatternTest : public EngineTest {
 public:
  std::unique_ptr<sievex::RevertSession> Open() {
    auto s = std::make_unique<sievex::RevertSession>();
    sievex::OpenSession(s.get(), &device_, &config_, RecordProgress);
    return s;
  }
  // The pattern folder lies beside the test program, which parallel ctest
  // processes share: they take turns on it.
  void SetUp() override {
    lockFd_ = ::open((fs::path(qv::ExecutableDirectory()) / ".eval-pattern.lock").c_str(),
                     O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lockFd_ >= 0) flock(lockFd_, LOCK_EX);
    std::error_code ignored;
    fs::remove_all(PatternFolder(), ignored);
    EngineTest::SetUp();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(PatternFolder(), ignored);
    EngineTest::TearDown();
    if (lockFd_ >= 0) ::close(lockFd_);  // releases the lock
  }
  int lockFd_ = -1;
  static fs::path PatternFolder() { return fs::path(qv::ExecutableDirectory()) / "Eval Pattern"; }
};

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

// The generator written the plain way: x[n] = x[n-157]^x[n-314]^x[n-471]^x[n-9689]
// over a growing sequence whose first 9689 words come from the LCG.
std::vector<uint8_t> LaggedXorBytes(uint32_t seed, size_t count) {
  std::vector<uint32_t> x(9689);
  x[0] = seed;
  for (size_t i = 1; i < x.size(); ++i) x[i] = x[i - 1] * 69069u + 1u;
  std::vector<uint8_t> out;
  for (size_t n = 9689; out.size() < count; ++n) {
    x.push_back(x[n - 157] ^ x[n - 314] ^ x[n - 471] ^ x[n - 9689]);
    out.push_back(static_cast<uint8_t>(x.back() % 255 + 1));
  }
  return out;
}

TEST_F(EnginePatternTest, EachTypeFillsTheBufferWithItsData) {
  MakeFlash(kGeometry);
  config_.m_dwPatternValue = 0xABCD1234;  // (V << 16) + V in 32 bits
  auto s = Open();
  ASSERT_EQ(s->m_dwReady, 1u);
  const uint8_t* p = s->m_pPatternBuffer.get();
  const size_t bytes = s->m_PatternBufferBytes;
  ASSERT_EQ(bytes, kGeometry.SectorsPerBlock() * 512u);

  s->m_bPattern = 0;
  sievex::FillPattern(s.get());
  EXPECT_EQ(Le32(p), 0u);
  EXPECT_EQ(Le32(p + 4 * 1000), 1000u);

  // The runtime's rand starts at 1 on every new thread.
  s->m_bPattern = 1;
  std::thread([&] { sievex::FillPattern(s.get()); }).join();
  EXPECT_EQ(std::vector<uint8_t>(p, p + 3), (std::vector<uint8_t>{0, 56, 19}));

  s->m_bPattern = 2;
  sievex::FillPattern(s.get());
  EXPECT_EQ(std::vector<uint8_t>(p, p + bytes), LaggedXorBytes(kFixedTime, bytes));

  s->m_bPattern = 4;
  sievex::FillPattern(s.get());
  EXPECT_EQ(Le32(p), 0xBE011234u);
  EXPECT_EQ(Le32(p + bytes - 4), 0xBE011234u);
  sievex::CloseSession(s.get());
}

// Partial-block mode with pattern type 3: the stream runs on from file 1
// into file 2, the read phase sees the same data, and the blocks judged
// bad (a sector with three wrong bits, a block that cannot be programmed)
// consume their share so that the blocks after them stay in step. Page 0,
// which the read phase examines first, is not among the written pages.
TEST_F(EnginePatternTest, PatternFilesFeedWriteAndReadAlike) {
  fs::create_directories(PatternFolder());
  std::string stream;
  for (int i = 0; i < 10000; ++i) stream += char(i % 251);
  for (int i = 0; i < 30000; ++i) stream += char((i * 7) % 253);
  qv::WriteNewFile((PatternFolder() / "1.bin").string(), stream.substr(0, 10000));
  qv::WriteNewFile((PatternFolder() / "2.bin").string(), stream.substr(10000));

  FakeFlash& flash = MakeFlash(kGeometry);
  flash.recordWrites = true;
  flash.weakBits[{0, 3}] = 3;
  flash.weakBits[{0, 4}] = 2;  // within the tolerated two bits
  flash.programFailsFrom[{0, 5}] = 0;
  config_.m_bPatternType = 3;
  config_.m_dwPageMode = 1;
  config_.m_bFirstPage = 1;
  config_.m_bPageCount = 2;
  config_.m_dwEraseFirst = 0;
  qv::RegistrySetOverride("TestBlockCount", 9);
  qv::RegistrySetOverride("WriteLog", 1);
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 2);

  const uint32_t blockShare = 2 * 4 * 512;
  std::string written;
  for (const auto& w : flash.writes) {
    if (w.size() == blockShare) written.append(w.begin(), w.end());
  }
  ASSERT_GE(written.size(), 9u * blockShare);
  EXPECT_EQ(written.substr(0, 9 * blockShare), stream.substr(0, 9 * blockShare));
  const std::string log = LogText();
  EXPECT_NE(log.find("<Read Compare fail> Bad block= 3 CE=1\r\r\n"), std::string::npos);
  // Block 5 has no page number to judge (page 0 is not written): its
  // unprogrammed pages fail the comparison.
  EXPECT_NE(log.find("<Read Compare fail> Bad block= 5 CE=1\r\r\n"), std::string::npos);
  EXPECT_NE(log.find("<Read> and <Verify> result: Bad block count = 2\r\n"), std::string::npos);
  // Writes went to pages 1 and 2 of each block only.
  for (const SentCommand& c : flash.Sent()) {
    if (c.opcode == 0xF6 && c.length == blockShare) {
      EXPECT_EQ(c.sector % 32, 4u);
    }
  }
}

TEST_F(EnginePatternTest, MissingPatternFilesEndTheRunInsteadOfSpinning) {
  MakeFlash(kGeometry);
  config_.m_bPatternType = 3;
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 9);
  EXPECT_EQ(SortResult(), 0);
  EXPECT_EQ(boxes_->Texts(), std::vector<std::string>{"Can not read pattern file."});
  EXPECT_EQ(Reports().back().m_dwPercent, 40u);  // erase pass and pattern pass stages
}

}  // namespace
}  // namespace enginetest
