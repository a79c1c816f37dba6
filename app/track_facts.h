// What the page shows of a converted file: the facts that the converter's own
// run found and worked out, never a second reader's or a script's guess.
#pragma once

#include <cstdint>
#include <vector>

#include "app/kelvor_main.h"

// One fact of a run, under the name the page knows it by.
struct RunFact {
  const char* name;
  int64_t value;
};

// The facts of one run, each made beside its name:
//   the reader's record: total_size, trk_offset, trk_mark, data_offset,
//     data_bytes, sample_rate, channels, frame_bits, sample_bits,
//     slp_offset, loop_mark, loop_start;
//   loop_count: the loop count the track was converted with (the
//     no-loop-info rule applied);
//   block_align, byte_rate, data_length: the header's for it;
//   header_result: 0 when that header can be written, else its refusal
//     (-32 or -33), the three before it being 0;
//   frames, has_loop, loop_start_frame, loop_end_frame: the track in sample
//     frames (wave/kept_loop.h);
//   dropped_bytes, loop_start_moved, loop_start_dropped: the partial frame a
//     kept WAV leaves out, and whether the loop start was rounded down to a
//     frame or lay in that partial frame;
//   kept_bits: the bits per sample a kept WAV's header says;
//   smpl_loop_end, loop_end_past_last: the end frame a smpl chunk of the
//     run gives, and 1 when it is the frame after the loop's last;
//   largest_loop_count: for the kinds that unroll the loop, the largest
//     loop count whose WAV fits 32-bit lengths (0 when none does), by the
//     same checks the run makes; 0 for the kinds that keep it.
std::vector<RunFact> run_facts(const RunReport& report);

// The value of the fact `name` among `facts`; -1 when there is none.
int64_t fact(const std::vector<RunFact>& facts, const char* name);
