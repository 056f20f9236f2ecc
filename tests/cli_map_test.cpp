// The block map of quorvin-cli: from the survey to the picture, and the
// read-back refusing what the drive refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/storage.h"
#include "platform/tests/temp_dir.h"
#include "sim/sim_api.h"
#include "tests/png_decode.h"
#include "tools/quorvin-cli/drive_map.h"
#include "tools/quorvin-cli/flash_readback.h"
#include "tools/quorvin-cli/map_picture.h"

namespace {

dravik::DeviceIdentity Geometry(uint32_t ces, uint32_t blocks) {
  dravik::DeviceIdentity g;
  g.ces = ces;
  g.blocksPerCE = blocks;
  g.pagesPerBlock = 16;
  g.sectorsPerPage = 8;
  return g;
}

// CE 0: table in block 0, 5 marked and listed, 9 only listed, 200 listed
// but beyond the flash. CE 1: table in block 2, 3 marked only.
BlockMap SampleMap() {
  dravik::DeviceIdentity g = Geometry(2, 150);
  g.gaps = {{140, 149}};
  std::vector<dravik::CeSurvey> survey(2);
  survey[0] = {true, 0, {5, 9, 200, 145}, {5}};
  survey[1] = {true, 2, {}, {3}};
  return BuildBlockMap(g, survey);
}

TEST(BlockMapTest, MarksWinOverListingsAndGapsAreAbsent) {
  BlockMap map = SampleMap();
  ASSERT_EQ(map.ces.size(), 2u);
  EXPECT_EQ(map.ces[0][0], BlockKind::kTable);
  EXPECT_EQ(map.ces[0][5], BlockKind::kMarked);
  EXPECT_EQ(map.ces[0][9], BlockKind::kFoundBad);
  EXPECT_EQ(map.ces[0][145], BlockKind::kAbsent);  // listed, but the flash lacks it
  EXPECT_EQ(map.ces[1][2], BlockKind::kTable);
  EXPECT_EQ(map.ces[1][3], BlockKind::kMarked);
  BlockCounts c = map.Count(0);
  EXPECT_EQ(c.good, 150u - 10 - 3);
  EXPECT_EQ(c.foundBad, 1u);
  EXPECT_EQ(c.marked, 1u);
  EXPECT_EQ(c.table, 1u);
  EXPECT_EQ(c.absent, 10u);
}

TEST(BlockMapTest, GeometryCarriesTheBlocksTheEngineSkips) {
  _USBDevceInfo info{};
  const uint8_t id[5] = {0x45, 0xC5, 0x95, 0xA5, 0xEA};
  std::memcpy(info.m_FlashId, id, 5);
  info.m_dwCENo = 1;
  info.m_dwBlocksPerCE = 16384;
  info.m_dwSectorsPerPage = 8;
  info.m_dwSectorsPerBlock = 1024;
  dravik::DeviceIdentity g = GeometryOf(info);
  EXPECT_EQ(g.pagesPerBlock, 128u);
  using Gaps = std::vector<std::pair<uint32_t, uint32_t>>;
  EXPECT_EQ(g.gaps, (Gaps{{4146, 8191}, {13312, 16383}}));
  info.m_FlashId[0] = 0xEC;
  EXPECT_TRUE(GeometryOf(info).gaps.empty());
}

TEST(MapPictureTest, FileNamesAndFormats) {
  struct Case {
    const char* path;
    MapFormat format;
  } cases[] = {{"map.png", MapFormat::kPng}, {"A/B.SVG", MapFormat::kSvg}, {"x.Png", MapFormat::kPng},
               {".png", MapFormat::kUnknown}, {"map.jpg", MapFormat::kUnknown}, {"png", MapFormat::kUnknown}};
  for (const Case& c : cases) EXPECT_EQ(MapFormatOf(c.path), c.format) << c.path;
  EXPECT_EQ(MapPathFor("out/map.png", 'E', 1), "out/map.png");
  EXPECT_EQ(MapPathFor("out/map.v2.svg", 'F', 3), "out/map.v2-F.svg");
}

TEST(MapPictureTest, LayoutRowsAndColumns) {
  struct Case {
    uint32_t blocks, columns, rows;
  } cases[] = {{1, 1, 1}, {64, 64, 1}, {128, 128, 1}, {129, 128, 2}, {2048, 128, 16}};
  for (const Case& c : cases) {
    BlockMap map = BuildBlockMap(Geometry(1, c.blocks), std::vector<dravik::CeSurvey>(1));
    MapLayout l = LayOut(map);
    EXPECT_EQ(l.columns, c.columns) << c.blocks;
    EXPECT_EQ(l.rowsPerCE, c.rows) << c.blocks;
    // The last block's cell lies inside the picture, with the margin kept.
    EXPECT_LE(l.CellX(c.blocks - 1) + MapLayout::kPitch + MapLayout::kMargin, l.width + 1) << c.blocks;
    EXPECT_LE(l.CellY(0, c.blocks - 1) + MapLayout::kPitch + MapLayout::kMargin, l.height + 1) << c.blocks;
  }
}

TEST(MapPictureTest, EveryCellShowsItsKindAndTheBandsDoNotOverlap) {
  BlockMap map = SampleMap();
  MapLayout l = LayOut(map);
  MapImage image = RenderMap(map);
  ASSERT_EQ(image.width, l.width);
  ASSERT_EQ(image.height, l.height);
  for (uint32_t ce = 0; ce < 2; ++ce)
    for (uint32_t b = 0; b < map.blocksPerCE; ++b) {
      const uint32_t x = l.CellX(b), y = l.CellY(ce, b);
      ASSERT_EQ(image.At(x, y), ColourOf(map.ces[ce][b])) << ce << ":" << b;
      ASSERT_EQ(image.At(x + MapLayout::kCell - 1, y + MapLayout::kCell - 1), ColourOf(map.ces[ce][b]));
      ASSERT_EQ(image.At(x + MapLayout::kCell, y), (Rgb{0xFF, 0xFF, 0xFF})) << "gap after " << b;
    }
  EXPECT_GT(l.BandTop(1), l.CellY(0, map.blocksPerCE - 1) + MapLayout::kPitch);
  for (BlockKind k : {BlockKind::kGood, BlockKind::kMarked, BlockKind::kAbsent})
    EXPECT_EQ(image.At(l.SwatchX(k) + 3, MapLayout::kSwatchY + 3), ColourOf(k));
}

TEST(MapPictureTest, PngFileDecodesToTheRenderedPixels) {
  TempDir dir;
  BlockMap map = SampleMap();
  std::string why;
  const std::string path = dir / "map.png";
  { std::ofstream(path) << "an older picture"; }
  ASSERT_TRUE(WriteMapFile(path, map, "E:", &why)) << why;
  DecodedPng png = DecodePng(path);
  ASSERT_TRUE(png.error.empty()) << png.error;
  MapImage rendered = RenderMap(map);
  EXPECT_EQ(png.width, rendered.width);
  EXPECT_EQ(png.height, rendered.height);
  EXPECT_EQ(png.rgb, rendered.rgb);
  // Only the picture is left: no temporary sibling.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  EXPECT_FALSE(WriteMapFile(dir / "no/such/folder/map.png", map, "E:", &why));
  EXPECT_NE(why.find("cannot create"), std::string::npos) << why;
  EXPECT_FALSE(CanWriteMap(dir / "no/such/map.png", &why));
  EXPECT_FALSE(CanWriteMap(dir.path(), &why));
  EXPECT_TRUE(CanWriteMap(dir / "new.png", &why)) << why;
}

TEST(MapPictureTest, SvgNamesTheCountsAndEveryBadRun) {
  std::string svg = MapSvg(SampleMap(), "E: <KR425> & \"friends\"");
  EXPECT_NE(svg.find("<title>E: &lt;KR425&gt; &amp; &quot;friends&quot;</title>"), std::string::npos);
  EXPECT_NE(svg.find("CE 0: 137 good, 1 found bad in testing, 1 marked bad, 1 table, 10 not present"),
            std::string::npos);
  EXPECT_NE(svg.find("<title>CE 0 block 5: marked bad</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>CE 0 block 9: found bad in testing</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>CE 1 block 2: bad-block table</title>"), std::string::npos);
  // A gap that crosses a row boundary is split at the row: 140..149 with
  // 128 columns lies in row 1 only.
  EXPECT_NE(svg.find("<title>CE 0 blocks 140-149: not present</title>"), std::string::npos);
  EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
}

// A controller that refuses the block commands (here: it still runs its
// ROM, no revert loaded the engine code) gives no map rather than a map of
// erased blocks.
TEST(FlashReadbackTest, RefusedCommandsGiveNoMap) {
  TempDir dir;
  sim::DriveSpec desc;
  desc.letter = 'E';
  desc.diskNumber = 1;
  desc.controller = 0x425;
  desc.ces = 1;
  desc.blocksPerCE = 64;
  desc.pagesPerBlock = 16;
  desc.sectorsPerPage = 8;
  ASSERT_TRUE(sim::CreateDrive(dir / "machine", desc));
  auto storage = qv::CreateSimStorage(dir / "machine");
  qv::SetStorageBackend(storage.get());
  auto volume = qv::OpenDevice("\\\\.\\E:", qv::kOpenRead | qv::kOpenWrite);
  ASSERT_TRUE(volume);
  _USBDevceInfo info{};
  info.m_dwCENo = 1;
  info.m_dwBlocksPerCE = 64;
  info.m_dwSectorsPerPage = 8;
  info.m_dwSectorsPerBlock = 128;
  BlockMap map;
  std::string why;
  EXPECT_FALSE(ReadBlockMap(*volume, info, nullptr, &map, &why));
  EXPECT_EQ(why, "spare read failed at CE 0 block 0 page 0");
  info.m_dwCENo = 0;
  EXPECT_FALSE(ReadBlockMap(*volume, info, nullptr, &map, &why));
  EXPECT_NE(why.find("geometry"), std::string::npos);
  volume.reset();
  qv::SetStorageBackend(nullptr);
}

}  // namespace
