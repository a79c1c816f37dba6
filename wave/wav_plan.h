// The plan of an output WAV: what its writer puts into it, told as bytes of
// its own (the header, and the trailer after the data) and stretches of the
// source, so that another program can make the same file from the source
// without running the writer, as the page does from the file it was given.
// A source that is cut short or out of reach is part of the plan: it says
// where the copy stops and with which line and code, exactly as the writer
// would stop on that source.
//
//   WAV = head + for each extent: `length` bytes of the source from `offset`,
//         `repeats` times in a row + tail (only when nothing failed)
#pragma once

#include <cstdint>

#include "base/records.h"
#include "wave/kept_loop.h"
#include "wave/marked_loop.h"
#include "wave/wavheader.h"

struct SourceExtent {
  uint32_t offset;   // file offset in the source
  uint32_t length;   // bytes copied from there
  uint32_t repeats;  // times they are copied in a row
};

struct WavPlan {
  uint8_t head[kHeaderBytes];
  uint32_t head_bytes;
  SourceExtent extents[2];
  int extent_count;
  uint8_t tail[kKeptTrailerMost];
  uint32_t tail_bytes;
  uint32_t full_format;  // 1: the format block has the bits per sample, which players need
  int result;            // 0, or the failure its writer meets on this source
  const char* error;     // the line the writer prints for it, or null
};

// The command line's WAV (write_wave's header and body) for a track whose
// header can be written, `settings` holding the loop count heard, from a
// source of `source_bytes` bytes. `buffer_ok` says whether the copy buffer
// could be had.
void plan_unrolled_wav(const TrackInfo* track, const Settings* settings, uint64_t source_bytes, bool buffer_ok,
                       WavPlan* out);

// The command line's WAV with its loop marked (write_marked_wav), likewise.
void plan_marked_wav(const TrackInfo* track, const Settings* settings, LoopEnd end, uint64_t source_bytes,
                     bool buffer_ok, WavPlan* out);

// One WAV of a kept loop (write_kept_wav), likewise.
void plan_kept_wav(const TrackInfo* track, const KeptPlan* plan, const WavPiece* piece, const Settings* settings,
                   uint64_t source_bytes, bool buffer_ok, WavPlan* out);
