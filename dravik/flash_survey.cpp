#include "dravik/flash_survey.h"

#include "dravik/block_marks.h"
#include "dravik/repair_transport.h"
#include "sim/repair_commands.h"

namespace dravik {

namespace {

constexpr uint32_t kBlocksPerTablePage = 1024;

std::string Where(const char* what, uint32_t ce, uint32_t block, uint32_t page) {
  return std::string(what) + " failed at CE " + std::to_string(ce) + " block " + std::to_string(block) +
         " page " + std::to_string(page);
}

static_assert(FlashPageSource::kSpareBytes == repaircmd::kSpareBytes);

class RepairServiceSource final : public FlashPageSource {
 public:
  RepairServiceSource(qv::Device& drive, const DeviceIdentity& id) : drive_(drive), id_(id) {}
  bool ReadSpare(uint32_t ce, uint32_t block, uint32_t page, uint8_t* spare) override {
    return dravik::ReadSpare(drive_, ce, block, page, spare);
  }
  bool ReadPage(uint32_t ce, uint32_t block, uint32_t page, std::vector<uint8_t>* data, uint8_t* spare) override {
    return dravik::ReadPage(drive_, id_, ce, block, page, data, spare);
  }

 private:
  qv::Device& drive_;
  const DeviceIdentity& id_;
};

class Survey {
 public:
  Survey(FlashPageSource& source, const DeviceIdentity& id)
      : source_(source), id_(id), lastPage_(id.pagesPerBlock - 1),
        tablePage_(id.blocksPerCE >= kBlocksPerTablePage ? 0 : lastPage_) {}

  bool Block(uint32_t ce, uint32_t block, CeSurvey* s) {
    uint8_t first[FlashPageSource::kSpareBytes], last[FlashPageSource::kSpareBytes];
    bool haveLast = false;
    if (!source_.ReadSpare(ce, block, 0, first)) return Fail("spare read", ce, block, 0);
    auto readLast = [&] {
      if (!haveLast && !source_.ReadSpare(ce, block, lastPage_, last)) return Fail("spare read", ce, block, lastPage_);
      haveLast = true;
      return true;
    };
    if (!s->tableFound) {
      const uint8_t* spare = first;
      if (tablePage_ != 0) {
        if (!readLast()) return false;
        spare = last;
      }
      if (IsTableSpare(spare)) {
        bool isTable = false;
        if (!ReadTable(ce, block, &isTable, s)) return false;
        if (isTable) return true;
      }
    }
    FirstPageVerdict verdict = JudgeFirstPage(first);
    bool marked = verdict == FirstPageVerdict::kMarked;
    if (verdict == FirstPageVerdict::kAskLastPage) {
      if (!readLast()) return false;
      marked = JudgeLastPage(last);
    }
    if (marked) s->marked.push_back(block);
    return true;
  }

  const std::string& Why() const { return why_; }

 private:
  // A candidate whose table page begins "bad_" is the table block: every
  // page of it that carries the table's marks gives entries.
  bool ReadTable(uint32_t ce, uint32_t block, bool* isTable, CeSurvey* s) {
    std::vector<uint8_t> data;
    uint8_t spare[FlashPageSource::kSpareBytes];
    if (!source_.ReadPage(ce, block, tablePage_, &data, spare)) return Fail("page read", ce, block, tablePage_);
    std::vector<uint32_t> entries;
    *isTable = IsTableSpare(spare) && ParseTablePage(data.data(), data.size(), &entries);
    if (!*isTable) return true;
    for (uint32_t page = 0; page < id_.pagesPerBlock; ++page) {
      if (page == tablePage_) continue;
      if (!source_.ReadPage(ce, block, page, &data, spare)) return Fail("page read", ce, block, page);
      if (IsTableSpare(spare)) ParseTablePage(data.data(), data.size(), &entries);
    }
    s->tableFound = true;
    s->tableBlock = block;
    s->listed = std::move(entries);
    return true;
  }

  bool Fail(const char* what, uint32_t ce, uint32_t block, uint32_t page) {
    why_ = Where(what, ce, block, page);
    return false;
  }

  FlashPageSource& source_;
  const DeviceIdentity& id_;
  const uint32_t lastPage_, tablePage_;
  std::string why_;
};

}  // namespace

bool SurveyFlash(qv::Device& drive, const DeviceIdentity& id, const SurveyProgress& progress,
                 std::vector<CeSurvey>* out, std::string* why) {
  RepairServiceSource source(drive, id);
  return SurveyFlash(source, id, progress, out, why);
}

bool SurveyFlash(FlashPageSource& source, const DeviceIdentity& id, const SurveyProgress& progress,
                 std::vector<CeSurvey>* out, std::string* why) {
  std::vector<CeSurvey> survey(id.ces);
  Survey walk(source, id);
  const uint64_t total = uint64_t(id.ces) * id.ExistingBlocksPerCE();
  uint64_t done = 0;
  for (uint32_t ce = 0; ce < id.ces; ++ce) {
    for (uint32_t block = 0; block < id.blocksPerCE; ++block) {
      if (!id.BlockExists(block)) continue;
      if (!walk.Block(ce, block, &survey[ce])) {
        *why = walk.Why();
        return false;
      }
      if (progress) progress(++done, total);
    }
  }
  *out = std::move(survey);
  return true;
}

}  // namespace dravik
