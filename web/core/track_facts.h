// What the page shows of a converted file: the facts that the converter's own
// run found and worked out, never a second reader's or a script's guess.
#pragma once

#include <cstdint>

#include "app/kelvor_main.h"

// The facts of one run, as plain 32-bit values, each under the name the page
// knows it by (kFactNames, in the same order):
//   0-11  the reader's record: total_size, trk_offset, trk_mark, data_offset,
//         data_bytes, sample_rate, channels, frame_bits, sample_bits,
//         slp_offset, loop_mark, loop_start;
//   12    loop_count: the loop count the track was converted with (the
//         no-loop-info rule applied);
//   13-15 block_align, byte_rate, data_length: the header's for it;
//   16    header_result: 0 when that header can be written, else its
//         refusal (-32 or -33, as a 32-bit pattern), 13-15 then being 0;
//   17-20 frames, has_loop, loop_start_frame, loop_end_frame: the track in
//         sample frames (wave/kept_loop.h);
//   21-23 dropped_bytes, loop_start_moved, loop_start_dropped: the partial
//         frame a kept WAV leaves out, and whether the loop start was
//         rounded down to a frame or lay in that partial frame;
//   24    kept_bits: the bits per sample a kept WAV's header says;
//   25-26 smpl_loop_end, loop_end_past_last: the end frame a smpl chunk
//         of the run gives, and 1 when it is the frame after the loop's last;
//   27    largest_loop_count: for the kinds that unroll the loop, the largest
//         loop count whose WAV fits 32-bit lengths (0 when none does), by
//         the same checks the run makes; 0 for the kinds that keep it.
inline constexpr int kRunFacts = 28;
extern const char* const kFactNames[kRunFacts];
void run_facts(const RunReport& report, uint32_t out[kRunFacts]);
