// What the page shows of a container before anyone listens to it: the facts
// that the converter's own reader finds, never a second reader's guess.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/records.h"

// Zero-fills `track` and runs the reader over `src` from its start, as a
// conversion does. Returns the reader's result: 0, or -22, -23 or -24, the
// reader having printed its error line.
int describe_track(FILE* src, TrackInfo* track);

// The record's fields in their order, as plain 32-bit values for the page:
// total_size, trk_offset, trk_mark, data_offset, data_bytes, sample_rate,
// channels, frame_bits, sample_bits, slp_offset, loop_mark, loop_start.
inline constexpr int kTrackFields = 12;
void track_fields(const TrackInfo& track, uint32_t out[kTrackFields]);
