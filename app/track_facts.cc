#include "app/track_facts.h"

#include <cstdint>
#include <cstring>

#include "app/convert.h"
#include "wave/kept_loop.h"
#include "wave/marked_loop.h"
#include "wave/wav_layout.h"
#include "wave/wavheader.h"

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

std::vector<RunFact> run_facts(const RunReport& report) {
  const TrackInfo& t = report.track;
  Settings heard;
  heard.loop_count = report.loop_count;
  WavHeaderFields header{};
  const int refused = derive_header(&t, &heard, &header);
  LoopFrames own{};
  loop_frames(&t, &own);
  const LoopFrames frames = chosen_frames(&t, report.shape);
  ShapeFrames shape{};
  const bool unrolls = report.kind == OutputKind::kUnrolled || report.kind == OutputKind::kUnrolledMarked;
  const bool shaped = unrolls && t.trk_mark != 0 && shape_applies(&t, report.loop_count, report.shape, &shape);
  const ShapeRequest& r = report.shape;
  std::vector<RunFact> facts = {
      {"total_size", t.total_size},
      {"trk_offset", t.trk_offset},
      {"trk_mark", t.trk_mark},
      {"data_offset", t.data_offset},
      {"data_bytes", t.data_bytes},
      {"sample_rate", t.sample_rate},
      {"channels", t.channels},
      {"frame_bits", t.frame_bits},
      {"sample_bits", t.sample_bits},
      {"slp_offset", t.slp_offset},
      {"loop_mark", t.loop_mark},
      {"loop_start", t.loop_start},
      {"loop_count", report.loop_count},
      {"block_align", refused == 0 ? header.block_align : 0},
      {"byte_rate", refused == 0 ? header.byte_rate : 0},
      {"data_length", refused == 0 ? header.data_length : 0},
      {"header_result", refused},
      {"frames", frames.frames},
      {"has_loop", frames.has_loop},
      {"loop_start_frame", frames.loop_start},
      {"loop_end_frame", frames.loop_end},
      {"dropped_bytes", frames.dropped_bytes},
      {"loop_start_moved", frames.start_moved},
      {"loop_start_dropped", frames.start_dropped},
      {"kept_bits", slot_sample_bits(&t)},
      {"smpl_loop_end", smpl_loop_end(frames, report.loop_end)},
      {"loop_end_past_last", report.loop_end == LoopEnd::kPastLast ? 1 : 0},
      {"largest_loop_count", largest_loop_count(t, report.kind, report.loop_end)},
      {"file_has_loop", own.has_loop},
      {"file_loop_start_frame", own.loop_start},
      {"file_loop_end_frame", own.loop_end},
      {"loop_chosen", r.loop.chosen ? 1 : 0},
      {"loop_list_line", r.loop.chosen ? r.loop.line : 0},
      {"fade_micros", r.fade_micros},
      {"delay_micros", r.delay_micros},
      {"target_micros", r.target_micros},
      {"to_end", r.to_end ? 1 : 0},
      {"shaped", shaped ? 1 : 0},
      {"body_frames", shaped ? static_cast<int64_t>(shape.body) : 0},
      {"delay_frames", shaped ? static_cast<int64_t>(shape.delay) : 0},
      {"fade_frames", shaped ? static_cast<int64_t>(shape.fade) : 0},
      {"ending_frames", shaped ? static_cast<int64_t>(shape.ending) : 0},
      {"output_frames", shaped ? static_cast<int64_t>(shape.total) : 0},
  };
  return facts;
}

int64_t fact(const std::vector<RunFact>& facts, const char* name) {
  for (const RunFact& f : facts) {
    if (std::strcmp(f.name, name) == 0) return f.value;
  }
  return -1;
}
