// One run of the revert engine over one drive: the record every pass works
// on, the progress record handed to the caller's callback, and the state
// codes of a run.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/files.h"
#include "platform/storage.h"
#include "sortlib/device/aligned_buffer.h"

struct SortDevice;
struct _KVConfig;

namespace sievex {

// The record the progress callback receives by address: four 32-bit
// unsigned fields, valid only during the call.
struct SortProgress {
  uint32_t m_dwBadBlocks;      // bad blocks shown to the user
  uint32_t m_dwPercent;        // 0..100
  uint32_t m_dwScannedBlocks;  // block last processed, within its CE
  uint32_t m_dwStatus;         // state code of the run
};
static_assert(sizeof(SortProgress) == 16);
static_assert(offsetof(SortProgress, m_dwBadBlocks) == 0);
static_assert(offsetof(SortProgress, m_dwPercent) == 4);
static_assert(offsetof(SortProgress, m_dwScannedBlocks) == 8);
static_assert(offsetof(SortProgress, m_dwStatus) == 12);

// State codes of a run (the device's m_bState).
enum RunState : uint8_t {
  kStateUserBreak = 0,
  kStateCannotMarkBad = 1,
  kStateFinish = 2,
  kStateWriting = 3,
  kStateReadVerify = 4,
  kStateMarkBad = 5,
  kStateBlankCheck = 6,
  kStateEraseFirst = 7,
  kStateFlashError = 8,
  kStateUnknownError = 9,
  kStateReady = 10,
  kStateCannotErase = 11,
};

// A pass result: 2 when it completed, otherwise the state code that ended it.
constexpr int kPassCompleted = kStateFinish;

// Log categories (bits of the WriteLog option).
constexpr uint32_t kLogResults = 1;
constexpr uint32_t kLogMarkAllBad = 2;
constexpr uint32_t kLogTimes = 4;

// Per-block states of m_pBlockState.
constexpr uint8_t kBlockGood = 0;
constexpr uint8_t kBlockFoundBad = 1;
constexpr uint8_t kBlockFoundBadUnmarked = 2;

constexpr uint32_t kIoBufferBytes = 65536;
constexpr uint32_t kPatternPathBytes = 512;
constexpr uint32_t kSectorBytes = 512;
// The CE select byte carries two bits per CE, so it addresses four CEs.
constexpr uint32_t kMaxCECount = 4;

// Table sizes of the four-tap generator x[n] = x[n-157]^x[n-314]^x[n-471]^x[n-9689].
constexpr uint32_t kRandomTableWords = 9689;

struct FourTapRandom {
  uint32_t table[kRandomTableWords];
  uint32_t successor[kRandomTableWords];
  uint32_t i0, i1, i2, i3;
};

struct RevertSession {
  // Page aligned: both go to the direct pass-through form.
  AlignedBuffer m_pIoBuffer;
  AlignedBuffer m_pPatternBuffer;
  uint8_t m_bCEMask = 0;
  uint32_t m_dwEndBlock = 0;
  uint32_t m_dwPrevBadCount = 0;
  uint32_t m_dwCECount = 0;
  uint32_t m_dwSectorsPerBlock = 0;
  uint32_t m_dwSectorsPerPage = 0;
  uint32_t m_dwFixedPattern = 0;
  uint8_t m_bPattern = 0;
  uint32_t m_dwTransferBytes = 0;
  uint32_t m_dwTestLevel = 0;
  std::atomic<uint8_t>* m_pStopFlag = nullptr;
  uint32_t m_dwBadCount = 0;
  uint8_t m_bErrorBits = 0;
  uint32_t m_dwLogMask = 0;
  uint32_t m_dwReady = 0;
  std::unique_ptr<qv::File> m_hLog;
  std::unique_ptr<qv::Device> m_hDevice;
  uint32_t m_dwPatternRan = 0;
  uint32_t m_dwPlanes = 1;
  // The generator's tables live inside the record: allocating the record
  // allocates them, so pattern type 2 always has its source.
  FourTapRandom m_Random{};
  std::unique_ptr<qv::File> m_hPatternFile;
  std::unique_ptr<char[]> m_szPatternFile;
  uint32_t m_dwPatternFileNo = 1;
  std::unique_ptr<uint8_t[]> m_pBlockState;
  SortDevice* m_pDevice = nullptr;
  _KVConfig* m_pConfig = nullptr;
  std::unique_ptr<uint32_t[]> m_pPageList;
  uint32_t m_dwStartBlock = 0;
  void (*m_pfnProgress)(void*) = nullptr;
  SortProgress m_Progress{};
  uint8_t m_bPort = 0;
  // Set when the pattern-file stream cannot deliver data (user break or no
  // readable file); the pattern pass then ends with the state already set.
  uint32_t m_dwPatternStreamEnded = 0;
  // Consecutive pattern-file reads that returned nothing.
  uint32_t m_dwEmptyPatternReads = 0;
  // Bytes of m_pPatternBuffer.
  size_t m_PatternBufferBytes = 0;
};

// Fills a fresh record (set-up); failures leave m_dwReady at 0.
RevertSession* OpenSession(RevertSession* session, SortDevice* device, _KVConfig* config,
                           void (*callback)(void*));
// Releases every buffer and table the record owns and closes its handles.
void CloseSession(RevertSession* session);

// The drive's volume handle of the run.
inline qv::Device* VolumeOf(const RevertSession* s) { return s->m_hDevice.get(); }

}  // namespace sievex
