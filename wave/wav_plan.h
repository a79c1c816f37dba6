// The plan of an output WAV: what carrying out its description
// (wave/wav_layout.h) puts into it, told as bytes of its own (the header,
// and the trailer after the data) and stretches of the source, so that
// another program can make the same file from the source without running
// the converter, as the page does from the file it was given. A source that
// is cut short or out of reach is part of the plan: it says where the copy
// stops and with which line and code, exactly as the converter would stop on
// that source.
//
//   WAV = head + for each extent: `length` bytes of the source from `offset`,
//         `repeats` times in a row (faded where the extent says) + tail
//         (only when nothing failed)
#pragma once

#include <cstdint>
#include <vector>

#include "base/records.h"
#include "wave/wav_layout.h"
#include "wave/wavheader.h"

struct SourceExtent {
  uint32_t offset;   // file offset in the source
  uint32_t length;   // bytes copied from there
  uint32_t repeats;  // times they are copied in a row
  // Faded (wave/sound_shape.h): the frames scaled from fade position
  // `fade_at` on, each repetition the extent's frames further on, over a
  // fade of `fade_frames`; 0 when the extent is not faded.
  uint64_t fade_at;
  uint64_t fade_frames;
};

struct WavPlan {
  uint8_t head[kRf64HeaderBytes];  // a RIFF header, or an RF64 one past 4 GiB
  uint32_t head_bytes;
  std::vector<SourceExtent> extents;
  uint8_t tail[kKeptTrailerMost];
  uint32_t tail_bytes;
  uint32_t full_format;  // 1: the format block has the bits per sample, which players need
  int result;            // 0, or the failure the converter meets on this source
  const char* error;     // the line it prints for it, or null
};

// The plan of `layout` for `track`, copied through a buffer of the
// settings' size from a source of `source_bytes` bytes. `buffer_ok` says
// whether the copy buffer could be had.
void plan_layout(const TrackInfo* track, const WavLayout& layout, const Settings* settings, uint64_t source_bytes,
                 bool buffer_ok, WavPlan* out);
