// The state is shared by every handle and process, survives them, and
// stays compact: identical page contents are stored once.
#include <sys/wait.h>

#include <chrono>
#include <set>
#include <thread>

#include "sim/tests/sim_test_host.h"

namespace simtest {
namespace {

class SimState : public RunningDrive {};

TEST_F(SimState, IdenticalContentsAreStoredOnceAndErasedPagesCostNothing) {
  sim::DriveSpec s = SmallSpec();
  s.blocksPerCE = 256;
  s.pagesPerBlock = 256;  // 4 KiB of page entries per block
  s.sectorsPerPage = 2;
  Make(s);
  const uint64_t fresh = Report().stateBytes;
  Bytes pattern = Pattern(Spb(), 3);
  for (uint32_t b = 0; b < spec_.blocksPerCE; ++b) {
    ASSERT_TRUE(host_->Erase(b * Spb(), 0x05));
    ASSERT_TRUE(host_->Write(b * Spb(), 0x05, pattern));
  }
  sim::DriveReport full = Report();
  std::set<Bytes> distinct;
  for (size_t o = 0; o < pattern.size(); o += spec_.PageBytes())
    distinct.insert(Bytes(pattern.begin() + o, pattern.begin() + o + spec_.PageBytes()));
  EXPECT_EQ(full.storedContents, distinct.size()) << "one record per distinct page";
  EXPECT_EQ(full.programmedPages, uint64_t(2) * spec_.blocksPerCE * spec_.pagesPerBlock);
  for (uint32_t b = 0; b < spec_.blocksPerCE; ++b) ASSERT_EQ(host_->Verify(b * Spb(), 0x04), std::make_pair(0, 0));
  for (uint32_t b = 0; b < spec_.blocksPerCE; ++b) ASSERT_TRUE(host_->Erase(b * Spb(), 0x05));
  sim::DriveReport erased = Report();
  EXPECT_EQ(erased.programmedPages, 0u);
  EXPECT_LT(erased.stateBytes, full.stateBytes);
  EXPECT_LE(erased.stateBytes, fresh + full.storedContents * spec_.PageBytes() + 8192);
  EXPECT_EQ(erased.totalErases, uint64_t(2) * 2 * spec_.blocksPerCE);
}

TEST_F(SimState, OtherHandlesAndProcessesSeeTheSameFlash) {
  Make(SmallSpec());
  Bytes data = Pattern(Spb(), 21);
  ASSERT_TRUE(host_->Erase(2 * Spb(), 0x01));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Another process with its own backend and handle, while ours stays open.
    Host other(machine_);
    bool ok = other.Device() && other.Write(2 * Spb(), 0x01, data);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  Bytes back;
  ASSERT_TRUE(host_->Read(2 * Spb(), 0x01, Spb() * 512, &back));
  EXPECT_EQ(back, data);
  EXPECT_EQ(host_->Verify(2 * Spb(), 0x01), std::make_pair(0, 0)) << "the other process's reference";

  // A second handle of this process, and the state after all handles closed.
  Host second(machine_);
  ASSERT_TRUE(second.Write(3 * Spb(), 0x01, data));
  host_.reset();
  Host third(machine_);
  ASSERT_TRUE(third.Read(3 * Spb(), 0x01, Spb() * 512, &back));
  EXPECT_EQ(back, data);
}

TEST_F(SimState, ConcurrentWritersAreSerialised) {
  Make(SmallSpec());
  constexpr int kChildren = 3;
  std::vector<pid_t> children;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Host h(machine_);
      bool ok = h.Device() != nullptr;
      for (uint32_t b = uint32_t(c) * 16; b < uint32_t(c + 1) * 16 && ok; ++b)
        ok = h.Erase(b * Spb(), 0x05) && h.Write(b * Spb(), 0x05, Pattern(Spb(), uint8_t(b)));
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (uint32_t b = 0; b < kChildren * 16; ++b) {
    Bytes back;
    ASSERT_TRUE(host_->Read(b * Spb(), 0x04, Spb() * 512, &back));
    EXPECT_EQ(back, Pattern(Spb(), uint8_t(b))) << b;
  }
}

TEST_F(SimState, ThreadsWithOwnAndSharedHandles) {
  Make(SmallSpec());
  auto work = [&](Host* h, uint32_t first) {
    for (uint32_t b = first; b < first + 8; ++b)
      if (!h->Erase(b * Spb(), 0x05) || !h->Write(b * Spb(), 0x05, Pattern(Spb(), uint8_t(b)))) return false;
    return true;
  };
  Host own(machine_);
  bool a = false, b = false, c = false;
  std::thread t1([&] { a = work(&own, 0); });
  std::thread t2([&] { b = work(host_.get(), 8); });
  std::thread t3([&] { c = work(host_.get(), 16); });
  t1.join();
  t2.join();
  t3.join();
  EXPECT_TRUE(a && b && c);
  for (uint32_t blk = 0; blk < 24; ++blk) EXPECT_EQ(host_->Verify(blk * Spb(), 0x04), std::make_pair(0, 0)) << blk;
}

TEST_F(SimState, TimingModelCountsEveryCommand) {
  Make(SmallSpec());
  double before = Report().modelledSeconds;
  ASSERT_TRUE(host_->Erase(0, 0x01));
  ASSERT_TRUE(host_->Write(0, 0x01, Pattern(Spb(), 1)));
  double after = Report().modelledSeconds;
  const sim::TimingSpec& t = spec_.timing;
  double expected = (2 * t.commandLatencyUs + t.eraseBlockUs + spec_.pagesPerBlock * t.programPageUs +
                     Spb() * 512 / t.bandwidthMBps) / 1e6;
  EXPECT_NEAR(after - before, expected, 1e-6);
}

TEST_F(SimState, SleepFractionStretchesEachCommand) {
  sim::DriveSpec s = SmallSpec();
  s.timing.commandLatencyUs = 20000;
  s.timing.sleepFraction = 0.5;
  Make(s);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(host_->LastOpPassed(), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace simtest
