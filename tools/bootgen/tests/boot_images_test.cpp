#include "tools/bootgen/boot_images.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

using qvboot::Target;

// Images of that role whose downloaded slice serves the target.
std::set<std::string> Serving(qvboot::Role role, const Target& target) {
  std::set<std::string> names;
  for (const bootgen::ImageSpec& desc : bootgen::BootImages()) {
    std::vector<uint8_t> image = bootgen::BuildBootImage(desc);
    if (qvboot::SliceServes(image.data() + qvboot::kSliceOffset, qvboot::kSliceSize, role, target))
      names.insert(desc.entryName);
  }
  return names;
}

struct Row {
  Target target;
  const char* discovery;  // nullptr: no image
  const char* engine;
};

// The selection rows: by tag revision for the KR425, by flash device code
// (0x75 is in the set D, 0xD7 is not) and revision for the others.
const Row kRows[] = {
    {{0x425, {'A', '0'}, 0xD7, 0}, "425\\fw2.BIN", "425\\k425s.bin"},
    {{0x425, {'A', '1'}, 0x75, 0}, "425\\fwa1.BIN", "425\\k425sa1.bin"},
    {{0x425, {'B', '0'}, 0xD7, 1}, nullptr, nullptr},
    {{0x423, {'A', '0'}, 0x75, 1}, "425\\fw2.BIN", "423\\k423s.bin"},
    {{0x423, {'A', '0'}, 0x75, 2}, "423\\CA\\fwt.BIN", "423\\k423s.bin"},
    {{0x423, {'A', '0'}, 0x33, 3}, "423\\DA\\fwt.BIN", "423\\k423s.bin"},
    {{0x423, {'A', '0'}, 0xD7, 1}, "423\\BA\\fw1.BIN", "423\\k423s.bin"},
    {{0x423, {'A', '0'}, 0xD7, 2}, "423\\CA\\fw1.BIN", "423\\k423s.bin"},
    {{0x423, {'A', '0'}, 0xD7, 0}, "423\\DA\\fw1.BIN", "423\\k423s.bin"},
    {{0x436, {'A', '0'}, 0xD7, 5}, "423\\DA\\fw1.BIN", nullptr},
};

TEST(BootImages, EachCaseIsServedByExactlyTheImageItsSelectionNames) {
  for (const Row& row : kRows) {
    std::set<std::string> none;
    SCOPED_TRACE(std::to_string(row.target.controller) + " " + row.target.tagRevision[0] +
                 row.target.tagRevision[1] + " code " + std::to_string(row.target.deviceCode) +
                 " rev " + std::to_string(row.target.revision));
    EXPECT_EQ(Serving(qvboot::kRoleDiscovery, row.target),
              row.discovery ? std::set<std::string>{row.discovery} : none);
    EXPECT_EQ(Serving(qvboot::kRoleEngine, row.target),
              row.engine ? std::set<std::string>{row.engine} : none);
  }
}

TEST(BootImages, ImagesAre64KiBAndNameThemselves) {
  ASSERT_EQ(bootgen::BootImages().size(), 10u);
  for (const bootgen::ImageSpec& desc : bootgen::BootImages()) {
    std::vector<uint8_t> image = bootgen::BuildBootImage(desc);
    ASSERT_EQ(image.size(), 65536u);
    qvboot::Header header;
    std::memcpy(&header, image.data() + qvboot::kSliceOffset, sizeof header);
    EXPECT_STREQ(header.name, desc.entryName);
    EXPECT_EQ(bootgen::BuildBootImage(desc), image);  // the same bytes on every build
  }
}

TEST(BootImages, FirmwareImagesCarryMarkAndVersionAt0xEFF0) {
  for (const char* name : bootgen::kFirmwareEntryNames) {
    std::vector<uint8_t> image = bootgen::BuildFirmwareImage(name);
    ASSERT_EQ(image.size(), 65536u);
    EXPECT_EQ(std::string(image.begin() + 0xEFF0, image.begin() + 0xEFF8), "FW120705") << name;
  }
}

}  // namespace
