// Reader of the ".zq" container: checks the magic, walks the chunks up to the
// declared total length and fills the track description.
//
// Layout (all integers unsigned little-endian):
//   file header  = magic "fZQ " (4) + total length (4)                       = 8 bytes
//   cTRK chunk   = tag (4) + mark, -, data offset, length/4, rate (5 x 4)
//                  + -, channels, frame bits, -, sample bits, - (6 x 2)     = 36 bytes
//                  followed by the sample data (length/4 x 4 bytes)
//   cSLP chunk   = tag (4) + mark, -, loop start/4, -, - (5 x 4)              = 24 bytes
// There is no generic chunk length: any other tag ends the walk with an error.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/records.h"

// Walks the container from its start. Returns 0, or -22 (read or seek failure),
// -23 (not a ".zq" file) or -24 (unknown chunk), having printed the error line.
int analyze(FILE* src, TrackInfo* track, const Settings* settings);

// True when the 4 bytes at `head` are the container's magic "fZQ ".
bool has_zq_magic(const uint8_t* head);

// Chunk readers: called just after the tag with pos = the tag's running offset
// + 4. They return the running offset after the chunk, or 0 on a failed read
// or seek. They print nothing.
uint32_t read_trk_chunk(FILE* src, uint32_t pos, TrackInfo* track);
uint32_t read_slp_chunk(FILE* src, uint32_t pos, TrackInfo* track);
