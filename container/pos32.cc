#include "container/pos32.h"

#include <sys/types.h>

namespace {

// The platform's 64-bit stream positions, so that a stream already past 2^31
// still tells where it is on hosts whose long has 32 bits.
#ifdef _WIN32
int64_t tell64(FILE* f) { return _ftelli64(f); }
int seek64(FILE* f, int64_t at) { return _fseeki64(f, at, SEEK_SET); }
#else
int64_t tell64(FILE* f) { return ftello(f); }
int seek64(FILE* f, int64_t at) { return fseeko(f, static_cast<off_t>(at), SEEK_SET); }
#endif

}  // namespace

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
