// The exported entry points: each forwards to the handle's CUSBDevice.
#include "dravik/dravik_api.h"

#include "dravik/usb_device.h"

namespace {

dravik::CUSBDevice* Of(void* device) { return static_cast<dravik::CUSBDevice*>(device); }

}  // namespace

extern "C" {

void* Dravik_CreateCUSBDevice() { return new dravik::CUSBDevice(); }

int Dravik_DeviceExist(void* device) { return device ? Of(device)->DeviceExist() : 0; }

int Dravik_GetNumberOfDrive(void* device) { return device ? Of(device)->NumberOfDrives() : 0; }

int Dravik_SetCurrentDriveNumber(void* device, int drive) {
  return device ? Of(device)->SetCurrentDrive(drive) : 0;
}

int Dravik_GetChipID(void* device, uint16_t* chipId, uint16_t* chipVersion) {
  return device ? Of(device)->GetChipID(chipId, chipVersion) : 0;
}

int Dravik_GetDeviceString(void* device, char* text) {
  return device && text ? Of(device)->GetDeviceString(text) : 0;
}

int Dravik_GetFwVersion(void* device, char* text) { return device && text ? Of(device)->GetFwVersion(text) : 0; }

int Dravik_GetUpdateFWFile(void* device, char* path, uint8_t selectDevice) {
  return device && path ? Of(device)->GetUpdateFWFile(path, selectDevice) : 0;
}

int Dravik_GetDriveLetter(void* device, int count, char* letters) {
  return device && letters ? Of(device)->GetDriveLetter(count, letters) : 0;
}

int Dravik_GetDeviceAttrib(void* device, uint32_t* sectors, uint16_t* controller, uint8_t* flags, uint8_t* ces,
                           uint8_t* planes) {
  return device ? Of(device)->GetDeviceAttrib(sectors, controller, flags, ces, planes) : 0;
}

int Dravik_RunRepairDevice(void* device, uint8_t option) { return device ? Of(device)->RunRepairDevice(option) : 0; }

int Dravik_GetCurrentProgress(void* device) { return device ? Of(device)->Progress() : 0; }

uint32_t Dravik_GetCurrentState(void* device) { return device ? Of(device)->State() : 0; }

int Dravik_GetBADBlockInfomation(void* device, uint32_t* badCount, uint32_t* total, uint32_t* divisor) {
  return device ? Of(device)->GetBadBlockInformation(badCount, total, divisor) : 0;
}

uint32_t Dravik_GetErrorCode(void* device) { return device ? Of(device)->ErrorCode() : 0; }

void Dravik_DestroyCUSBDevice(void* device) { delete Of(device); }

}  // extern "C"
