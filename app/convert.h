// One conversion: open the source, analyse it, open the destination, write
// the header and the looped body, close both.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/file_ops.h"
#include "base/records.h"
#include "wave/encoded_formats.h"
#include "wave/kept_loop.h"
#include "wave/wav_plan.h"

// The WAVs a run would write, planned rather than written (wave/wav_plan.h):
// each with the name it would be written under, in the order they would be
// written; the last one's result is the run's when a copy fails. With them,
// when the run succeeds, the sound heard once under a plain header with the
// full format block, which players can decode whatever the WAVs hold.
// A file of an encoded format is planned as the WAV of its layout, whose
// data the encoder takes (the plan's extents), with what the encoder is to
// be told.
struct PlannedEncoding {
  bool encoded;                       // false: the plan is the file's
  EncodedSound sound;
  std::vector<std::string> comments;  // loop_comments (wave/encoded_formats.h)
};

struct PlannedWav {
  std::string name;
  const char* role;  // as the kinds' table names it (wave/output_kinds.h)
  WavPlan wav;
  PlannedEncoding encoding;
};

struct OutputPlan {
  std::vector<PlannedWav> wavs;
  WavPlan sound_once{};
};

// The destination derived for the source `src` (app/cmdline.h), in a
// format of that `extension` (".wav", ".flac", ".ogg").
std::string derived_output_name(const std::string& src, const char* extension);

// An encoded file's TITLE: the source's name without its folders and its
// extension.
std::string title_of_source(const std::string& src);

// Runs the conversion that `settings` describes with the system's files.
// May lower settings->loop_count. Returns 0 or the first failure's negative code.
int convert(Settings* settings);

// The same with the given file-system calls.
int convert_with(Settings* settings, const FileOps& ops);

// The same, leaving in `track` what the reader found. With a `plan`, the
// WAV is planned rather than written: the run prints the same messages and
// returns the same code, meets the same failures of the source, and leaves
// the destination created and empty (its writes are the plan's). With
// `marked`, the WAV is followed by a smpl chunk (wave/kept_loop.h) marking
// the loop's first pass, its end as `*marked` has it, which the RIFF length
// counts: the same bytes up to the end of the data but that length.
//
// With `encode` (the batch command's request), the file is written in its
// format (wave/encoded_formats.h), under the destination's name as given:
// a WAV that would pass 4 GiB as RF64 rather than refused (-33), with a
// warning; FLAC and Ogg Vorbis without that limit, a format that cannot hold
// the track refused (-35) before the file is created.
int convert_with(Settings* settings, const FileOps& ops, TrackInfo* track, OutputPlan* plan = nullptr,
                 const LoopEnd* marked = nullptr, const EncodeRequest* encode = nullptr);

// The same with the loop kept rather than unrolled: the sound once with its
// loop points in a smpl chunk, or (`apart`) the intro and the loop section as
// "NAME - intro.wav" and "NAME - loop.wav" (see wave/kept_loop.h). The loop
// count and -x play no part. Every name is checked before any file is made.
// A smpl chunk's loop ends as `end` has it. With a `plan`, planned rather
// than written, as convert_with.
int convert_kept(Settings* settings, const FileOps& ops, TrackInfo* track, bool apart, LoopEnd end = LoopEnd::kLastFrame,
                 OutputPlan* plan = nullptr, const EncodeRequest* encode = nullptr);

// The name of a kept loop's file: the destination's, with `suffix` (" -
// intro", " - loop" or nothing) before its `extension` (".wav", or an
// encoded format's).
std::string kept_output_name(const std::string& dst, const char* suffix, const char* extension = ".wav");

// Opens the source named in `settings` and runs the reader on it into
// `track`: 0, -11 or the reader's failure, having printed the error line.
int open_source(OpenFile* src, Settings* settings, TrackInfo* track);

// The loop count a track is heard with: lowered to 1 when the container holds
// no loop information.
int32_t loop_count_heard(const TrackInfo* track, const Settings* settings);

// The writing half, on an analysed source and an open, empty destination:
// nothing for a container without a track; otherwise the no-loop-info rule,
// the header and the body (and, `marked`, the smpl chunk).
int write_wave(FILE* src, FILE* dst, const TrackInfo* track, Settings* settings, const LoopEnd* marked = nullptr);
