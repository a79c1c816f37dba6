// What the page asks of the converter, compiled into the page's module. Each
// function writes into buffers that the caller owns.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/convert.h"
#include "app/kelvor_main.h"
#include "app/batch_options.h"
#include "app/loop_list_read.h"
#include "base/error_lines.h"
#include "wave/sound_shape.h"
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

// The lengths and the loop of a page's run, as the batch command takes
// them: the problem that refuses the run, empty when there is none.
std::string page_lengths(const char* lengths, const char* loops, bool json, const char* loops_name, const char* path,
                         OutputKind kind, ShapeRequest* shape, LoopListRead* list) {
  std::vector<std::string> args;
  for (const char* p = lengths; *p != '\0';) {
    const char* end = std::strchr(p, '\n');
    args.emplace_back(p, end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p));
    p = end != nullptr ? end + 1 : p + std::strlen(p);
  }
  std::string problem = parse_shape_options(args, kind, shape);
  if (!problem.empty() || loops[0] == '\0') return problem;
  *list = read_loop_list(loops, json);
  if (!list->problem.empty()) return std::string("the loop list ") + loops_name + " could not be used: " + list->problem;
  const ListedLoop* line = loop_for_path(list->lines, path);
  if (line != nullptr) shape->loop = loop_choice_of(*line, loops_name);
  return {};
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
//
// The listening lengths come as `lengths`, the batch command's options for
// them one a line ("--fade=10", "--fade-delay=2", "--target=180",
// "--to-end"; app/batch_options.h), and a loop list to take the loop from
// as its text `loops` (empty: none), a CSV or (`loops_json`) a JSON named
// `loops_name`, its line for the file found by the file's `path` (as the
// page shows it). Lengths that the kind does not take, or a list that
// cannot be read, refuse the run (-37) with the line that says why.
extern "C" EMSCRIPTEN_KEEPALIVE int kelvor_page_plan(int argc, const char* const* argv, int kind, int loop_end,
                                                     int format, int quality_tenths, const char* lengths,
                                                     const char* loops, int loops_json, const char* loops_name,
                                                     const char* path, char* json, int size, int* json_length) {
  if (kind < 0 || kind >= kOutputKinds || loop_end < 0 || loop_end > 1 || format < 0 ||
      format >= static_cast<int>(kOutputFormatRows.size()) || argc < 2) {
    return -2;
  }
  const OutputFormat f = static_cast<OutputFormat>(format);
  EncodeRequest encode{f, quality_tenths, title_of_source(argv[1]), codec_of(f)};
  RunReport report;
  OutputPlan plan;
  LoopListRead list;
  const bool listed = loops[0] != '\0';
  const std::string refusal = page_lengths(lengths, loops, loops_json != 0, loops_name, path,
                                           static_cast<OutputKind>(kind), &encode.shape, &list);
  int result = -37;
  if (refusal.empty()) {
    result = kelvor_run(argc, argv, &report, static_cast<OutputKind>(kind), &plan, static_cast<LoopEnd>(loop_end),
                        system_file_ops(), &encode);
  } else {
    std::printf("refused : %s.\n%s", refusal.c_str(), error_line(-37));
  }
  std::fflush(stdout);
  const std::string text = run_json(report, plan, result, listed ? &list : nullptr);
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

// Fades `frames` whole frames of `channels` samples of `slot_bytes` bytes at
// `pcm` in place, the first at fade position `fade_at` of a fade of `fade`
// frames (wave/sound_shape.h): the page's part of a faded extent.
extern "C" EMSCRIPTEN_KEEPALIVE void kelvor_fade(uint8_t* pcm, uint32_t frames, uint32_t channels, uint32_t slot_bytes,
                                                 uint32_t fade_at, uint32_t fade) {
  if (slot_bytes < 1 || slot_bytes > 4) return;
  fade_frames(pcm, frames, channels, slot_bytes, fade_at, fade);
}
