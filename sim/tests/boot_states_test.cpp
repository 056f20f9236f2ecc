// ROM → discovery code → engine code, with right and wrong images, FWInfo
// agreement on a KR425, the re-plug rule of a KR423 with firmware.
#include "sim/tests/sim_test_host.h"

namespace simtest {
namespace {

class SimBoot : public PluggedDrive {
 protected:
  bool BlockCommandsWork() {
    Bytes out;
    return host_->Erase(0, 0x01) && host_->Spare(0, 0x01, &out);
  }
  void Replug() {
    std::string folder = sim::DriveFolder(machine_, spec_);
    ASSERT_TRUE(sim::SetPlugged(folder, false));
    ASSERT_TRUE(sim::SetPlugged(folder, true));
    host_->Reopen();
    ASSERT_NE(host_->Device(), nullptr);
  }
};

TEST_F(SimBoot, InquiryCarriesTheTagAndRomAnswersOnlyIdentification) {
  Make(SmallSpec(0x425));
  Bytes inq, id, config;
  ASSERT_TRUE(host_->Inquiry(&inq));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&inq[36]), 11), "KrffK425A0C");
  ASSERT_TRUE(host_->FlashId(&id));
  EXPECT_EQ(id, Bytes(spec_.flashId.begin(), spec_.flashId.end()));
  uint8_t ecc = 0;
  EXPECT_TRUE(host_->EccByte(&ecc));
  EXPECT_EQ(ecc, spec_.eccByte);
  EXPECT_FALSE(host_->ReadConfig(&config)) << "ROM state";
  EXPECT_FALSE(BlockCommandsWork());
  EXPECT_EQ(Report().state, sim::ControllerState::kRom);
}

TEST_F(SimBoot, DiscoveryImagesAreJudgedByTheirHeader) {
  Make(SmallSpec(0x425));
  qvboot::Case a0 = ForController(0x425);
  a0.tagRevision[0] = 'A';
  a0.tagRevision[1] = '0';
  qvboot::Case a1 = a0;
  a1.tagRevision[1] = '1';
  qvboot::Case otherInD{};  // "fw2": other controllers, device code in D, revision 1
  otherInD.controller = 0x425;
  otherInD.controllerMatch = qvboot::kControllerOther;
  otherInD.deviceCodeMatch = qvboot::kDeviceCodeInD;
  otherInD.revision = 1;
  Bytes config;
  Bytes noHeader(qvboot::kSliceSize, 0xFF);
  EXPECT_FALSE(host_->BootDiscovery(noHeader));
  EXPECT_FALSE(host_->BootDiscovery(Slice(qvboot::kRoleDiscovery, {a1})));
  EXPECT_FALSE(host_->BootDiscovery(Slice(qvboot::kRoleDiscovery, {otherInD})));
  EXPECT_FALSE(host_->BootDiscovery(Slice(qvboot::kRoleEngine, {a0}))) << "an engine image";
  EXPECT_FALSE(host_->ReadConfig(&config));
  // A short image padded with 0xFF still carries its header.
  ASSERT_TRUE(host_->BootDiscovery(Slice(qvboot::kRoleDiscovery, {a1, a0}, 200)));
  ASSERT_TRUE(host_->ReadConfig(&config));
  EXPECT_EQ(config[2], spec_.pagesPerBlock);
  EXPECT_EQ(config[4], spec_.blocksPerCE);
  EXPECT_EQ(config[5], 1);
  EXPECT_EQ(config[6], spec_.ces);
  EXPECT_EQ(config[7] << 8 | config[8], int(spec_.SectorsPerBlock()));
  EXPECT_EQ(config[21], spec_.planes);
  EXPECT_EQ(config[1], 0x10) << "MLC";
  EXPECT_EQ(Report().state, sim::ControllerState::kDiscovery);
}

