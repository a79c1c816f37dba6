// What the page asks of the converter, compiled into the page's module. Each
// function writes into buffers that the caller owns.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cmdline.h"
#include "app/convert.h"
#include "app/kelvor_main.h"
#include "web/peak_blocks.h"
#include "web/same_bytes.h"
#include "web/track_facts.h"

// Every name a run of `kind` (see kelvor_page_run) may write for the source
// `src` given without a destination: the derived destination first, then,
// for the intro and the loop apart, their two names; one a line, in `out`,
// NUL-terminated. Returns the length, or -1 when they do not fit in `size`
// bytes.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_output_names(const char* src, int kind, char* out, int size) {
  const std::string dst = derive_dst_name(src);
  std::string names = dst;
  if (kind == static_cast<int>(OutputKind::kIntroAndLoop)) {
    for (const char* suffix : {" - intro", " - loop"}) names += "\n" + kept_output_name(dst, suffix);
  }
  if (size <= 0 || names.size() >= static_cast<size_t>(size)) return -1;
  std::memcpy(out, names.c_str(), names.size() + 1);
  return static_cast<int>(names.size());
}

// One run of the command line, `argv` holding `argc` arguments, the program
// name first, exactly as main would get them, writing the output `kind` (0
// the loop unrolled, 1 the loop points kept, 2 the intro and the loop apart:
// app/kelvor_main.h); the run's facts (see web/track_facts.h) in `facts`,
// kRunFacts values. Returns main's result, or -2 for a kind it does not know.
// Every byte the run printed has reached standard output when it returns.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_page_run(int argc, const char* const* argv, int kind, uint32_t* facts) {
  if (kind < 0 || kind > static_cast<int>(OutputKind::kIntroAndLoop)) return -2;
  RunReport report;
  const int result = kelvor_run(argc, argv, &report, static_cast<OutputKind>(kind));
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

// Where the run of `argv` will repeat its loop section, found before it
// runs by the run's own first steps (its settings, the source opened and
// read by the reader), whose messages the caller discards: in `out` the
// sample data's length, where its loop section starts and the loop count the
// track will be heard with. Returns 0, or the first failure's code, `out`
// then holding zeros. Only a hint: the page checks every repeated byte.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_page_loop_section(int argc, const char* const* argv, uint32_t* out) {
  out[0] = out[1] = out[2] = 0;
  if (argc < 2) return -1;
  Settings settings;
  int result = settle_settings(argc, argv, &settings);
  TrackInfo track{};
  OpenFile src(system_file_ops());
  if (result == 0) result = open_source(&src, &settings, &track);
  std::fflush(stdout);
  if (result != 0) return result;
  out[0] = track.data_bytes;
  out[1] = track.loop_start;
  out[2] = static_cast<uint32_t>(loop_count_heard(&track, &settings));
  return 0;
}

// 1 when the `n` bytes at `a` and `b` are the same, else 0.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_same_bytes(const uint8_t* a, const uint8_t* b, uint32_t n) {
  return same_bytes(a, b, n) ? 1 : 0;
}
