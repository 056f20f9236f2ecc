#include "tests/engine_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/module.h"
#include "app/console/sievex_import.h"
#include "platform/registry.h"
#include "sortlib/engine/run_revert.h"

namespace enginetest {

namespace fs = std::filesystem;

_KVConfig ProgramConfig() { return ProgramRevertConfig(); }

std::vector<sievex::SortProgress>& Reports() {
  static std::vector<sievex::SortProgress> reports;
  return reports;
}

void RecordProgress(void* record) {
  Reports().push_back(*static_cast<const sievex::SortProgress*>(record));
}

void EnsureBootImages() {
  const fs::path bin = qv::ExecutableDirectory();
  for (const char* name : {"Boot/425/k425s.bin", "Boot/425/k425sa1.bin", "Boot/423/k423s.bin"}) {
    const fs::path image = bin / name;
    if (fs::exists(image)) continue;
    fs::create_directories(image.parent_path());
    qv::WriteNewFile(image.string(), std::string(0x6000, '\x5A'));
  }
}

void EngineTest::SetUp() {
  EnsureBootImages();
  Reports().clear();
  qv::RegistryClearOverrides();
  qv::RegistrySetOverride("WriteLog", 0);
  qv::SetFixedTime(1700000000);
  boxes_ = std::make_unique<qv::MessageBoxRecorder>();
  previousFolder_ = qv::GetCurrentDirectory();
  char pattern[] = "/tmp/engine_test_XXXXXX";
  folder_ = mkdtemp(pattern);
  qv::SetCurrentDirectory(folder_);
  config_ = ProgramConfig();
}

void EngineTest::TearDown() {
  qv::SetStorageBackend(nullptr);
  qv::RegistryClearOverrides();
  qv::SetFixedTime(std::nullopt);
  boxes_.reset();
  qv::SetCurrentDirectory(previousFolder_);
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

FakeFlash& EngineTest::MakeFlash(FlashGeometry g, uint32_t controller) {
  flash_ = std::make_unique<FakeFlash>(g);
  storage_ = std::make_unique<FakeStorage>(flash_.get());
  qv::SetStorageBackend(storage_.get());
  std::strcpy(device_.m_szDrive, "E:");
  device_.m_dwController = controller;
  device_.m_dwFound = 1;
  device_.m_dwCENo = g.ces;
  const uint8_t id[5] = {0x98, 0xD7, 0x95, 0x32, 0x7A};
  std::memcpy(device_.m_FlashId, id, 5);
  device_.m_bPlaneCount = 1;
  device_.m_dwMLC = 1;
  device_.m_dwPagesPerBlock = g.pagesPerBlock;
  device_.m_dwSectorsPerPage = g.sectorsPerPage;
  device_.m_dwSectorsPerBlock = g.SectorsPerBlock();
  device_.m_dwBlocksPerCE = g.blocksPerCE;
  device_.m_pConfig = &config_;
  return *flash_;
}

int EngineTest::Run() {
  device_.m_bStop = 0;
  config_.m_bStageCount = 1;  // as StartSort stores it
  return sievex::RunRevert(&device_, 0, RecordProgress);
}

int EngineTest::SortResult() const {
  const uint8_t s = device_.m_bState;
  return (s == 0 || s == 1 || s == 8 || s == 9) ? 0 : 1;
}

std::string EngineTest::LogText() const {
  std::string text;
  qv::ReadWholeFile(folder_ + "/RevertLog01.txt", &text);
  return text;
}

std::vector<uint32_t> EngineTest::Percents() const {
  std::vector<uint32_t> out;
  for (const auto& r : Reports()) {
    if (out.empty() || out.back() != r.m_dwPercent) out.push_back(r.m_dwPercent);
  }
  return out;
}

}  // namespace enginetest
