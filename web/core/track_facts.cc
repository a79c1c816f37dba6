#include "web/core/track_facts.h"

#include <cstdint>

#include "app/convert.h"
#include "wave/kept_loop.h"
#include "wave/marked_loop.h"
#include "wave/wavheader.h"

const char* const kFactNames[kRunFacts] = {
    "total_size",  "trk_offset",  "trk_mark",   "data_offset",
    "data_bytes",  "sample_rate", "channels",   "frame_bits",
    "sample_bits", "slp_offset",  "loop_mark",  "loop_start",
    "loop_count",
    "block_align", "byte_rate",   "data_length",
    "header_result",
    "frames",      "has_loop",    "loop_start_frame", "loop_end_frame",
    "dropped_bytes", "loop_start_moved", "loop_start_dropped", "kept_bits",
    "smpl_loop_end", "loop_end_past_last", "largest_loop_count"};

namespace {

// Whether the WAV of `kind` for `loop_count` passes the run's own checks of
// its lengths.
bool fits(const TrackInfo& t, OutputKind kind, LoopEnd end, int32_t loop_count) {
  Settings s;
  s.loop_count = loop_count;
  s.loop_count = loop_count_heard(&t, &s);  // a track without loop information is heard once
  WavHeaderFields header{};
  if (derive_header(&t, &s, &header) != 0) return false;
  if (kind != OutputKind::kUnrolledMarked) return true;
  KeptPlan marks{};
  marked_loop(&t, end, &marks);
  return marked_header(&t, &s, &marks, &header) == 0;
}

// The largest loop count that fits, found by halving: a WAV only grows with
// the loop count.
uint32_t largest_loop_count(const TrackInfo& t, OutputKind kind, LoopEnd end) {
  if (kind != OutputKind::kUnrolled && kind != OutputKind::kUnrolledMarked) return 0;
  if (!fits(t, kind, end, 1)) return 0;
  int64_t low = 1, high = INT32_MAX;  // fits(low) holds; the answer is in [low, high]
  while (low < high) {
    const int64_t mid = low + (high - low + 1) / 2;
    if (fits(t, kind, end, static_cast<int32_t>(mid))) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return static_cast<uint32_t>(low);
}

}  // namespace

void run_facts(const RunReport& report, uint32_t out[kRunFacts]) {
  const TrackInfo& t = report.track;
  Settings heard;
  heard.loop_count = report.loop_count;
  WavHeaderFields header{};
  const int refused = derive_header(&t, &heard, &header);
  LoopFrames frames{};
  loop_frames(&t, &frames);
  const uint32_t facts[kRunFacts] = {
      t.total_size,  t.trk_offset,  t.trk_mark,   t.data_offset,
      t.data_bytes,  t.sample_rate, t.channels,   t.frame_bits,
      t.sample_bits, t.slp_offset,  t.loop_mark,  t.loop_start,
      static_cast<uint32_t>(report.loop_count),
      refused == 0 ? header.block_align : 0u,
      refused == 0 ? header.byte_rate : 0u,
      refused == 0 ? header.data_length : 0u,
      static_cast<uint32_t>(refused),
      frames.frames, frames.has_loop, frames.loop_start, frames.loop_end,
      frames.dropped_bytes, frames.start_moved, frames.start_dropped, slot_sample_bits(&t),
      smpl_loop_end(frames, report.loop_end), report.loop_end == LoopEnd::kPastLast ? 1u : 0u,
      largest_loop_count(t, report.kind, report.loop_end)};
  for (int i = 0; i < kRunFacts; ++i) out[i] = facts[i];
}