TEST_F(SimBoot, StartWithoutACompleteDownloadFails) {
  Make(SmallSpec(0x423));
  Bytes slice = Slice(qvboot::kRoleDiscovery, {ForController(0x423)});
  host_->Send({0xFD, 0x14, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, nullptr, 0);
  for (unsigned k = 0; k < 7; ++k) {  // seven of eight chunks
    uint16_t a = uint16_t(0xF000 + 512 * k);
    host_->Send({0xFD, 0x00, 0x01, uint8_t(a >> 8), 0, 0xFF, 0x03, 0x02, 0, 0}, qv::ScsiDirection::kOut,
                slice.data() + 512 * k, 512);
  }
  EXPECT_FALSE(Host::Ok(host_->Send({0xFD, 0x11, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, nullptr, 0)));
  EXPECT_TRUE(host_->BootDiscovery(slice));
}

TEST_F(SimBoot, EngineImageMustServeTheController) {
  Make(SmallSpec(0x423));
  ASSERT_TRUE(host_->BootDiscovery(Slice(qvboot::kRoleDiscovery, {ForController(0x423)})));
  EXPECT_FALSE(BlockCommandsWork()) << "discovery code runs no block commands";
  EXPECT_FALSE(host_->BootEngine(Slice(qvboot::kRoleEngine, {ForController(0x425)})));
  EXPECT_FALSE(BlockCommandsWork());
  EXPECT_FALSE(host_->BootEngine(Slice(qvboot::kRoleDiscovery, {ForController(0x423)})));
  EXPECT_FALSE(BlockCommandsWork());
  ASSERT_TRUE(host_->BootEngine(Slice(qvboot::kRoleEngine, {ForController(0x423)})));
  EXPECT_TRUE(BlockCommandsWork());
  Bytes config;
  EXPECT_TRUE(host_->ReadConfig(&config)) << "the engine code answers the config read too";
  EXPECT_FALSE(host_->WriteFWInfo(FWInfo(spec_))) << "a KR423 takes no FWInfo";
  // A new discovery download restarts the controller with that image.
  ASSERT_TRUE(host_->BootDiscovery(Slice(qvboot::kRoleDiscovery, {ForController(0x423)})));
  EXPECT_FALSE(BlockCommandsWork());
}

TEST_F(SimBoot, Kr425NeedsAnAgreeingFWInfo) {
  Make(SmallSpec(0x425));
  ASSERT_TRUE(host_->BootEngine(Slice(qvboot::kRoleEngine, {ForController(0x425)})));
  EXPECT_FALSE(BlockCommandsWork()) << "no FWInfo yet";
  struct Case {
    const char* what;
    size_t offset;
  } disagreeing[] = {{"blocks per CE", 1}, {"sectors per page", 3}, {"pages per block", 5}, {"CE count", 9}};
  for (const Case& c : disagreeing) {
    Bytes f = FWInfo(spec_);
    f[c.offset] ^= 0x01;
    ASSERT_TRUE(host_->WriteFWInfo(f));
    EXPECT_FALSE(BlockCommandsWork()) << c.what;
    EXPECT_EQ(Report().fwInfo, 2) << c.what;
  }
  ASSERT_TRUE(host_->WriteFWInfo(FWInfo(spec_)));
  EXPECT_TRUE(BlockCommandsWork());
  // The next download throws the FWInfo away.
  ASSERT_TRUE(host_->BootEngine(Slice(qvboot::kRoleEngine, {ForController(0x425)})));
  EXPECT_FALSE(BlockCommandsWork());
}

TEST_F(SimBoot, PlugRestartsInRomAndClearsTheReplugDemand) {
  sim::DriveSpec s = SmallSpec(0x423);
  s.hasFirmware = true;
  Make(s);
  ASSERT_TRUE(host_->BootEngine(Slice(qvboot::kRoleEngine, {ForController(0x423)})));
  EXPECT_TRUE(Report().replugPending) << "a KR423 with firmware keeps running the engine code";
  Bytes capacity(8);
  EXPECT_FALSE(host_->Send({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, qv::ScsiDirection::kIn, capacity.data(), 8).delivered);
  EXPECT_NE(Report().lastRefusal.find("re-plug"), std::string::npos) << Report().lastRefusal;
  Replug();
  sim::DriveReport r = Report();
  EXPECT_FALSE(r.replugPending);
  EXPECT_EQ(r.state, sim::ControllerState::kRom);
  EXPECT_EQ(r.plugCount, 1u);
  EXPECT_FALSE(BlockCommandsWork());
}

TEST_F(SimBoot, NoReplugDemandForKr425OrKr423WithoutFirmware) {
  for (uint16_t model : {uint16_t(0x425), uint16_t(0x423)}) {
    sim::DriveSpec s = SmallSpec(model);
    s.hasFirmware = model == 0x425;
    Make(s);
    ASSERT_TRUE(host_->BootEngine(Slice(qvboot::kRoleEngine, {ForController(model)})));
    EXPECT_FALSE(Report().replugPending) << std::hex << model;
    TearDown();
  }
}

TEST_F(SimBoot, FamilyMembersWithoutKrffNeedNoDiscoveryCode) {
  struct Case {
    uint16_t model;
    const char* tagStart;
  } cases[] = {{0x421, "KR0"}, {0x422, "KR1"}, {0x429, "KR2"}, {0x428, "Qxs"}, {0x436, "KrffK423A0F"}};
  for (const Case& c : cases) {
    Make(SmallSpec(c.model));
    Bytes inq, config;
    ASSERT_TRUE(host_->Inquiry(&inq));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&inq[36]), std::strlen(c.tagStart)), c.tagStart);
    EXPECT_EQ(host_->ReadConfig(&config), c.model != 0x436) << std::hex << c.model;
    EXPECT_FALSE(BlockCommandsWork());
    TearDown();
  }
}

TEST_F(SimBoot, RawTagAndPlainDisk) {
  sim::DriveSpec s = SmallSpec(0x425);
  s.inquiryTag = "xxKrff0425A1B";
  Make(s);
  Bytes inq, config;
  ASSERT_TRUE(host_->Inquiry(&inq));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&inq[36])), "xxKrff0425A1B");
  EXPECT_FALSE(host_->ReadConfig(&config)) << "Krff in the tag: ROM";
  TearDown();

  sim::DriveSpec plain = SmallSpec(sim::kPlainDisk);
  Make(plain);
  ASSERT_TRUE(host_->Inquiry(&inq));
  EXPECT_EQ(Bytes(inq.begin() + 36, inq.begin() + 56), Bytes(20, 0));
  Bytes id;
  EXPECT_FALSE(host_->FlashId(&id));
}

}  // namespace
}  // namespace simtest
