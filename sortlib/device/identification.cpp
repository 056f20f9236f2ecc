#include "sortlib/device/identification.h"

#include <cstring>
#include <memory>
#include <string_view>

#include "platform/message_box.h"
#include "sortlib/device/boot_code.h"
#include "sortlib/device/controller_tag.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/device/volume_access.h"

namespace sievex {
namespace {

constexpr size_t kInquiryLength = 180;
constexpr size_t kTagOffset = 36;
constexpr size_t kFlashConfigLength = 34;

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

uint32_t BigEndian16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

// Decides the controller by the first tag test that holds. Returns false
// for a tag of no known controller (the probe fails).
bool IdentifyController(SortDevice* device) {
  std::string_view tag = TagText(device);
  if (Contains(tag, "Qxs")) {
    device->m_dwController = kController428;
  } else if (Contains(tag, "KR0")) {
    device->m_dwController = kController421;
  } else if (Contains(tag, "KR1")) {
    device->m_dwController = kController422;
  } else if (Contains(tag, "KR2")) {
    device->m_dwController = kController429;
  } else if (Contains(tag, "Krff")) {
    // The revision is tag byte 10 whatever the text's length.
    device->m_bRevision = static_cast<uint8_t>(device->m_InquiryTag[10] - 'A');
    device->m_dwNeedBootCode = 1;
    if (Contains(tag, "K423") || Contains(tag, "0423")) {
      device->m_dwController = TagChar(device, 10) == 'F' ? kController436 : kController423;
    } else if (Contains(tag, "K425") || Contains(tag, "0425")) {
      device->m_dwController = kController425;
    }
    // Otherwise the id stays as an earlier probe left it.
  } else {
    if (Contains(tag, "KR")) device->m_dwController = kController421;
    return false;
  }
  return true;
}

int ReadFlashId(SortDevice* device) {
  std::unique_ptr<qv::Device> volume;
  if (!OpenVolume(device, &volume)) return 0;
  uint8_t id[5] = {};
  int ok = CmdReadFlashId(volume.get(), id);
  volume.reset();
  if (!ok) {
    qv::MessageBox("Can not get Flash ID!", "Error", qv::kMbOk);
    return 0;
  }
  std::memcpy(device->m_FlashId, id, sizeof id);
  return 1;
}

int StartBootCode(SortDevice* device) {
  std::unique_ptr<qv::Device> volume;
  if (!OpenVolume(device, &volume)) return 0;
  return CmdStartBootCode(volume.get());
}

bool FlashIdAllZero(const SortDevice* device) {
  for (uint8_t b : device->m_FlashId)
    if (b != 0) return false;
  return true;
}

}  // namespace

int ReadInquiry(SortDevice* device, Handle openVolume) {
  std::unique_ptr<qv::Device> volume(openVolume);
  uint8_t answer[kInquiryLength] = {};
  int ok = CmdInquiry(volume.get(), answer);
  volume.reset();
  if (!ok) return 0;
  std::memcpy(device->m_InquiryTag, answer + kTagOffset, sizeof device->m_InquiryTag);
  return 1;
}

int ProbeController(SortDevice* device) {
  device->m_dwNeedBootCode = 0;
  if (!IdentifyController(device)) return 0;
  if (device->m_dwController != kController428 && !ReadFlashId(device)) return 0;
  if (device->m_dwNeedBootCode == 1) {
    if (!LoadBootCode(device)) return 0;
    if (!StartBootCode(device)) return 0;
    if (!ReadFlashGeometry(device)) return 0;
  }
  // No flash answers: a geometry of zero blocks, which the engine refuses.
  if (FlashIdAllZero(device)) device->m_dwBlocksPerCE = 0;
  return 1;
}

int ReadFlashGeometry(SortDevice* device) {
  static constexpr uint16_t kEccCodes[4] = {6, 8, 10, 14};
  uint8_t config[kFlashConfigLength] = {};
  std::unique_ptr<qv::Device> volume;
  if (!OpenVolume(device, &volume)) return 0;
  uint8_t memory[512] = {};
  CmdReadRam(volume.get(), memory);  // a failed read leaves byte 0 at 0
  device->m_wEccCode = kEccCodes[memory[0] & 3];
  if (!CmdReadFlashConfig(volume.get(), config)) return 0;
  volume.reset();

  device->m_bConfigHigh = config[0] >> 4;
  device->m_bFlashSize = config[0] & 0x0F;
  device->m_dwMLC = (config[1] >> 4) & 1;
  device->m_dwDualMode = (config[1] & 0x20) ? 1 : 0;
  device->m_bPlaneCount = config[21] != 0 ? config[21] : 1;

  const uint8_t* id = device->m_FlashId;
  if (id[0] == 0x45 && id[1] == 0xC5 && id[2] == 0x95 && id[4] == 0xEA) {
    if (id[3] == 0xA5) device->m_dw16Bit = 0;
    if (id[3] == 0xE5) device->m_dw16Bit = 1;
  }

  const int taken = LookupFlashIni(device);
  device->m_dwPagesPerBlock = config[2] == 0xFF ? 256 : config[2];
  device->m_dwCENo = config[6];
  if (!taken) {
    device->m_dwSectorsPerBlock = BigEndian16(config + 7);
    device->m_dwBlocksPerCE = BigEndian16(config + 3) * config[5];
    // Divided by the byte itself: 0xFF (256 pages) divides by 255.
    if (config[2] != 0) device->m_dwSectorsPerPage = device->m_dwSectorsPerBlock / config[2];
  } else if (device->m_dwDualMode == 1) {
    device->m_dwSectorsPerBlock *= 2;
    device->m_dwSectorsPerPage *= 2;
  }
  return 1;
}

}  // namespace sievex
