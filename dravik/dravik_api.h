// The device library Dravik.dll: C entry points looked up by name. Every
// entry point but Dravik_CreateCUSBDevice takes the device handle that it
// returned; a null handle makes a call fail (0) without touching its
// arguments. Text buffers get a terminating zero within the sizes below.
//
// Dravik_RunRepairDevice runs on a worker thread while another thread polls
// Dravik_GetCurrentProgress, Dravik_GetCurrentState,
// Dravik_GetBADBlockInfomation and Dravik_GetErrorCode on the same handle.
#pragma once
#include <cstddef>
#include <cstdint>

#define DRAVIK_EXPORT __attribute__((visibility("default")))

// Buffer sizes the callers pass.
inline constexpr size_t kDravikDeviceStringSize = 256;
inline constexpr size_t kDravikFwVersionSize = 32;
inline constexpr size_t kDravikUpdateFwFileSize = 512;

// RunRepairDevice's option byte: bit 7 writes the firmware image of the
// line in bits 0..4 (the selectDevice index) before the rebuild.
inline constexpr uint8_t kDravikOptionUpdateFirmware = 0x80;
inline constexpr uint8_t kDravikOptionLineMask = 0x1F;

// GetCurrentState: low byte kDravikStateFinished once a repair has ended.
inline constexpr uint32_t kDravikStateIdle = 0x00;
inline constexpr uint32_t kDravikStateFirmware = 0x01;
inline constexpr uint32_t kDravikStateSurvey = 0x02;
inline constexpr uint32_t kDravikStateCommit = 0x03;
inline constexpr uint32_t kDravikStateFinished = 0xFF;

// GetErrorCode after a failed repair (no bad-block table, a command failed,
// the drive gone); 0 otherwise.
inline constexpr uint32_t kDravikErrorFailed = 0xFFFF0000u;

// GetDeviceAttrib's first 8-bit value.
inline constexpr uint8_t kDravikAttribFirmware = 0x01;
inline constexpr uint8_t kDravikAttribDualChannel = 0x20;

extern "C" {

// The entry points' types, for a caller that binds them by name.
using DravikCreateCUSBDeviceFn = void*();
using DravikDeviceExistFn = int(void* device);
using DravikGetNumberOfDriveFn = int(void* device);
using DravikSetCurrentDriveNumberFn = int(void* device, int drive);
using DravikGetChipIDFn = int(void* device, uint16_t* chipId, uint16_t* chipVersion);
using DravikGetDeviceStringFn = int(void* device, char* text);
using DravikGetFwVersionFn = int(void* device, char* text);
using DravikGetUpdateFWFileFn = int(void* device, char* path, uint8_t selectDevice);
using DravikGetDriveLetterFn = int(void* device, int count, char* letters);
using DravikGetDeviceAttribFn = int(void* device, uint32_t* sectors, uint16_t* controller,
                                    uint8_t* flags, uint8_t* ces, uint8_t* planes);
using DravikRunRepairDeviceFn = int(void* device, uint8_t option);
using DravikGetCurrentProgressFn = int(void* device);
using DravikGetCurrentStateFn = uint32_t(void* device);
using DravikGetBADBlockInfomationFn = int(void* device, uint32_t* badCount, uint32_t* total,
                                          uint32_t* divisor);
using DravikGetErrorCodeFn = uint32_t(void* device);
using DravikDestroyCUSBDeviceFn = void(void* device);

// A device handle over the KR42x drives attached now (never null).
DRAVIK_EXPORT void* Dravik_CreateCUSBDevice();
// Looks for the drives again; non-zero when at least one is attached.
DRAVIK_EXPORT int Dravik_DeviceExist(void* device);
DRAVIK_EXPORT int Dravik_GetNumberOfDrive(void* device);
// Selects the drive that the other calls address (0 = the first).
DRAVIK_EXPORT int Dravik_SetCurrentDriveNumber(void* device, int drive);
// Controller id by the family's INQUIRY tag rules, and the chip version.
DRAVIK_EXPORT int Dravik_GetChipID(void* device, uint16_t* chipId, uint16_t* chipVersion);
// "<vendor> <product> <revision> (E:) <size>" (kDravikDeviceStringSize).
DRAVIK_EXPORT int Dravik_GetDeviceString(void* device, char* text);
// The controller's firmware version, or "FFFFFFFF" when it carries none
// (kDravikFwVersionSize).
DRAVIK_EXPORT int Dravik_GetFwVersion(void* device, char* text);
// The firmware image of line `selectDevice` (0 the KR423 line, 1 BCD, 2 FP,
// 3 KR420) in the program folder's Boot tree (kDravikUpdateFwFileSize).
DRAVIK_EXPORT int Dravik_GetUpdateFWFile(void* device, char* path, uint8_t selectDevice);
// Writes the current drive's letter into letters[0] (a buffer of `count`
// characters, no terminating zero).
DRAVIK_EXPORT int Dravik_GetDriveLetter(void* device, int count, char* letters);
// Raw flash size in sectors, controller id, kDravikAttrib... flags, CEs,
// planes.
DRAVIK_EXPORT int Dravik_GetDeviceAttrib(void* device, uint32_t* sectors, uint16_t* controller,
                                         uint8_t* flags, uint8_t* ces, uint8_t* planes);
// Rebuilds the current drive from its bad-block tables; returns when done
// (1 success, 0 failure, as GetErrorCode tells).
DRAVIK_EXPORT int Dravik_RunRepairDevice(void* device, uint8_t option);
DRAVIK_EXPORT int Dravik_GetCurrentProgress(void* device);
DRAVIK_EXPORT uint32_t Dravik_GetCurrentState(void* device);
// The last repair's bad blocks, examined blocks and the divisor (1) that
// caps the bad share at total / divisor.
DRAVIK_EXPORT int Dravik_GetBADBlockInfomation(void* device, uint32_t* badCount, uint32_t* total,
                                               uint32_t* divisor);
DRAVIK_EXPORT uint32_t Dravik_GetErrorCode(void* device);
// Frees the handle; a repair still running on it must have returned.
DRAVIK_EXPORT void Dravik_DestroyCUSBDevice(void* device);

}  // extern "C"
