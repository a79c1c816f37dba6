// What the page asks of the converter besides main, compiled into the page's
// module beside it. Each function writes into a buffer that the caller owns.
#include <emscripten.h>

#include <cstring>
#include <string>

#include "app/cmdline.h"

// The destination that the command line derives for the source `src` given
// without one, NUL-terminated in `out`. Returns its length, or -1 when it
// does not fit in `size` bytes.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_derived_name(const char* src, char* out, int size) {
  const std::string name = derive_dst_name(src);
  if (size <= 0 || name.size() >= static_cast<size_t>(size)) return -1;
  std::memcpy(out, name.c_str(), name.size() + 1);
  return static_cast<int>(name.size());
}
