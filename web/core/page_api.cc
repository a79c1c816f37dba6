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
#include "web/core/peak_blocks.h"
#include "web/core/run_json.h"
#include "wave/output_kinds.h"

namespace {

// `text` NUL-terminated into `out`; its length, or -1 when it does not fit
// in `size` bytes.
int copy_out(const std::string& text, char* out, int size) {
  if (size <= 0 || text.size() >= static_cast<size_t>(size)) return -1;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

}  // namespace

// Every name a run of `kind` (see kelvor_page_plan) in `format` (wave/output_kinds.h's
// OutputFormat) may write for the source `src`: the derived destination first
// (which the page then gives the run), then,
// for the intro and the loop apart, their two names; one a line, in `out`.
// Returns the length, or -1 when they do not fit in `size` bytes.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_output_names(const char* src, int kind, int format, char* out, int size) {
  if (kind < 0 || kind >= kOutputKinds || format < 0 || format >= static_cast<int>(kOutputFormatRows.size())) return -1;
  const char* extension = kOutputFormatRows[static_cast<size_t>(format)].extension;
  const std::string dst = derived_output_name(src, extension);
  std::string names = dst;
  const OutputKindRow& row = kOutputKindRows[static_cast<size_t>(kind)];
  for (int i = 0; i < row.file_count; ++i) {
    const char* suffix = row.files[static_cast<size_t>(i)].suffix;
    if (suffix[0] != '\0') names += "\n" + kept_output_name(dst, suffix, extension);
  }
  return copy_out(names, out, size);
}

// The table of output kinds (wave/output_kinds.h) as JSON, into `out` of
// `size` bytes: web/shared/kinds.js's facts of each kind, which the page's
// build puts into the page. Returns the length, or -1 when it does not fit.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_kinds_json(char* out, int size) {
  return copy_out(output_kinds_json(), out, size);
}

// The table of output formats, likewise (web/core/run_json.h).
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_formats_json(char* out, int size) {
  return copy_out(output_formats_json(), out, size);
}

// One run of the command line, `argv` holding `argc` arguments, the program
// name first, exactly as main would get them, for the output `kind` (0 the
// loop unrolled, 1 the loop points kept, 2 the intro and the loop apart, 3
// the loop unrolled with its loop points marked: app/kelvor_main.h), a smpl
// chunk's loop ending as `loop_end` says (0 at the last frame, 1 after it:
// wave/kept_loop.h), in `format` (wave/output_kinds.h's OutputFormat: a WAV
// past 4 GiB is RF64; FLAC and Ogg Vorbis, at `quality_tenths`, are planned
// as the WAV their encoder takes, web/core/page_encode.cc), its files
// planned rather than written: it prints what
// the command line prints and returns main's result, or -2 for a kind or an
// end it does not know. The run's facts and plans go as JSON (web/core/run_json.h)
// into `json`, which holds `size` bytes; `*json_length` is the JSON's
// length, which, when it is `size` or more, did not fit: the run is then to
// be made again with room for it. Every byte the run printed has reached
// standard output when it returns.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_page_plan(int argc, const char* const* argv, int kind, int loop_end,
                                                     int format, int quality_tenths, char* json, int size,
                                                     int* json_length) {
  if (kind < 0 || kind >= kOutputKinds || loop_end < 0 || loop_end > 1 || format < 0 ||
      format >= static_cast<int>(kOutputFormatRows.size()) || argc < 2) {
    return -2;
  }
  const OutputFormat f = static_cast<OutputFormat>(format);
  const EncodeRequest encode{f, quality_tenths, title_of_source(argv[1]), codec_of(f)};
  RunReport report;
  OutputPlan plan;
  const int result = kelvor_run(argc, argv, &report, static_cast<OutputKind>(kind), &plan, static_cast<LoopEnd>(loop_end),
                                system_file_ops(), &encode);
  std::fflush(stdout);
  const std::string text = run_json(report, plan, result);
  *json_length = static_cast<int>(text.size());
  copy_out(text, json, size);
  return result;
}

// The extremes of each block of `block_frames` frames of the PCM at `pcm`
// (see web/core/peak_blocks.h), into `low` and `high`. Returns the blocks.
extern "C" EMSCRIPTEN_KEEPALIVE uint32_t kelvor_block_extremes(const uint8_t* pcm, uint32_t frames, uint32_t channels,
                                                               uint32_t bits, uint32_t block_frames, float* low,
                                                               float* high) {
  return block_extremes(pcm, frames, channels, bits, block_frames, low, high);
}
