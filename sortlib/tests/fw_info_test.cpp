// The KR425 parameter block built from a device record and a configuration.
#include <gtest/gtest.h>

#include <cstring>

#include "sortlib/device/identification.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/interface/kv_config.h"
#include "sortlib/tests/test_files.h"

namespace {

void FillSample(SortDevice& d) {
  const uint8_t id[5] = {0x2C, 0x12, 0x34, 0x56, 0x78};
  std::memcpy(d.m_FlashId, id, 5);
  d.m_dwBlocksPerCE = 0x1234;
  d.m_dwSectorsPerPage = 16;
  d.m_dwSectorsPerBlock = 0x10000 * 16 + 16 * 3;  // 16-bit result: 3
  d.m_bPlaneCount = 2;
  d.m_dwCENo = 4;
  d.m_dwDualMode = 1;
  d.m_dw16Bit = 1;
  d.m_wStartGapBlock = 0x0800;
  d.m_wGapBlockSize = 0x0102;
  d.m_wEccCode = 8;
}

TEST(SievexFWInfo, FieldsAreBigEndianAtTheirOffsets) {
  sievex_test::RemoveFlashDatabase();
  SortDevice d;
  FillSample(d);
  _KVConfig config{};
  config.m_dwMultiPlane = 1;
  config.m_bTimingIndex = 3;
  config.m_bVoltageIndex = 2;
  config.m_dwAltPages = 5;
  uint8_t out[512];
  std::memset(out, 0xEE, sizeof out);
  sievex::BuildFWInfo(&d, &config, out);
  const uint8_t head[0x1A] = {0x12, 0x34, 0x00, 0x10, 0x00, 0x03, 0x80, 2,    1,
                              4,    1,    1,    1,    0x88, 0x33, 0x80, 0x2C, 0x12,
                              0x34, 0x56, 0x78, 0x08, 0x00, 0x01, 0x02, 2};
  for (size_t i = 0; i < sizeof head; ++i) EXPECT_EQ(out[i], head[i]) << "offset " << i;
  for (size_t i = sizeof head; i < 512; ++i) ASSERT_EQ(out[i], 0) << "offset " << i;
}

TEST(SievexFWInfo, DerivedBytes) {
  struct Case {
    const char* name;
    void (*change)(SortDevice*, _KVConfig*);
    size_t offset;
    uint8_t value;
  };
  const Case cases[] = {
      {"ECC 14 redundant size", [](SortDevice* d, _KVConfig*) { d->m_wEccCode = 14; }, 0x06, 0xDA},
      {"ECC 6 redundant size", [](SortDevice* d, _KVConfig*) { d->m_wEccCode = 6; }, 0x06, 0},
      {"one plane: no multi-plane", [](SortDevice* d, _KVConfig*) { d->m_bPlaneCount = 1; }, 0x0A, 0},
      {"multi-plane not allowed", [](SortDevice*, _KVConfig* c) { c->m_dwMultiPlane = 0; }, 0x0A, 0},
      {"Intel flash two-plane command", [](SortDevice* d, _KVConfig*) { d->m_FlashId[0] = 0x89; },
       0x0F, 0x80},
      {"other flash two-plane command", [](SortDevice* d, _KVConfig*) { d->m_FlashId[0] = 0x98; },
       0x0F, 0x81},
      {"no alternate pages", [](SortDevice*, _KVConfig* c) { c->m_dwAltPages = 0; }, 0x19, 0},
      // Indices beyond the code tables give the codes of index 0.
      {"timing index 5", [](SortDevice*, _KVConfig* c) { c->m_bTimingIndex = 5; }, 0x0D, 0x00},
      {"timing index 4", [](SortDevice*, _KVConfig* c) { c->m_bTimingIndex = 4; }, 0x0D, 0xCC},
      {"voltage index 3", [](SortDevice*, _KVConfig* c) { c->m_bVoltageIndex = 3; }, 0x0E, 0x77},
      {"voltage index 255", [](SortDevice*, _KVConfig* c) { c->m_bVoltageIndex = 255; }, 0x0E, 0x77},
      // A drive that reports no sectors per page must not divide by zero.
      {"no sectors per page", [](SortDevice* d, _KVConfig*) { d->m_dwSectorsPerPage = 0; }, 0x05, 0},
  };
  sievex_test::RemoveFlashDatabase();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SortDevice d;
    FillSample(d);
    _KVConfig config{};
    config.m_dwMultiPlane = 1;
    config.m_dwAltPages = 1;
    c.change(&d, &config);
    uint8_t out[512];
    sievex::BuildFWInfo(&d, &config, out);
    EXPECT_EQ(out[c.offset], c.value);
  }
}

TEST(SievexFWInfo, DatabaseRedundantSizeWins) {
  sievex_test::WriteFlashDatabase("[x]\nFID=0x2c,0x12,0x34,0x56,0x78\nRedudantSize=64\n");
  SortDevice d;
  FillSample(d);
  uint8_t out[512];
  sievex::BuildFWInfo(&d, nullptr, out);
  EXPECT_EQ(out[0x06], 64);
  EXPECT_EQ(out[0x0A], 0);  // a missing configuration reads as all zero
  sievex_test::RemoveFlashDatabase();
}

}  // namespace
