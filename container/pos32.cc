#include "container/pos32.h"

bool tell32(FILE* f, uint32_t* pos) {
  long at = std::ftell(f);
  if (at < 0) return false;
  *pos = static_cast<uint32_t>(static_cast<unsigned long>(at));
  return true;
}

bool seek_to32(FILE* f, uint32_t target) {
  if (target >= kPositionLimit) return false;
  // target < 2^31 fits a long on every platform, 32-bit longs included.
  return std::fseek(f, static_cast<long>(target), SEEK_SET) == 0;
}

bool seek_by32(FILE* f, uint32_t delta) {
  uint32_t here = 0;
  if (!tell32(f, &here)) return false;
  return seek_to32(f, here + delta);  // unsigned: wraps modulo 2^32
}
