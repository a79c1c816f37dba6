// The run of one command line: banner, usage or settings, one conversion.
#pragma once

#include <cstdint>

#include "app/file_ops.h"
#include "base/records.h"
#include "wave/encoded_formats.h"
#include "wave/kept_loop.h"
#include "wave/output_kinds.h"

struct OutputPlan;  // app/convert.h


// What a run found besides its messages and result: the reader's record and
// the loop count the track was converted with, after the no-loop-info rule.
// Zero where the run stopped before the reader or the settings were reached.
// The kind is the one the run was asked for.
struct RunReport {
  TrackInfo track{};
  int32_t loop_count = 0;
  LoopEnd loop_end = LoopEnd::kLastFrame;  // of the smpl chunks the run wrote, if any
  OutputKind kind = OutputKind::kUnrolled;
  ShapeRequest shape{};  // the length and loop asked (wave/sound_shape.h), as the run was given them
};

// Returns the result code that becomes the exit status: 0, -1 for the usage,
// or the first failure's negative number. `argv` holds the arguments as
// bytes (UTF-8 on Windows), the program name first.
int kelvor_main(int argc, const char* const* argv);

// The same run, filling `report` (which may be null), writing `kind`, a
// smpl chunk's loop ending as `end` has it. A run that keeps the loop
// reports a loop count of 1: each WAV holds the sound once. With a `plan`,
// the WAVs are planned rather than written (app/convert.h). Files are opened
// and closed through `ops`; with `encode`, in that format (app/convert.h).
int kelvor_run(int argc, const char* const* argv, RunReport* report, OutputKind kind = OutputKind::kUnrolled,
               OutputPlan* plan = nullptr, LoopEnd end = LoopEnd::kLastFrame, const FileOps& ops = system_file_ops(),
               const EncodeRequest* encode = nullptr);
