// Bad-block marks as the engine reads them, and the "bad_" table.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "sortlib/engine/bad_block_marks.h"
#include "sortlib/engine/revert_session.h"
#include "tests/engine_support.h"

namespace enginetest {
namespace {

using Bytes = std::vector<uint8_t>;
using Blocks = std::vector<std::pair<uint32_t, uint32_t>>;

class EngineMarksTest : public EngineTest {};

TEST_F(EngineMarksTest, SpareBytesThatCountAsAMark) {
  struct Case {
    const char* name;
    int written;
    Bytes first, last;
    bool marked;
    bool lastPageLine;
  };
  const Bytes ff(16, 0xFF);
  auto with = [&](std::initializer_list<std::pair<int, uint8_t>> set) {
    Bytes b = ff;
    for (auto [i, v] : set) b[i] = v;
    return b;
  };
  // Block 9 of 8-page blocks: page number 72 = 0x48.
  const Case cases[] = {
      {"F0 in byte 4", 0, with({{4, 0xF0}}), ff, true, false},
      {"each nibble rule value", 0, with({{5, 0x05}}), ff, true, false},
      {"FE is no mark", 0, with({{4, 0xFE}}), ff, false, false},
      {"11 is no mark, last page written", 0, with({{4, 0x11}}), with({{0, 0x00}, {3, 0x00}}), false, true},
      {"mark in the last page", 0, ff, with({{5, 0x00}}), true, false},
      {"read phase: wrong page number", 1, with({{0, 0x47}, {1, 0}, {2, 0}}), ff, true, false},
      {"read phase: right page number", 1, with({{0, 0x48}, {1, 0}, {2, 0}}), with({{0, 0x4F}, {1, 0}, {2, 0}}),
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFlash& flash = MakeFlash({1, 64, 8, 4});
    qv::RegistrySetOverride("WriteLog", 1);
    flash.SetSpare(0, 9, 0, c.first);
    flash.SetSpare(0, 9, 7, c.last);
    sievex::RevertSession s;
    sievex::OpenSession(&s, &device_, &config_, RecordProgress);
    s.m_bCEMask = 0x01;
    EXPECT_EQ(sievex::IsBlockMarkedBad(&s, 9, c.written), c.marked ? 1 : 0);
    EXPECT_EQ(s.m_dwBadCount, c.marked ? 1u : 0u);
    sievex::CloseSession(&s);
    const std::string log = LogText();
    EXPECT_EQ(log.find("(L)<<Bad block mark offset 0~3 not all 0xFF>> blk=9.\r\n") != std::string::npos,
              c.lastPageLine);
  }
}

// The table lists the found-bad blocks of each 1024-block range on its own
// page; with fewer than 1024 blocks only the closing page is written.
TEST_F(EngineMarksTest, TablePagesByBlockRange) {
  {
    FakeFlash& flash = MakeFlash({1, 2048, 8, 4});
    flash.weakBits[{0, 5}] = 3;
    flash.weakBits[{0, 1030}] = 3;
    flash.marksDoNotHold.insert({0, 1030});
    qv::RegistrySetOverride("WriteLog", 1);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(device_.m_bState, 2);
    EXPECT_EQ(flash.MarkedBlocks(), (Blocks{{0, 5}}));
    ASSERT_EQ(flash.TableBlocks(), (Blocks{{0, 0}}));
    const Bytes page0 = flash.PageData(0, 0, 0), page1 = flash.PageData(0, 0, 1);
    EXPECT_EQ(Bytes(page0.begin(), page0.begin() + 7), (Bytes{'b', 'a', 'd', '_', 0x00, 0x05, 0xFF}));
    EXPECT_EQ(Bytes(page1.begin(), page1.begin() + 7), (Bytes{'b', 'a', 'd', '_', 0x04, 0x06, 0xFF}));
    EXPECT_FALSE(flash.Programmed(0, 0, 2));
    const Bytes closing = flash.PageData(0, 0, 7);
    EXPECT_EQ(Bytes(closing.begin(), closing.begin() + 5), (Bytes{'b', 'a', 'd', '_', 0xFF}));
    EXPECT_EQ(flash.PageSpare(0, 0, 0), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
                                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    // Recorded: one mark and one block listed only in the table.
    EXPECT_NE(LogText().find("Check total bad block count= 2\r\n"), std::string::npos);
    EXPECT_EQ(Reports().back().m_dwBadBlocks, 2u);
  }
  {
    FakeFlash& flash = MakeFlash({1, 512, 8, 4});
    flash.weakBits[{0, 0}] = 3;  // the table goes to the first good block
    ASSERT_EQ(Run(), 1);
    ASSERT_EQ(flash.TableBlocks(), (Blocks{{0, 1}}));
    for (uint32_t page = 0; page < 7; ++page) EXPECT_FALSE(flash.Programmed(0, 1, page)) << page;
  }
}

// A blank verify failure whose mark cannot be written at all fails the
// run as a block that cannot be marked.
TEST_F(EngineMarksTest, BlankCheckMarkThatCannotBeWritten) {
  FakeFlash& flash = MakeFlash({1, 1100, 8, 4});
  config_.m_bTestLevel = 2;
  flash.stuckWhenErased.insert({0, 42});
  flash.programFailsFrom[{0, 42}] = 0;
  qv::RegistrySetOverride("WriteLog", 1);
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(device_.m_bState, 1);
  EXPECT_EQ(SortResult(), 0);
  const std::string log = LogText();
  EXPECT_NE(log.find("Can not mark block 2a to bad.<Read compare>\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Check total bad block count"), std::string::npos);
  EXPECT_TRUE(flash.TableBlocks().empty());
  EXPECT_EQ(Reports().back().m_dwPercent, 100u);
}

}  // namespace
}  // namespace enginetest
