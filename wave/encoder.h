// The seam for encoded formats. Carrying out a description (wave/wav_layout.h)
// for an encoder reads the same stretches of the source with the same seeks
// as the WAV's writer, and hands the sound to the encoder in pieces of at
// most the copy buffer, in order, rather than writing them: the encoder
// writes its own header and metadata (the format facts and the loop marks are
// the description's) and its encoded body into the destination. A format is
// one row of the kinds' table (wave/output_kinds.h) and one Encoder.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/records.h"
#include "wave/wav_layout.h"

struct Encoder {
  void* state;
  // Starts the file for the sound the description tells of: 0, or a
  // negative code having printed its line.
  int (*begin)(void* state, const TrackInfo* track, const WavLayout& layout);
  // The next piece of the sound, as a WAV's data would hold it.
  int (*piece)(void* state, const uint8_t* bytes, uint32_t n);
  // Ends the file: what the encoder still holds, and what follows the sound.
  int (*end)(void* state);
};

// Carries `layout` out through `encoder`, which writes where it was told.
// Returns 0 or the first failure's code: the source's (-41, -42, -43, -51,
// with the description's lines) or the encoder's.
int encode_layout(FILE* src, const TrackInfo* track, const WavLayout& layout, const Settings* settings,
                  const Encoder& encoder);
