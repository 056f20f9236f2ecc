#include "dravik/usb_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "dravik/dravik_api.h"
#include "dravik/firmware_image.h"
#include "dravik/repair_run.h"
#include "dravik/repair_transport.h"
#include "dravik/volume_path.h"
#include "platform/storage.h"
#include "platform/trace.h"

namespace dravik {

namespace {

// Copies as much of the text as fits, always terminated.
void CopyText(char* out, size_t size, const std::string& text) {
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

std::string SizeText(uint64_t bytes) {
  char text[32];
  const double mib = double(bytes) / (1024.0 * 1024.0);
  if (mib >= 1024.0)
    std::snprintf(text, sizeof text, "%.1f GB", mib / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.0f MB", mib);
  return text;
}

// What a drive without firmware answers for its version.
constexpr char kNoFirmware[] = "FFFFFFFF";

}  // namespace

CUSBDevice::CUSBDevice() : drives_(FindFamilyDrives()) {}

int CUSBDevice::DeviceExist() {
  std::vector<FoundDrive> found = FindFamilyDrives();
  std::lock_guard<std::mutex> lock(mutex_);
  // Keep addressing the same drive when it is still there.
  const char letter = current_ < int(drives_.size()) ? drives_[current_].letter : 0;
  drives_ = std::move(found);
  current_ = 0;
  for (size_t i = 0; i < drives_.size(); ++i)
    if (drives_[i].letter == letter) current_ = int(i);
  return drives_.empty() ? 0 : 1;
}

int CUSBDevice::NumberOfDrives() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return int(drives_.size());
}

int CUSBDevice::SetCurrentDrive(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || index >= int(drives_.size())) return 0;
  current_ = index;
  return 1;
}

bool CUSBDevice::Current(FoundDrive* drive) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (current_ >= int(drives_.size())) return false;
  *drive = drives_[current_];
  return true;
}

bool CUSBDevice::Identify(const FoundDrive& drive, DeviceIdentity* identity) const {
  std::unique_ptr<qv::Device> device = qv::OpenDevice(VolumePath(drive.letter), qv::kOpenRead | qv::kOpenWrite);
  return device && ReadIdentity(*device, identity);
}

int CUSBDevice::GetChipID(uint16_t* chipId, uint16_t* chipVersion) {
  FoundDrive drive;
  DeviceIdentity id;
  const bool found = Current(&drive);
  const bool identified = found && Identify(drive, &id);
  if (chipId) *chipId = found ? drive.controller : 0;
  if (chipVersion) *chipVersion = identified ? id.chipVersion : 0;
  return found ? 1 : 0;
}

int CUSBDevice::GetDeviceString(char* text) {
  FoundDrive drive;
  if (!Current(&drive)) {
    CopyText(text, kDravikDeviceStringSize, "");
    return 0;
  }
  std::string description = drive.vendor;
  for (const std::string* part : {&drive.product, &drive.revision})
    if (!part->empty()) description += (description.empty() ? "" : " ") + *part;
  description += std::string(description.empty() ? "" : " ") + "(" + drive.letter + ":)";
  DeviceIdentity id;
  uint64_t bytes = 0;
  if (Identify(drive, &id))
    bytes = (id.userArea ? uint64_t(id.userSectors) : id.RawSectors()) * 512;
  else
    bytes = qv::Storage().SizeBytes(drive.letter);
  if (bytes) description += " " + SizeText(bytes);
  CopyText(text, kDravikDeviceStringSize, description);
  return 1;
}

int CUSBDevice::GetFwVersion(char* text) {
  FoundDrive drive;
  DeviceIdentity id;
  const bool known = Current(&drive) && Identify(drive, &id);
  CopyText(text, kDravikFwVersionSize, known && id.firmware ? id.firmwareVersion : kNoFirmware);
  return known ? 1 : 0;
}

int CUSBDevice::GetUpdateFWFile(char* path, uint8_t line) {
  const std::string file = FirmwareImagePath(line);
  if (file.empty() || file.size() >= kDravikUpdateFwFileSize) {
    CopyText(path, kDravikUpdateFwFileSize, "");
    return 0;
  }
  CopyText(path, kDravikUpdateFwFileSize, file);
  return 1;
}

int CUSBDevice::GetDriveLetter(int count, char* letters) {
  FoundDrive drive;
  if (count < 1 || !Current(&drive)) return 0;
  letters[0] = drive.letter;
  return 1;
}

int CUSBDevice::GetDeviceAttrib(uint32_t* sectors, uint16_t* controller, uint8_t* flags, uint8_t* ces,
                                uint8_t* planes) {
  FoundDrive drive;
  DeviceIdentity id;
  if (!Current(&drive) || !Identify(drive, &id)) return 0;
  if (sectors) *sectors = uint32_t(std::min<uint64_t>(id.RawSectors(), 0xFFFFFFFFu));
  if (controller) *controller = drive.controller;
  if (flags)
    *flags = uint8_t((id.firmware ? kDravikAttribFirmware : 0) | (id.dualChannel ? kDravikAttribDualChannel : 0));
  if (ces) *ces = uint8_t(id.ces);
  if (planes) *planes = uint8_t(id.planes);
  return 1;
}

int CUSBDevice::RunRepairDevice(uint8_t option) {
  bool idle = false;
  if (!status_.running.compare_exchange_strong(idle, true)) return 0;  // one repair at a time
  status_.progress = 0;
  status_.badBlocks = 0;
  status_.totalBlocks = 0;
  status_.divisor = 0;
  status_.errorCode = 0;
  status_.state = kDravikStateIdle;
  FoundDrive drive;
  std::string why = "no drive";
  const bool ok = Current(&drive) && RunRepair(drive.letter, option, status_, &why);
  if (!ok) {
    status_.errorCode = kDravikErrorFailed;
    qv::TraceF("Dravik repair failed: %s", why.c_str());
  }
  status_.progress = 100;
  status_.state = kDravikStateFinished;
  status_.running = false;
  return ok ? 1 : 0;
}

int CUSBDevice::GetBadBlockInformation(uint32_t* badCount, uint32_t* total, uint32_t* divisor) const {
  if (badCount) *badCount = status_.badBlocks;
  if (total) *total = status_.totalBlocks;
  if (divisor) *divisor = status_.divisor;
  return 1;
}

}  // namespace dravik
