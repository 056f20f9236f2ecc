// The pieces of the repair that decide what goes into the user area: the
// judgement of bad marks, the "bad_" table pages, and the plan that counts
// bad, reserved and good blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dravik/block_marks.h"
#include "dravik/controller_tag.h"
#include "dravik/user_area_plan.h"

namespace {

using dravik::FirstPageVerdict;

std::vector<uint8_t> Spare(std::initializer_list<uint8_t> first6) {
  std::vector<uint8_t> s(16, 0xFF);
  std::copy(first6.begin(), first6.end(), s.begin());
  return s;
}

TEST(DravikMarks, MarkBytesAreJudgedAsTheRevertJudgesThem) {
  struct Case {
    std::vector<uint8_t> first, last;
    bool marked;
    const char* why;
  };
  const auto erased = Spare({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  const Case cases[] = {
      {Spare({0x00, 0x00, 0x00, 0xFF, 0xF0, 0xFF}), erased, true, "0xF0 has a zero nibble"},
      {Spare({0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), erased, true, "factory mark in the first page"},
      {Spare({0x00, 0x00, 0x00, 0xFF, 0xFE, 0xFF}), erased, false, "0xFE counts not, last page erased"},
      {Spare({0x00, 0x00, 0x00, 0xFF, 0x11, 0x25}), Spare({0x40, 0, 0, 0, 0x0F, 0xFF}), true,
       "unset first marks ask the last page"},
      {erased, Spare({0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), true, "factory mark in the last page"},
      {erased, Spare({0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF}), false, "last page programmed, marks erased"},
      {Spare({0x08, 0x00, 0x00, 0xFF, 0xFF, 0xFF}), Spare({0x0F, 0, 0, 0, 0x00, 0x00}), false,
       "a written first page with erased marks settles it"},
      {erased, erased, false, "a blank block"},
  };
  for (const Case& c : cases) {
    FirstPageVerdict v = dravik::JudgeFirstPage(c.first.data());
    bool marked = v == FirstPageVerdict::kMarked || (v == FirstPageVerdict::kAskLastPage && dravik::JudgeLastPage(c.last.data()));
    EXPECT_EQ(marked, c.marked) << c.why;
  }
}

TEST(DravikMarks, TablePagesGiveTheirEntriesUpToTheFirstFFFF) {
  std::vector<uint8_t> page(64, 0xFF);
  std::memcpy(page.data(), "bad_", 4);
  const uint8_t entries[] = {0x00, 0x07, 0x04, 0x01, 0x03, 0xFF};
  std::memcpy(page.data() + 4, entries, sizeof entries);
  std::vector<uint32_t> listed;
  ASSERT_TRUE(dravik::ParseTablePage(page.data(), page.size(), &listed));
  EXPECT_EQ(listed, (std::vector<uint32_t>{7, 0x401, 0x3FF}));

  // The closing page: "bad_" and nothing listed; a page filled to its end.
  listed.clear();
  std::vector<uint8_t> closing(64, 0xFF), full(12, 0x00);
  std::memcpy(closing.data(), "bad_", 4);
  std::memcpy(full.data(), "bad_", 4);
  ASSERT_TRUE(dravik::ParseTablePage(closing.data(), closing.size(), &listed));
  EXPECT_TRUE(listed.empty());
  ASSERT_TRUE(dravik::ParseTablePage(full.data(), full.size(), &listed));
  EXPECT_EQ(listed.size(), 4u);

  std::vector<uint8_t> other(64, 0x00);
  EXPECT_FALSE(dravik::ParseTablePage(other.data(), other.size(), &listed));
  EXPECT_TRUE(dravik::IsTableSpare(Spare({0x10, 0, 0, 0x00, 0x00, 0x02}).data()));
  EXPECT_FALSE(dravik::IsTableSpare(Spare({0x10, 0, 0, 0x00, 0x00, 0x00}).data()));
}

TEST(DravikTag, ControllerIdsFollowTheFamilyTagRules) {
  struct Case {
    const char* tag;
    uint16_t id;
  };
  for (const Case& c : {Case{"KrffK423A0C0100", 0x423}, Case{"KrffK423A0F0100", 0x436}, Case{"Krff0425A0B", 0x425},
                        Case{"KR1-Krff K423", 0x422}, Case{"Qxs-KR0", 0x428}, Case{"KR2-0100", 0x429},
                        Case{"xxKRyy", 0x421}, Case{"Krff", 0}, Case{"KrffK423", 0x423}, Case{"Generic", 0}}) {
    uint8_t tag[dravik::kTagBytes] = {};
    std::memcpy(tag, c.tag, std::min(std::strlen(c.tag), sizeof tag));
    EXPECT_EQ(dravik::ControllerFromTag(dravik::TagText(tag)), c.id) << c.tag;
  }
}

class DravikPlan : public ::testing::Test {
 protected:
  void SetUp() override {
    id_.ces = 2;
    id_.blocksPerCE = 100;
    id_.pagesPerBlock = 8;
    id_.sectorsPerPage = 4;
    id_.gaps = {{90, 99}};
    survey_.resize(2);
    survey_[0] = {true, 2, {5, 9, 9}, {5, 7}};
    survey_[1] = {true, 0, {}, {}};
  }
  bool Excluded(const dravik::RepairPlan& plan, uint32_t ce, uint32_t block) {
    const uint32_t bit = ce * 100 + block;
    return plan.exclusionBitmap[bit / 8] >> (bit % 8) & 1;
  }
  dravik::DeviceIdentity id_;
  std::vector<dravik::CeSurvey> survey_;
};

TEST_F(DravikPlan, TableBlocksAreReservedAndEachBadBlockCountsOnce) {
  // CE 0 lists 5 and 9 (9 twice), marks 5 and 7; out-of-range and gap
  // entries, and a table that lists its own block, are ignored.
  survey_[0].listed.insert(survey_[0].listed.end(), {95, 100, 60000, 2});
  dravik::RepairPlan plan;
  std::string why;
  ASSERT_TRUE(dravik::PlanUserArea(id_, survey_, &plan, &why)) << why;
  EXPECT_EQ(plan.totalBlocks, 180u);
  EXPECT_EQ(plan.badBlocks, 3u);
  EXPECT_EQ(plan.reservedBlocks, 2u);
  EXPECT_EQ(plan.goodBlocks, 175u);
  EXPECT_EQ(plan.userSectors, 175u * 32);
  EXPECT_EQ(plan.exclusionBitmap.size(), 512u);
  for (uint32_t b : {2u, 5u, 7u, 9u}) EXPECT_TRUE(Excluded(plan, 0, b)) << b;
  EXPECT_TRUE(Excluded(plan, 1, 0));
  for (uint32_t b : {0u, 1u, 3u, 95u}) EXPECT_FALSE(Excluded(plan, 0, b)) << b;
  EXPECT_FALSE(Excluded(plan, 1, 2));
}

TEST_F(DravikPlan, ACeWithoutATableOrNoGoodBlockFails) {
  dravik::RepairPlan plan;
  std::string why;
  survey_[1].tableFound = false;
  EXPECT_FALSE(dravik::PlanUserArea(id_, survey_, &plan, &why));
  EXPECT_NE(why.find("CE 1"), std::string::npos) << why;

  id_.ces = 1;
  id_.blocksPerCE = 3;
  id_.gaps.clear();
  survey_ = {{true, 0, {1}, {2}}};
  EXPECT_FALSE(dravik::PlanUserArea(id_, survey_, &plan, &why));
  EXPECT_EQ(why, "no good block is left");
}

}  // namespace
