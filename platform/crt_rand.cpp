#include "platform/crt_rand.h"

#include <cstdint>

namespace qv {

namespace {
thread_local uint32_t t_state = 1;
}

int CrtRand() {
  t_state = t_state * 214013u + 2531011u;
  return static_cast<int>((t_state >> 16) & 0x7FFF);
}

void CrtSrand(unsigned seed) { t_state = seed; }

}  // namespace qv
