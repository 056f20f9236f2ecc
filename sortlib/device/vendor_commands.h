// The vendor command transport: one call sends one command on an open
// volume and reports 1 (success as the command's rule judges it) or 0.
// No state, no retries, no handles opened or closed here.
#pragma once
#include <cstdint>

#include "platform/storage.h"

namespace sievex {

using Handle = qv::Device*;

// Opcodes of the block commands (13-byte form: opcode, first sector in
// bytes 2..5 most significant first, CE select in byte 12).
inline constexpr uint8_t kOpEraseBlock = 0xF5;
inline constexpr uint8_t kOpEraseBlockChecked = 0xFE;
inline constexpr uint8_t kOpReadSpare = 0xF9;
inline constexpr uint8_t kOpWriteSectors = 0xF6;
inline constexpr uint8_t kOpReadSectors = 0xF8;
inline constexpr uint8_t kBlockCdbLength = 13;

// Command builders for callers that judge the answer themselves.
void BuildBlockCdb(uint8_t cdb[16], uint8_t opcode, uint32_t sector, uint8_t ce);
// CmdReadSectors' command for `length` bytes (N = length / 512, or 1).
void BuildReadSectorsCdb(uint8_t cdb[16], uint32_t sector, uint8_t ce, uint32_t length);

// Generic forms.
// Data-in command: buffered below 512 bytes, direct from 512. Success when
// the call was delivered and the SCSI status is 0; only then the buffered
// form copies the requested bytes into `out` (the direct form lets the
// device write into `out` itself). dataLength 0 sends no data (direction in).
int SendDataIn(Handle h, const uint8_t* cdb, uint8_t cdbLength, uint32_t dataLength,
               uint32_t timeoutSeconds, void* out);
// Discovery-form RAM write: direct, out, time-out 2000, call and status.
int SendRamWrite(Handle h, const uint8_t cdb[10], uint32_t dataLength, const void* data);

// Commands.
int CmdInquiry(Handle h, uint8_t out[180]);
int CmdReadFlashId(Handle h, uint8_t out[5]);
int CmdStartBootCode(Handle h);
int CmdPrepareDownload(Handle h);
int CmdPrepareBootLoad(Handle h);
int CmdWriteRamDiscovery(Handle h, uint16_t address, const uint8_t data[512]);
int CmdWriteRamEngine(Handle h, uint16_t address, const uint8_t data[512]);
int CmdReadRam(Handle h, uint8_t out[512]);  // controller memory 0x0059
int CmdReadFlashConfig(Handle h, uint8_t out[34]);
int CmdReadStatus(Handle h, uint8_t selector, uint8_t flag, uint8_t out[8]);
// The block commands take the block's (or page's) first sector and the CE
// select byte. `out` of the erase and the spare read has its first 4 bytes
// cleared before sending.
int CmdEraseBlock(Handle h, uint32_t sector, uint8_t ce, uint8_t out[16]);
int CmdEraseBlockChecked(Handle h, uint32_t sector, uint8_t ce, uint8_t out[1]);
int CmdReadSpare(Handle h, uint32_t sector, uint8_t ce, uint8_t out[16]);
// count sectors (data count × 512 bytes, low 24 bits of count) with the
// four spare bytes S0..S3.
int CmdWriteSectors(Handle h, uint32_t sector, uint8_t ce, uint32_t count,
                    const uint8_t spare[4], const void* data);
// length bytes; the command's N is length / 512, or 1 below 512.
int CmdReadSectors(Handle h, uint32_t sector, uint8_t ce, uint32_t length, void* out);
int CmdVerifyBlock(Handle h, uint32_t sector, uint8_t ce, uint8_t out[2]);
int CmdSetMode(Handle h, uint8_t timing, uint8_t voltage, uint8_t twoPlane, uint8_t out[1]);
int CmdWriteFWInfo(Handle h, const uint8_t data[512]);

}  // namespace sievex
