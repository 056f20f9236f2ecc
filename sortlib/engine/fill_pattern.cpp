#include "sortlib/engine/fill_pattern.h"

#include <cstring>

#include "platform/crt_rand.h"
#include "sortlib/engine/four_tap_random.h"
#include "sortlib/interface/kv_config.h"

namespace sievex {

namespace {

void FillWords(RevertSession* s, uint32_t (*word)(RevertSession*, uint32_t)) {
  uint8_t* p = s->m_pPatternBuffer.get();
  const size_t words = s->m_PatternBufferBytes / 4;
  for (size_t i = 0; i < words; ++i) {
    const uint32_t w = word(s, static_cast<uint32_t>(i));
    // Little-endian words whatever the host.
    p[4 * i] = static_cast<uint8_t>(w);
    p[4 * i + 1] = static_cast<uint8_t>(w >> 8);
    p[4 * i + 2] = static_cast<uint8_t>(w >> 16);
    p[4 * i + 3] = static_cast<uint8_t>(w >> 24);
  }
}

}  // namespace

void FillPattern(RevertSession* s) {
  uint8_t* p = s->m_pPatternBuffer.get();
  const size_t bytes = s->m_PatternBufferBytes;
  switch (s->m_bPattern) {
    case 0:
      FillWords(s, [](RevertSession*, uint32_t i) { return i; });
      break;
    case 1:
      for (size_t i = 0; i < bytes; ++i) {
        p[i] = static_cast<uint8_t>(static_cast<uint32_t>(qv::CrtRand()) * 100u / 32768u);
      }
      break;
    case 2:
      for (size_t i = 0; i < bytes; ++i) p[i] = NextRandomByte(s);
      break;
    case 4: {
      const uint32_t v = s->m_pConfig->m_dwPatternValue;
      s->m_dwFixedPattern = (v << 16) + v;
      FillWords(s, [](RevertSession* r, uint32_t) { return r->m_dwFixedPattern; });
      break;
    }
    default:
      break;
  }
}

}  // namespace sievex
