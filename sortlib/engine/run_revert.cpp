#include "sortlib/engine/run_revert.h"

#include <memory>
#include <new>

#include "platform/message_box.h"
#include "sortlib/device/sort_device.h"
#include "sortlib/engine/blank_check.h"
#include "sortlib/engine/erase_pass.h"
#include "sortlib/engine/mark_all_bad.h"
#include "sortlib/engine/pattern_test.h"
#include "sortlib/engine/revert_session.h"
#include "sortlib/engine/session_log.h"
#include "sortlib/engine/session_progress.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

namespace {

void RunPasses(RevertSession* s) {
  _KVConfig* c = s->m_pConfig;
  if (c->m_dwEraseFirst != 0 && EraseAllBlock(s) != kPassCompleted) return;
  LogLine(s, "Begin Pattern Test\n", kLogResults);
  if (PatternTest(s, c->m_bPatternType) != kPassCompleted) return;
  if (MarkAllBadBlock(s) != kPassCompleted) return;
  LogLine(s, "Begin Blank check.\n", kLogResults);
  CheckBlank(s);
}

}  // namespace

int RunRevert(SortDevice* device, uint8_t port, void (*callback)(void*)) {
  device->m_bPort = port;
  if (device->m_dwController != 0x423 && device->m_dwController != 0x425) {
    qv::MessageBox("Unknown controller!", "Error", qv::kMbOk);
    return 0;
  }
  _KVConfig* config = device->m_pConfig;
  if (config == nullptr) return 0;
  std::unique_ptr<RevertSession> session(new (std::nothrow) RevertSession);
  if (!session) return 0;
  RevertSession* s = OpenSession(session.get(), device, config, callback);
  s->m_bErrorBits = config->m_bErrorBits;

  device->m_bPercentDone = 0;
  device->m_dwPercent = 0;
  if (config->m_dwEraseFirst != 0) ++config->m_bStageCount;
  device->m_bPercentStep = static_cast<uint8_t>(100 / (config->m_bStageCount + 3));

  RunPasses(s);
  CloseSession(s);
  return 1;
}

}  // namespace sievex
