// What the page asks of the converter, compiled into the page's module. Each
// function writes into buffers that the caller owns.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cmdline.h"
#include "web/peak_blocks.h"
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

// One run of the command line, `argv` holding `argc` arguments, the program
// name first, exactly as main would get them; the run's facts (see
// web/track_facts.h) in `facts`, kRunFacts values. Returns main's result.
// Every byte the run printed has reached standard output when it returns.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_page_run(int argc, const char* const* argv, uint32_t* facts) {
  RunReport report;
  const int result = kelvor_run(argc, argv, &report);
  std::fflush(stdout);
  run_facts(report, facts);
  return result;
}

// The extremes of each block of `block_frames` frames of the PCM at `pcm`
// (see web/peak_blocks.h), into `low` and `high`. Returns the blocks.
extern "C" EMSCRIPTEN_KEEPALIVE uint32_t kelvor_block_extremes(const uint8_t* pcm, uint32_t frames, uint32_t channels,
                                                               uint32_t bits, uint32_t block_frames, float* low,
                                                               float* high) {
  return block_extremes(pcm, frames, channels, bits, block_frames, low, high);
}
