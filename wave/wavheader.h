// RIFF/WAVE header writer. The header announces the unrolled length: the
// sample data once plus the loop section (loop count - 1) more times.
//
//   default header = "RIFF" (4) + riff length (4) + "WAVE" (4)
//                  + "fmt " (4) + 16 (4) + tag, channels (2 x 2) + rate, byte rate (2 x 4)
//                  + block align, bits per sample (2 x 2)
//                  + "data" (4) + data length (4)                      = 44 bytes
//   short header (-x) drops block align and bits per sample and says
//                  12 for the format block                              = 40 bytes
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/records.h"

inline constexpr uint32_t kHeaderBytes = 44;
inline constexpr uint32_t kShortHeaderBytes = 40;

// Whether a WAV whose RIFF chunk holds `riff_length` bytes (the file less its
// first 8) can be written: the RIFF and data lengths are 32-bit fields.
// Every kind decides with this whether its layout fits.
inline bool riff_fits(uint64_t riff_length) { return riff_length <= UINT32_MAX; }

// Every value of the header that is derived rather than copied, computed in one place.
struct WavHeaderFields {
  uint32_t riff_length;  // file length - 8
  uint32_t fmt_length;   // 16, or 12 for the short format block
  uint32_t byte_rate;    // block align x sample rate, mod 2^32
  uint16_t block_align;  // low 16 bits of (signed frame bits x channels) / 8
  uint16_t sample_bits;  // the bits per sample field
  uint32_t data_length;  // data + loop section x (loop count - 1)
};

// The header's block align for the track: the low 16 bits of (frame bits x
// channels, as a signed 32-bit value) / 8.
uint16_t header_block_align(const TrackInfo* track);

// Fills `out` for the track and settings. Returns 0, or -32 when a repeated loop
// would start beyond the data, or -33 when the lengths would not fit 32 bits.
// Prints nothing.
int derive_header(const TrackInfo* track, const Settings* settings, WavHeaderFields* out);

// The same for a WAV that may pass 4 GiB, which is then written as RF64
// (encode_rf64_header): the lengths are never refused, `*data` is the
// data's length in full, and the 32-bit lengths of `out` are 0xFFFFFFFF when
// they do not fit. Returns 0, or -32 as derive_header. Prints nothing.
int derive_header_any_length(const TrackInfo* track, const Settings* settings, WavHeaderFields* out, uint64_t* data);

// Whether a header can be written for the track heard `loop_count` times in
// all: 0, or -32 / -33 as derive_header refuses it, having printed the error
// line. A conversion asks this before it touches the destination.
int check_header(const TrackInfo* track, int32_t loop_count);

// The bits per sample of a header that readers take at its word: the width
// of a sample's slot in a frame (block align / channels x 8) where the
// container's bits per sample is another (24-bit samples in 32-bit slots,
// which readers otherwise count as 24-bit frames and so misread), else the
// container's own. Equal to the container's whenever the two agree.
uint16_t slot_sample_bits(const TrackInfo* track);

// The fields of a header with the full format block for `data_bytes` of
// sample data written once, followed by `trailer_bytes` of other chunks (a
// pad byte, a smpl chunk) that the RIFF length counts, its bits per sample
// the slot's (slot_sample_bits).
WavHeaderFields derive_plain_header(const TrackInfo* track, uint32_t data_bytes, uint32_t trailer_bytes);

// The bytes of a header of the fields `h` (the format block short when its
// length is 12), in the order of the table above: returns how many, 44 or 40.
uint32_t encode_header(const TrackInfo* track, const WavHeaderFields& h, uint8_t out[kHeaderBytes]);

// The header of an RF64 file (EBU Tech 3306), for a WAV past 4 GiB:
//   "RF64" + 0xFFFFFFFF + "WAVE"
//   + "ds64" + 28 + RIFF length (8) + data length (8) + frames (8) + 0 (4)
//   + the format chunk of `h` + "data" + 0xFFFFFFFF               = 80 bytes
// (76 with the short format block). `riff` is the file's length less 8.
inline constexpr uint32_t kRf64HeaderBytes = 80;
uint32_t encode_rf64_header(const TrackInfo* track, const WavHeaderFields& h, uint64_t riff, uint64_t data,
                            uint8_t out[kRf64HeaderBytes]);

// Writes the header of the fields `h` at the destination's position, one
// write per field, and flushes it. False when a write or the flush failed.
// Prints nothing.
bool put_header(FILE* dst, const TrackInfo* track, const WavHeaderFields& h);

// Writes the header at the destination's current position and flushes it.
// Returns 0, -31 (a write or the flush failed), -32 or -33 (refused before
// anything is written), having printed the error line.
int wavheader(FILE* dst, const TrackInfo* track, const Settings* settings);
