// The batch command's options: one table, from which the parser, --help and
// the manual page's list are all made, so that none of them can name an
// option the others lack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wave/kept_loop.h"
#include "wave/output_kinds.h"
#include "wave/sound_shape.h"

// What a batch run was asked for.
struct BatchOptions {
  OutputKind kind = OutputKind::kUnrolled;
  OutputFormat format = OutputFormat::kWav;
  int quality_tenths = 50;  // Ogg Vorbis: oggenc's -q times ten
  bool quality_given = false;
  LoopEnd loop_end = LoopEnd::kLastFrame;
  int32_t loop_count = 2;  // kelvor's own default
  int32_t buffer_size = 0;  // 0: kelvor's own
  bool short_format = false;
  bool loop_count_given = false;
  bool loop_end_given = false;
  bool replace = false;
  bool quiet = false;     // print only the files that failed or had a warning
  std::string out;        // empty: each WAV beside its source
  std::string loop_list;  // empty: none
  bool loop_list_json = false;  // it ends in ".json", any letter case; else ".csv"
  ShapeRequest shape{};   // --fade, --fade-delay, --target, --to-end (its loop comes from --loops, file by file)
  std::string loops;      // --loops: the loop list to take the loops from; empty: none
  bool loops_json = false;
  int jobs = 0;           // 0: one per processor
  bool help = false;
  bool version = false;
  std::vector<std::string> names;  // files and folders, in the order given
};

// One option: its long name, its one-letter name (0 if none), the name of
// its value (null for a switch), and what it does, for --help and the manual.
struct BatchOptionRow {
  const char* long_name;
  char letter;
  const char* value;
  const char* help;
  // Applies `value` (null for a switch); returns the problem, empty if none.
  std::string (*apply)(const char* value, BatchOptions* options);
};

const std::vector<BatchOptionRow>& batch_option_rows();

// Reads `args` (the program's name left out) into `options`. Options and
// names may come in any order; "--" makes every argument after it a name; a
// value follows its option as the next argument, after "=" (--kind=kept), or
// glued to a letter (-l3, -j4), as kelvor takes -l3. Returns the problem in
// one line, empty when there is none; the options a kind does not take are
// refused here, before anything is converted.
std::string parse_batch_options(const std::vector<std::string>& args, BatchOptions* options);

// Applies the listening lengths to `shape` from `args` in the options'
// syntax (--fade S, --fade-delay S, --target S, --to-end), as the page
// gives them, with the same refusals as on the command line for `kind`.
// Returns the problem, empty if none.
std::string parse_shape_options(const std::vector<std::string>& args, OutputKind kind, ShapeRequest* shape);

// The text of --help for the program called `program`.
std::string batch_help(const char* program);

// The options as a manual page's list (troff).
std::string batch_manual_options();
