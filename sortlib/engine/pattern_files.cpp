#include "sortlib/engine/pattern_files.h"

#include <algorithm>
#include <cstdio>

#include "platform/message_box.h"
#include "platform/module.h"
#include "sortlib/engine/block_walk.h"
#include "sortlib/engine/session_progress.h"

namespace sievex {

namespace {

constexpr uint32_t kPatternFileCount = 8;

}  // namespace

size_t ReadPatternFile(RevertSession* s, uint8_t* destination, size_t count) {
  if (!s->m_hPatternFile) {
    const std::string folder = qv::ExecutableDirectory() + "\\Eval Pattern";
    std::snprintf(s->m_szPatternFile.get(), kPatternPathBytes, "%s\\%u.bin", folder.c_str(),
                  s->m_dwPatternFileNo);
    s->m_hPatternFile = qv::File::Open(s->m_szPatternFile.get(), qv::FileAccess::kRead,
                                       qv::FileShare::kRead, qv::FileOpen::kExisting);
    if (!s->m_hPatternFile) return 0;
  }
  size_t got = 0;
  while (got < count) {
    const long n = s->m_hPatternFile->Read(destination + got, count - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < count) {
    s->m_hPatternFile.reset();
    s->m_dwPatternFileNo = s->m_dwPatternFileNo >= kPatternFileCount ? 1 : s->m_dwPatternFileNo + 1;
  }
  return got;
}

bool FillFromPatternFiles(RevertSession* s, uint8_t* destination, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (StopRequested(s)) {
      SetState(s, kStateUserBreak);
      s->m_dwPatternStreamEnded = 1;
      return false;
    }
    const size_t got = ReadPatternFile(s, destination + done, count - done);
    if (got == 0) {
      // A file that ends exactly at a transfer boundary gives one empty
      // read before the next file starts, so only a run of empty reads
      // longer than a whole round of files means there is no data at all.
      if (++s->m_dwEmptyPatternReads > kPatternFileCount) {
        qv::MessageBox("Can not read pattern file.", "Error", qv::kMbOk);
        SetState(s, kStateUnknownError);
        s->m_dwPatternStreamEnded = 1;
        return false;
      }
      continue;
    }
    s->m_dwEmptyPatternReads = 0;
    done += got;
  }
  return true;
}

void SkipPatternData(RevertSession* s, uint32_t firstSector, uint32_t endSector) {
  if (s->m_bPattern != 3) return;
  const uint32_t maxSectors = std::min<uint32_t>(
      s->m_dwTransferBytes / kSectorBytes,
      static_cast<uint32_t>(s->m_PatternBufferBytes / kSectorBytes));
  if (maxSectors == 0) return;
  for (uint32_t sector = firstSector; sector < endSector;) {
    const uint32_t n = std::min(maxSectors, endSector - sector);
    if (!FillFromPatternFiles(s, s->m_pPatternBuffer.get(), static_cast<size_t>(n) * kSectorBytes)) {
      return;
    }
    sector += n;
  }
}

void RestartPatternFiles(RevertSession* s) {
  s->m_hPatternFile.reset();
  s->m_dwPatternFileNo = 1;
  s->m_dwEmptyPatternReads = 0;
}

}  // namespace sievex
