// The device handle that Dravik_CreateCUSBDevice hands out: the KR42x
// drives found at its creation (found again by DeviceExist), the one the
// calls address, and the status of the last repair. Each query opens the
// drive, asks and closes it again, so a handle survives re-plugs.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

#include "dravik/device_identity.h"
#include "dravik/drive_discovery.h"
#include "dravik/repair_status.h"

namespace dravik {

class CUSBDevice {
 public:
  CUSBDevice();

  int DeviceExist();
  int NumberOfDrives() const;
  int SetCurrentDrive(int index);
  int GetChipID(uint16_t* chipId, uint16_t* chipVersion);
  int GetDeviceString(char* text);
  int GetFwVersion(char* text);
  int GetUpdateFWFile(char* path, uint8_t line);
  int GetDriveLetter(int count, char* letters);
  int GetDeviceAttrib(uint32_t* sectors, uint16_t* controller, uint8_t* flags, uint8_t* ces,
                      uint8_t* planes);
  int RunRepairDevice(uint8_t option);
  int Progress() const { return status_.progress; }
  uint32_t State() const { return status_.state; }
  int GetBadBlockInformation(uint32_t* badCount, uint32_t* total, uint32_t* divisor) const;
  uint32_t ErrorCode() const { return status_.errorCode; }

 private:
  bool Current(FoundDrive* drive) const;
  // The current drive's identify answer.
  bool Identify(const FoundDrive& drive, DeviceIdentity* identity) const;

  mutable std::mutex mutex_;  // the drive list and the selection
  std::vector<FoundDrive> drives_;
  int current_ = 0;
  RepairStatus status_;
};

}  // namespace dravik
