// Looped body copy: after the header, the sample data once, then the loop
// section (loop start to end of data) loop count - 1 more times, streamed from
// the source through one buffer of `buffer_size` bytes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/records.h"
#include "wave/wav_layout.h"

// Returns 0, -41 (buffer), -42, -43 (seeks), -51 (read) or -52 (write).
int write_wav_body(FILE* src, FILE* dst, const TrackInfo* track, const Settings* settings);

// Carries out one output's description (wave/wav_layout.h) at the
// destination's position: its header, one write per field, flushed; its
// copies through one buffer of the settings' size; its trailer. Returns 0
// or the first failure's code, having printed the description's line for it.
int write_layout(FILE* src, FILE* dst, const TrackInfo* track, const WavLayout& layout, const Settings* settings);

// The body alone: the copy buffer, the copies, and the flush after them
// where the description has it.
int write_body(FILE* src, FILE* dst, const TrackInfo* track, const WavLayout& layout, const Settings* settings);

// Where the pieces of a faded copy go: 0, or a failure's code having
// printed its line.
struct PieceSink {
  void* target;
  int (*put)(void* target, const uint8_t* bytes, uint32_t n);
};

// The rounds of a faded copy (wave/wav_layout.h's DataCopy with fade_frames),
// each read as copy_data reads a round, in pieces of whole frames of at
// most the copy buffer (one frame at the least), faded, and handed to
// `sink`. Returns 0, -41, -42, -43, -51 or the sink's failure.
int faded_copy(FILE* src, const DataCopy& copy, const TrackInfo* track, const WavLayout& layout,
               const Settings* settings, const PieceSink& sink);

// Seeks the source to the first sample byte. Returns 0 or -42.
int go_datahead(FILE* src, const TrackInfo* track, const Settings* settings);

// Seeks the source forward by the loop start. Returns 0 or -43.
int skip_loophead(FILE* src, const TrackInfo* track, const Settings* settings);

// Copies `count` bytes from the source's position to the destination's in
// pieces of at most `buffer_size` bytes, one read and one write per piece.
// Returns 0, -51 or -52. The destination is flushed by write_wav_body, once
// after the last piece.
int transfar(FILE* src, FILE* dst, uint32_t count, uint8_t* buffer, const Settings* settings);
