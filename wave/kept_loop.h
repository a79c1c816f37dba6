// WAVs that keep the loop for players that loop by themselves, rather than
// unrolling it: the sound once with its loop points in a "smpl" chunk, or the
// intro and the loop section as two files; and the smpl chunk that marks the
// loop's first pass in the command line's unrolled WAV. Each kept WAV is a
// stretch of the track's sample data in whole frames (a partial frame at
// the end is left out), copied in pieces through one buffer as the body is,
// under a standard 44-byte header whose bits per sample is the slot's
// (slot_sample_bits), followed by a pad byte when its length is odd; its
// description is wave/wav_layout.h's describe_kept.
//
//   smpl chunk = "smpl" (4) + 60 (4)
//              + manufacturer, product, sample period in ns, MIDI unity note,
//                pitch fraction, SMPTE format, SMPTE offset (7 x 4)
//              + loops = 1, sampler data = 0 (2 x 4)
//              + one loop: identifier 0, type 0 (forward), start frame,
//                end frame, fraction 0, play count 0 (endless) (6 x 4) = 68 bytes
//
// The end frame is, as RIFF has it, the last frame played; Godot's mixer
// plays up to the frame before its end, so for Godot it is the frame after
// the last (LoopEnd).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/records.h"
#include "wave/wavheader.h"

inline constexpr uint32_t kSmplChunkBytes = 68;
inline constexpr uint32_t kKeptTrailerMost = 1 + kSmplChunkBytes;  // a pad byte, then the smpl chunk

// The lines the kept WAVs' writer prints where the command line's would name
// another function.
inline constexpr const char* kKeptHeaderError = "error-31 : write error(write_kept_wav)\n";
inline constexpr const char* kKeptBufferError = "error-41 : memory allocate faild(write_kept_wav)\n";
inline constexpr const char* kKeptSeekError = "error-43 : seek error(write_kept_wav)\n";

// Where a smpl chunk's loop ends: at its last frame (RIFF's reading, which
// samplers, FMOD, Unreal, Wwise and libsndfile follow) or at the frame after
// it (the one Godot plays exactly).
enum class LoopEnd { kLastFrame = 0, kPastLast = 1 };

// The track in sample frames, for a loop kept rather than unrolled.
struct LoopFrames {
  uint32_t block_align;    // as the header derives it
  uint32_t frames;         // whole frames of the sample data
  uint32_t dropped_bytes;  // the partial frame after them, which kept WAVs leave out
  uint32_t has_loop;       // 1: loop information with at least one whole frame in the loop
  uint32_t loop_start;     // first frame of the loop section: the container's start rounded down
  uint32_t loop_end;       // the frame after its last: the end of the whole frames
  uint32_t start_moved;    // 1: the container's loop start lies inside a frame, and was rounded down
  uint32_t start_dropped;  // 1: it lies in the partial frame at the end: no loop to keep
};

// Fills `out` from the reader's record. Without a loop, loop_start and
// loop_end are 0; a loop that starts inside the partial frame at the end
// has no whole frame, and so is no loop.
void loop_frames(const TrackInfo* track, LoopFrames* out);

// The smpl chunk's end frame for the loop `frames` under `end`.
uint32_t smpl_loop_end(const LoopFrames& frames, LoopEnd end);

// One WAV of a kept loop: `bytes` bytes of the sample data from byte `from`,
// and a smpl chunk when `smpl` is set. `suffix` goes between the
// destination's name and its ".wav"; `role` says what it holds (the kinds'
// table, wave/output_kinds.h).
struct WavPiece {
  uint32_t from;
  uint32_t bytes;
  bool smpl;
  const char* suffix;
  const char* role;
};

// The WAVs of a kept loop, as the kinds' table names them: one with a smpl
// chunk, or (`apart`) the intro and the loop. A track without a loop to keep
// gives one WAV of its data.
struct KeptPlan {
  LoopFrames frames;
  LoopEnd end;
  std::vector<WavPiece> pieces;
};

// Plans the WAVs for the track. Returns 0, or, having printed the error line,
// -32 when the loop would start past the data, -33 when a WAV would not fit
// 32-bit lengths, -34 when a loop is to be kept in frames of 0 bytes. With
// `chosen` (a loop the user chose, already checked against the track:
// wave/sound_shape.h), that loop in place of the container's: the loop
// apart then ends at its end.
struct LoopChoice;
int plan_kept_loop(const TrackInfo* track, bool apart, LoopEnd end, KeptPlan* plan, const LoopChoice* chosen = nullptr);

// The smpl chunk of the loop `frames`, its end under `end`.
void encode_smpl(const TrackInfo* track, const LoopFrames& frames, LoopEnd end, uint8_t out[kSmplChunkBytes]);

// What follows `data_bytes` of sample data: a pad byte when they are odd
// (a chunk starts on an even offset), then, with `smpl` (a plan whose loop it
// marks), the smpl chunk. trailer_bytes gives its length, trailer its bytes
// into `out` (returning the same length).
uint32_t trailer_bytes(uint32_t data_bytes, bool smpl);
uint32_t trailer(uint32_t data_bytes, const KeptPlan* smpl, const TrackInfo* track, uint8_t out[kKeptTrailerMost]);

// A kept WAV's trailer.
inline uint32_t kept_trailer_bytes(const WavPiece& piece) { return trailer_bytes(piece.bytes, piece.smpl); }
inline uint32_t kept_trailer(const WavPiece& piece, const KeptPlan* plan, const TrackInfo* track,
                             uint8_t out[kKeptTrailerMost]) {
  return trailer(piece.bytes, piece.smpl ? plan : nullptr, track, out);
}

// Every derived value of a kept WAV's header: the full format block, and a
// RIFF length that counts the trailer.
WavHeaderFields kept_header(const TrackInfo* track, const WavPiece& piece);
