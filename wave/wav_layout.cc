#include "wave/wav_layout.h"

#include <cstring>

#include "base/error_lines.h"
#include "wave/marked_loop.h"

WavLayout describe_unrolled(const TrackInfo* t, const Settings* s) {
  WavLayout l{};
  derive_header(t, s, &l.header);
  l.header_error = error_line(-31);
  l.buffer_error = error_line(-41);
  l.copies.push_back(DataCopy{0, false, nullptr, t->data_bytes, 1, false, 0, 0});
  // Every repetition goes back to the data with an absolute seek, then on to
  // the loop start with a relative one: each step has its own error number.
  const uint32_t repeats = s->loop_count > 1 ? static_cast<uint32_t>(s->loop_count - 1) : 0u;
  const uint32_t loop_bytes = t->data_bytes - t->loop_start;  // unsigned difference
  if (repeats > 0) l.copies.push_back(DataCopy{t->loop_start, true, error_line(-43), loop_bytes, repeats, true, 0, 0});
  l.flush_body = true;
  return l;
}

WavLayout describe_marked(const TrackInfo* t, const Settings* s, LoopEnd end) {
  WavLayout l = describe_unrolled(t, s);
  KeptPlan marks{};
  marked_loop(t, end, &marks);
  marked_header(t, s, &marks, &l.header);  // the same header but the RIFF length, which counts the chunk
  if (marks.frames.has_loop == 0) return l;  // the command line's WAV exactly
  l.marks = LoopMarks{true, marks.frames.loop_start, marks.frames.loop_end};
  l.tail_bytes = trailer(l.header.data_length, &marks, t, l.tail);
  l.tail_code = -52;
  l.tail_error = error_line(-52);
  l.flush_end = true;
  return l;
}

namespace {

// The sizes of an RF64 file of `layout`'s header fields, its data and trailer.
void make_rf64(WavLayout* l, uint64_t data) {
  l->rf64 = true;
  l->rf64_data_length = data;
  l->rf64_riff_length = 4u /* "WAVE" */ + 8u + 28u /* ds64 */ + 8u + l->header.fmt_length + 8u + data + l->tail_bytes;
}

}  // namespace

WavLayout describe_unrolled_any_length(const TrackInfo* t, const Settings* s) {
  WavHeaderFields h{};
  uint64_t data = 0;
  if (derive_header_any_length(t, s, &h, &data) != 0 || riff_fits(data + 36u)) return describe_unrolled(t, s);
  WavLayout l = describe_unrolled(t, s);  // its copies; its header is refused, and is this one
  l.header = h;
  make_rf64(&l, data);
  return l;
}

WavLayout describe_marked_any_length(const TrackInfo* t, const Settings* s, LoopEnd end) {
  KeptPlan marks{};
  marked_loop(t, end, &marks);
  WavHeaderFields fits{};
  if (marked_header(t, s, &marks, &fits) != -33) return describe_marked(t, s, end);
  WavHeaderFields h{};
  uint64_t data = 0;
  if (derive_header_any_length(t, s, &h, &data) != 0) return describe_marked(t, s, end);
  WavLayout l = describe_unrolled(t, s);
  l.header = h;
  if (marks.frames.has_loop != 0) {
    l.marks = LoopMarks{true, marks.frames.loop_start, marks.frames.loop_end};
    l.tail_bytes = trailer(static_cast<uint32_t>(data), &marks, t, l.tail);  // the pad byte by the low bits' parity
    l.tail_code = -52;
    l.tail_error = error_line(-52);
    l.flush_end = true;
  }
  make_rf64(&l, data);
  return l;
}

WavLayout describe_kept(const TrackInfo* t, const KeptPlan* plan, const WavPiece* piece) {
  WavLayout l{};
  l.header = kept_header(t, *piece);
  l.header_error = kKeptHeaderError;
  l.buffer_error = kKeptBufferError;
  l.copies.push_back(DataCopy{piece->from, piece->from > 0, kKeptSeekError, piece->bytes, 1, false, 0, 0});
  if (piece->smpl) l.marks = LoopMarks{true, plan->frames.loop_start, plan->frames.loop_end};
  l.tail_bytes = kept_trailer(*piece, plan, t, l.tail);
  l.tail_code = -31;
  l.tail_error = kKeptHeaderError;
  l.flush_end = true;
  return l;
}
