// The shaped sound's description (wave/wav_layout.h, describe_shaped).
#include <algorithm>
#include <limits>

#include "base/error_lines.h"
#include "base/messages.h"
#include "wave/marked_loop.h"
#include "wave/wav_layout.h"

namespace {

// The bytes of a sample's slot, or 0 when the frames are not whole slots
// of 1 to 4 bytes.
uint32_t slot_bytes_of(const TrackInfo* t) {
  const uint32_t align = header_block_align(t);
  if (t->channels == 0 || align == 0 || align % t->channels != 0) return 0;
  const uint32_t slot = align / t->channels;
  return slot <= 4 ? slot : 0;
}

// The copies of the shape's stretches: a stretch repeated more times than
// a copy counts is cut into several copies.
void add_copies(const ShapeFrames& shape, uint32_t align, WavLayout* l) {
  for (const ShapeRun& run : shape_runs(shape)) {
    const uint32_t skip = static_cast<uint32_t>(run.source * align);  // inside the data: fits 32 bits
    const uint32_t length = static_cast<uint32_t>(run.frames * align);
    uint64_t fade_at = run.fade_at;
    for (uint64_t left = run.repeats; left > 0;) {
      const uint32_t now = static_cast<uint32_t>(std::min<uint64_t>(left, std::numeric_limits<uint32_t>::max()));
      const bool first = l->copies.empty() && skip == 0;
      l->copies.push_back(DataCopy{skip, !first, first ? nullptr : error_line(-43), length, now, !run.faded,
                                   run.faded ? fade_at : 0, run.faded ? shape.fade : 0});
      fade_at += uint64_t{now} * run.frames;
      left -= now;
    }
  }
}

}  // namespace

LoopFrames chosen_frames(const TrackInfo* t, const ShapeRequest& r) {
  LoopFrames f{};
  loop_frames(t, &f);
  apply_loop_choice(r.loop, &f);
  return f;
}

int check_shape(const TrackInfo* t, const ShapeRequest& r) {
  std::string why;
  if (r.loop.chosen) {
    LoopFrames f{};
    loop_frames(t, &f);
    why = loop_choice_refusal(r.loop, f, t->sample_rate);
    if (!why.empty()) why = r.loop.list + " line " + std::to_string(r.loop.line) + ": " + why;
  }
  if (why.empty() && r.fade_micros > 0 && slot_bytes_of(t) == 0) {
    why = "a fade needs samples of 1 to 4 bytes, whole in each frame";
  }
  if (why.empty()) return 0;
  say("refused : %s.\n", why.c_str());
  return print_error(-37);
}

bool shape_applies(const TrackInfo* t, int32_t loop_count, const ShapeRequest& r, ShapeFrames* out,
                   LoopFrames* chosen) {
  const LoopFrames frames = chosen_frames(t, r);
  if (chosen != nullptr) *chosen = frames;
  *out = shape_frames(frames, t->sample_rate, loop_count, r);
  if (!shape_asked(r) || frames.block_align == 0) return false;
  return out->looped || out->total != out->data || r.loop.chosen;
}

WavLayout describe_shaped(const TrackInfo* t, const Settings* s, const LoopEnd* marked, const ShapeRequest& r) {
  LoopFrames frames{};
  ShapeFrames shape{};
  if (!shape_applies(t, s->loop_count, r, &shape, &frames)) {
    return marked != nullptr ? describe_marked_any_length(t, s, *marked) : describe_unrolled_any_length(t, s);
  }
  Settings once = *s;
  once.loop_count = 1;
  WavLayout l{};
  derive_header(t, &once, &l.header);  // the data once always fits: its format fields
  l.header_error = error_line(-31);
  l.buffer_error = error_line(-41);
  l.shaped = true;
  l.shape = shape;
  const uint32_t align = frames.block_align;
  add_copies(shape, align, &l);
  l.flush_body = true;
  const uint64_t data = shape.total * align;
  KeptPlan marks{};
  marks.frames = frames;
  marks.end = marked != nullptr ? *marked : LoopEnd::kLastFrame;
  const bool smpl = marked != nullptr && shape.looped;
  if (smpl) l.marks = LoopMarks{true, frames.loop_start, frames.loop_end};
  if (smpl || (data & 1u) != 0) {
    l.tail_bytes = trailer(static_cast<uint32_t>(data), smpl ? &marks : nullptr, t, l.tail);  // the pad by the low bit
    l.tail_code = -52;
    l.tail_error = error_line(-52);
    l.flush_end = true;
  }
  const uint64_t riff = 4u + 8u + l.header.fmt_length + 8u + data + l.tail_bytes;
  l.header.data_length = data <= UINT32_MAX ? static_cast<uint32_t>(data) : UINT32_MAX;
  l.header.riff_length = riff_fits(riff) ? static_cast<uint32_t>(riff) : UINT32_MAX;
  if (!riff_fits(riff)) {
    l.rf64 = true;
    l.rf64_data_length = data;
    l.rf64_riff_length = 4u + 8u + 28u + 8u + l.header.fmt_length + 8u + data + l.tail_bytes;
  }
  return l;
}
