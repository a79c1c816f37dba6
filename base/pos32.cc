#include "base/pos32.h"

#include "platform/platform.h"

bool tell32(FILE* f, uint32_t* pos) {
  int64_t at = tell64(f);
  if (at < 0) return false;
  *pos = static_cast<uint32_t>(static_cast<uint64_t>(at));  // mod 2^32
  return true;
}

bool seek_to32(FILE* f, uint32_t target) {
  if (target >= kPositionLimit) return false;
  return seek64(f, target) == 0;
}

bool seek_by32(FILE* f, uint32_t delta) {
  uint32_t here = 0;
  if (!tell32(f, &here)) return false;
  return seek_to32(f, here + delta);  // unsigned: wraps modulo 2^32
}
