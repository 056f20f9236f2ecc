#include "sortlib/device/boot_code.h"

#include <memory>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/module.h"
#include "sortlib/device/aligned_buffer.h"
#include "sortlib/device/boot_image.h"
#include "sortlib/device/controller_tag.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/device/vendor_commands.h"
#include "sortlib/device/volume_access.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {
namespace {

// Flash device codes (flash ID byte 1) that take the "fwt" discovery images.
bool InDeviceCodeSetD(uint8_t code) {
  switch (code) {
    case 0x33: case 0x35: case 0x36: case 0x66: case 0x71:
    case 0x73: case 0x75: case 0x76: case 0x78: case 0x79:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string SelectDiscoveryImage(SortDevice* device) {
  if (device->m_dwController == kController425) {
    // A KR425 names its revision in tag characters 8 and 9.
    if (TagChar(device, 8) == 'A' && TagChar(device, 9) == '0') {
      device->m_dwRevisionA1 = 0;
      return "\\boot\\425\\fw2.BIN";
    }
    if (TagChar(device, 8) == 'A' && TagChar(device, 9) == '1') {
      device->m_dwRevisionA1 = 1;
      return "\\boot\\425\\fwa1.BIN";
    }
    return {};
  }
  const bool inD = InDeviceCodeSetD(device->m_FlashId[1]);
  switch (device->m_bRevision) {
    case 1:
      return inD ? "\\boot\\425\\fw2.BIN" : "\\boot\\423\\BA\\fw1.BIN";
    case 2:
      return inD ? "\\boot\\423\\CA\\fwt.BIN" : "\\boot\\423\\CA\\fw1.BIN";
    default:
      return inD ? "\\boot\\423\\DA\\fwt.BIN" : "\\boot\\423\\DA\\fw1.BIN";
  }
}

int LoadBootCode(SortDevice* device) {
  const std::string image = SelectDiscoveryImage(device);
  if (image.empty()) return 0;
  AlignedBuffer slice = AllocateAligned(kBootSliceSize, 0xFF);
  if (!slice) return 0;
  if (!ReadBootSlice(qv::ExecutableDirectory() + image, slice.get())) return 0;

  std::unique_ptr<qv::Device> volume;
  if (!OpenVolume(device, &volume)) return 0;
  // Neither the preparing command nor the writes are judged here: the
  // start command and the geometry read that follow show whether the
  // controller took the code.
  CmdPrepareBootLoad(volume.get());
  qv::SleepMs(100);
  for (unsigned k = 0; k < kBootSliceSize / 512; ++k)
    CmdWriteRamDiscovery(volume.get(), static_cast<uint16_t>(kBootRamAddress + 512 * k),
                         slice.get() + 512 * k);
  return 1;
}

std::string SelectFirmwareImage(SortDevice* device) {
  device->m_dwSendFWInfo = 0;
  if (device->m_dwController == kController425) {
    device->m_dwSendFWInfo = 1;
    if (device->m_dwRevisionA1 == 1) return "\\Boot\\425\\k425sa1.bin";
    // The A0 engine image knows no alternate-page addressing: the stored
    // configuration drops it until the caller's is copied in again.
    if (device->m_pConfig != nullptr) device->m_pConfig->m_dwAltPages = 0;
    return "\\Boot\\425\\k425s.bin";
  }
  if (device->m_dwController == kController423) return "\\Boot\\423\\k423s.bin";
  return {};
}

}  // namespace sievex
