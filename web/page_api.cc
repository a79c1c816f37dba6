// What the page asks of the converter besides main, compiled into the page's
// module beside it. Each function writes into a buffer that the caller owns.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cmdline.h"
#include "web/track_facts.h"

// The destination that the command line derives for the source `src` given
// without one, NUL-terminated in `out`. Returns its length, or -1 when it
// does not fit in `size` bytes.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_derived_name(const char* src, char* out, int size) {
  const std::string name = derive_dst_name(src);
  if (size <= 0 || name.size() >= static_cast<size_t>(size)) return -1;
  std::memcpy(out, name.c_str(), name.size() + 1);
  return static_cast<int>(name.size());
}

// The track facts of the container `name` (see web/track_facts.h) in
// `fields`, kTrackFields values. Returns the reader's result, or -11 when the
// file cannot be opened. Whatever the reader prints has reached standard
// output when this returns, so that the page, which calls it in the run's
// own instance before main, can set it apart from main's messages.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_describe(const char* name, uint32_t* fields) {
  FILE* src = std::fopen(name, "rb");
  if (!src) return -11;
  TrackInfo track;
  const int result = describe_track(src, &track);
  std::fclose(src);
  std::fflush(stdout);
  track_fields(track, fields);
  return result;
}
