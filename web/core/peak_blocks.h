// The lowest and highest sample of each block of frames of little-endian
// PCM, for the page's waveforms: the one pass over every sample of a long
// sound, done in WebAssembly rather than in script.
#pragma once

#include <cstdint>

// For the `frames` frames at `pcm` (`channels` samples of `bits` bits each,
// 8 unsigned, 16, 24 or 32 signed, one after another), the extremes of every
// block of `block_frames` frames, the last block holding what is left, as
// numbers from -1 to just under 1 (the sample over its full swing), in
// `low` and `high`, one entry a block. Returns the blocks written, or 0 for
// a layout it does not read.
uint32_t block_extremes(const uint8_t* pcm, uint32_t frames, uint32_t channels, uint32_t bits,
                        uint32_t block_frames, float* low, float* high);
