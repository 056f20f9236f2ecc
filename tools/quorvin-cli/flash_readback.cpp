#include "tools/quorvin-cli/flash_readback.h"

#include "dravik/flash_survey.h"
#include "sortlib/device/vendor_commands.h"
#include "sortlib/engine/block_walk.h"

namespace {

constexpr uint32_t kMaxCEs = 4;
constexpr uint32_t kTimeoutSeconds = 200;

// The block commands with the status judged: a command the controller
// refuses (a CHECK CONDITION) must not read as an erased page.
class VendorCommandSource final : public dravik::FlashPageSource {
 public:
  VendorCommandSource(qv::Device& volume, const dravik::DeviceIdentity& geometry)
      : volume_(volume), geometry_(geometry) {}

  bool ReadSpare(uint32_t ce, uint32_t block, uint32_t page, uint8_t* spare) override {
    uint8_t cdb[16];
    sievex::BuildBlockCdb(cdb, sievex::kOpReadSpare, Sector(block, page), CeMask(ce));
    return sievex::SendDataIn(&volume_, cdb, sievex::kBlockCdbLength, kSpareBytes, kTimeoutSeconds, spare) == 1;
  }

  bool ReadPage(uint32_t ce, uint32_t block, uint32_t page, std::vector<uint8_t>* data, uint8_t* spare) override {
    const uint32_t length = geometry_.PageBytes();
    data->assign(length, 0);
    uint8_t cdb[16];
    sievex::BuildReadSectorsCdb(cdb, Sector(block, page), CeMask(ce), length);
    if (sievex::SendDataIn(&volume_, cdb, sievex::kBlockCdbLength, length, kTimeoutSeconds, data->data()) != 1)
      return false;
    return ReadSpare(ce, block, page, spare);
  }

 private:
  static uint8_t CeMask(uint32_t ce) { return static_cast<uint8_t>(1u << (2 * ce)); }
  uint32_t Sector(uint32_t block, uint32_t page) const {
    return block * geometry_.SectorsPerBlock() + page * geometry_.sectorsPerPage;
  }

  qv::Device& volume_;
  const dravik::DeviceIdentity& geometry_;
};

}  // namespace

dravik::DeviceIdentity GeometryOf(const _USBDevceInfo& info) {
  dravik::DeviceIdentity g;
  g.ces = info.m_dwCENo;
  g.planes = info.m_bPlaneCount;
  g.blocksPerCE = info.m_dwBlocksPerCE;
  g.sectorsPerPage = info.m_dwSectorsPerPage;
  g.pagesPerBlock = info.m_dwSectorsPerPage ? info.m_dwSectorsPerBlock / info.m_dwSectorsPerPage : 0;
  // The ranges the sort engine skips are missing from the flash.
  for (uint32_t b = 0; b < g.blocksPerCE; ++b) {
    if (!sievex::IsSkippedFlashBlock(info.m_FlashId, b)) continue;
    if (!g.gaps.empty() && g.gaps.back().second + 1 == b)
      g.gaps.back().second = b;
    else
      g.gaps.emplace_back(b, b);
  }
  return g;
}

bool ReadBlockMap(qv::Device& volume, const _USBDevceInfo& info, const ReadbackProgress& progress,
                  BlockMap* map, std::string* why) {
  const dravik::DeviceIdentity geometry = GeometryOf(info);
  if (geometry.ces == 0 || geometry.ces > kMaxCEs || geometry.blocksPerCE == 0 || geometry.pagesPerBlock == 0 ||
      geometry.sectorsPerPage == 0 || uint64_t(geometry.SectorsPerBlock()) * geometry.blocksPerCE > 0xFFFFFFFFu) {
    *why = "the drive reported no usable flash geometry";
    return false;
  }
  VendorCommandSource source(volume, geometry);
  std::vector<dravik::CeSurvey> survey;
  dravik::SurveyProgress onBlock;
  if (progress) {
    onBlock = [&progress](uint64_t done, uint64_t total) {
      if (done % 256 == 0 || done == total) progress(done, total);
    };
  }
  if (!dravik::SurveyFlash(source, geometry, onBlock, &survey, why)) return false;
  *map = BuildBlockMap(geometry, survey);
  return true;
}
