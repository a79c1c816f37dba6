// A run for the page, as JSON: its facts by name (app/track_facts.h) and
// the plan of every WAV it would write (app/convert.h), which the page
// carries out on the file it was given.
//
//   { "facts": { "total_size": 76, ... },
//     "wavs": [ { "name": "a.wav", "playable": true, "bytes": 56,
//                 "head": [82, 73, ...], "extents": [[44, 8, 1], [48, 4, 1]],
//                 "tail": [] } ],
//     "once": { ... } or null }
//
// `extents` are [offset, length, repeats] of the source; `bytes` is the
// WAV's length; `playable` says readers read it as the track's frames (a full
// format block whose bits fill its block align: not -x, nor 24 in 32 bits);
// a file of an encoded format adds "encoding": { "channels", "slot_bytes",
// "rate", "frames", "comments": [...] }, what its encoder is to be told,
// its extents being the sound it takes; `once` is the sound heard once under a plain header, for players, when
// the run succeeded.
#pragma once

#include <string>

#include "app/convert.h"
#include "app/kelvor_main.h"
#include "app/loop_list_read.h"

// With the listening lengths: "lengths", the sentences of app/shape_text.h
// for a run that succeeded (else none); a faded extent is [offset, length,
// repeats, fade_at, fade_frames] and its WAV has "fade": { "channels",
// "slot_bytes", "block_align" }; with a loop list, "loop_list": { "problem",
// "lines": [ { "line", "path", "problem" } ] }, as the converter read it.
std::string run_json(const RunReport& report, const OutputPlan& plan, int result, const LoopListRead* list = nullptr);

// The table of output kinds (wave/output_kinds.h), one object a row:
//   [ { "code": 0, "id": "unrolled", "name": "loop unrolled", "format": "wav",
//       "loop_count": true, "short_format": true, "loop_end": false,
//       "whole_frames": false, "files": [ { "suffix": "", "role": "unrolled" } ] }, ... ]
std::string output_kinds_json();

// The table of output formats, one object a row, `refusal` null where this
// build encodes the format, else the plain line why it cannot:
//   [ { "code": 1, "id": "flac", "name": "FLAC", "extension": ".flac", "refusal": null }, ... ]
std::string output_formats_json();
