// What one output WAV holds, described once for each kind: its header, the
// stretches of the source's sample data it copies and how they are reached,
// and what follows the data; with the lines its failures print. The
// converter carries a description out into the destination
// (wave/wav_body.h, write_layout), and the page's plan is made from the same
// description (wave/wav_plan.h, plan_layout): no kind has a writer and a
// planner of its own to keep in step.
//
//   WAV = header + for each copy: go to the data (an absolute seek), seek on
//         by `skip` (when `seek_on`), `length` bytes, `repeats` times
//       + trailer (a pad byte and a smpl chunk, where the kind has them)
#pragma once

#include <cstdint>
#include <vector>

#include "base/records.h"
#include "wave/kept_loop.h"
#include "wave/sound_shape.h"
#include "wave/wavheader.h"

// One stretch of the sample data, copied `repeats` times in a row.
struct DataCopy {
  uint32_t skip;           // bytes from the data's first byte to the stretch
  bool seek_on;            // the relative seek is made, even by 0 bytes
  const char* seek_error;  // the line its failure prints (-43)
  uint32_t length;         // bytes copied
  uint32_t repeats;        // times: once a repetition is read, the rest may come from memory
  bool from_memory;        // repetitions that fit the copy buffer are read once (the unrolled loop)
  // A faded stretch (wave/sound_shape.h): its frames are scaled by
  // (F - j) / F, j from `fade_at` on for its first repetition and the
  // stretch's frames further on for each next; F is `fade_frames`, 0 for a
  // stretch that is not faded.
  uint64_t fade_at;
  uint64_t fade_frames;
};

// The loop a file marks, in sample frames: where its smpl chunk (or an
// encoded format's loop tags) put it.
struct LoopMarks {
  bool marked;
  uint32_t start_frame;
  uint32_t end_frame;  // the frame after the loop's last
};

struct WavLayout {
  WavHeaderFields header;  // the format facts too: block align, bits, byte rate
  LoopMarks marks;
  const char* header_error;  // -31
  const char* buffer_error;  // -41
  std::vector<DataCopy> copies;
  bool flush_body;           // the body is flushed once after its last byte (-52)
  uint8_t tail[kKeptTrailerMost];
  uint32_t tail_bytes;
  int tail_code;             // what a failed write of the trailer returns
  const char* tail_error;
  bool flush_end;            // the file is flushed after the trailer (-52)
  // Past 4 GiB (the *_any_length descriptions only): an RF64 header with
  // these lengths in full; the header's 32-bit lengths are then 0xFFFFFFFF.
  bool rf64;
  uint64_t rf64_riff_length;  // the file's length less 8
  uint64_t rf64_data_length;
  // A shaped sound (describe_shaped): its frames, for the lines and lists.
  bool shaped;
  ShapeFrames shape;
};

// The command line's WAV: its header for the loop count heard (which must
// be one the header can be written for) and the unrolled body.
WavLayout describe_unrolled(const TrackInfo* track, const Settings* settings);

// The same, or, where it would pass 4 GiB, as RF64 rather than refused: what
// the batch command writes. The page's plans take only the descriptions
// above.
WavLayout describe_unrolled_any_length(const TrackInfo* track, const Settings* settings);
WavLayout describe_marked_any_length(const TrackInfo* track, const Settings* settings, LoopEnd end);

// The command line's WAV with its loop's first pass marked in a smpl chunk
// ending as `end` has it (wave/marked_loop.h).
WavLayout describe_marked(const TrackInfo* track, const Settings* settings, LoopEnd end);

// The unrolled sound shaped as `request` asks (wave/sound_shape.h), in whole
// frames, as RF64 where it passes 4 GiB; with `marked`, its loop's first
// pass marked in a smpl chunk. The unrolled layout itself (the *_any_length
// one) when the request changes nothing: no loop, nothing cut or faded.
// check_shape says first whether it can be made.
WavLayout describe_shaped(const TrackInfo* track, const Settings* settings, const LoopEnd* marked,
                          const ShapeRequest& request);

// Whether `request` shapes the track heard `loop_count` times (rather than
// leaving the unrolled layout as it is), the shape in `out` either way, and
// the frames it is of (a chosen loop in place) in `chosen`.
bool shape_applies(const TrackInfo* track, int32_t loop_count, const ShapeRequest& request, ShapeFrames* out,
                   LoopFrames* chosen = nullptr);

// Whether the shaped sound can be made for the track: 0, or -37 having
// printed why (a chosen loop that does not fit the file, or a fade of
// samples that are not whole slots of 1 to 4 bytes).
int check_shape(const TrackInfo* track, const ShapeRequest& request);

// The track's frames, with a chosen loop in place of its own.
LoopFrames chosen_frames(const TrackInfo* track, const ShapeRequest& request);

// One WAV of a kept loop (wave/kept_loop.h): the piece's stretch of the data
// in whole frames, its pad byte and smpl chunk.
WavLayout describe_kept(const TrackInfo* track, const KeptPlan* plan, const WavPiece* piece);
