// The unrolled sound shaped for listening: the loop repeated for a number of
// passes or up to a target length, a further stretch of loop, then a linear
// fade to silence; or, for a loop that ends before the data, the passes and
// then the data's real ending. And a loop chosen by the user (a loop list's)
// in place of the container's. One definition, in sample frames, that the
// batch command and the page both carry out (doc/lengths.md):
//
//   D frames of data, the loop [L, E), rate r, passes n;
//   body   B  = E + (n - 1)(E - L), or floor(T r) for a target T
//   delay  Dl = floor(d r), fade F = floor(f r), output B + Dl + F frames;
//   output frame k is source frame k for k < E, else L + (k - L) mod (E - L);
//   for j = k - (B + Dl) in [0, F) each sample is scaled by (F - j) / F,
//   truncated toward zero (8-bit samples around 128).
//
// Seconds are taken as whole microseconds, so that floor(t r) is exact
// integer arithmetic on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wave/kept_loop.h"

// The longest fade and delay, and the longest target, in microseconds: a
// fade's frames then stay below 2^31 at any rate a container can hold.
inline constexpr int64_t kLongestFadeMicros = 3600LL * 1000000;
inline constexpr int64_t kLongestTargetMicros = 86400LL * 1000000;

// A loop the user chose, in frames, [start, end), and what the list that
// chose it said of the file, checked against the file before anything is
// written.
struct LoopChoice {
  bool chosen = false;
  uint32_t start = 0;
  uint32_t end = 0;
  int64_t rate = -1;    // the list's rate, -1 when it gave none
  int64_t frames = -1;  // the list's frame count, likewise
  std::string list;     // the list's name, and the line the loop is on, for the lines
  int line = 0;
  std::string problem;  // why the list's line cannot be used, found on reading it; empty when it can
};

// What the user asked of the sound's length.
struct ShapeRequest {
  int64_t fade_micros = 0;
  int64_t delay_micros = 0;
  int64_t target_micros = -1;  // -1: the loop count's passes
  bool to_end = false;         // after the passes, the data past the loop's end
  LoopChoice loop;
};

// Whether the request asks anything of the unrolled sound's length or loop:
// without it, the output is the unrolled layout exactly.
bool shape_asked(const ShapeRequest& request);

// Seconds as the options and the page take them, "10", "2.5", "0.000001":
// a decimal number, at most six digits after the point, at most `most`
// microseconds, into `*micros`. False when `text` is not one.
bool seconds_micros(const char* text, int64_t most, int64_t* micros);

// floor(micros x rate / 10^6).
uint64_t frames_of_micros(int64_t micros, uint32_t rate);

// Why the chosen loop cannot be used on a track of `frames` (its own loop
// not yet replaced) at `rate`: a plain reason, empty when it can.
std::string loop_choice_refusal(const LoopChoice& loop, const LoopFrames& frames, uint32_t rate);

// The track's frames with the chosen loop in place of its own.
void apply_loop_choice(const LoopChoice& loop, LoopFrames* frames);

// The shape in frames.
struct ShapeFrames {
  bool looped;     // there is a loop to repeat; else the data is cut at D at the most
  uint64_t data;   // D
  uint64_t start;  // L
  uint64_t end;    // E
  uint64_t body;   // B
  uint64_t delay;  // Dl
  uint64_t fade;   // F
  uint64_t ending; // frames of the real ending after the body (D - E), or 0
  uint64_t total;  // the output's frames
};

// The shape of `request` for the frames `f` (a chosen loop applied) at
// `rate`, the loop heard `passes` times.
ShapeFrames shape_frames(const LoopFrames& f, uint32_t rate, int32_t passes, const ShapeRequest& request);

// One stretch of the output: `frames` source frames from `source`, copied
// `repeats` times in a row; faded when `faded`, its first frame at fade
// position `fade_at` (j), each repetition `frames` further on.
struct ShapeRun {
  uint64_t source;
  uint64_t frames;
  uint64_t repeats;
  bool faded;
  uint64_t fade_at;
};

// The output's stretches in order, the repetitions of whole loop passes as
// one stretch each (however many there are: `repeats` is wide).
std::vector<ShapeRun> shape_runs(const ShapeFrames& shape);

// The samples of `count` whole frames of `slots` bytes each sample, `channels`
// a frame, at `bytes`, scaled in place by (F - j) / F for j from `fade_at` on,
// truncated toward zero; 8-bit samples are unsigned, around 128, the others
// signed little-endian. A frame at or past F becomes silence.
void fade_frames(uint8_t* bytes, uint64_t count, uint32_t channels, uint32_t slot_bytes, uint64_t fade_at,
                 uint64_t fade);
