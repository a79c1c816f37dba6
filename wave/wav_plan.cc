#include "wave/wav_plan.h"

#include "base/error_lines.h"
#include "base/pos32.h"

namespace {

// What transfar copies of `count` bytes from source position `at`, in
// pieces of `piece` bytes, before a piece cannot be read whole: every byte,
// or the whole pieces before the end of the source.
uint32_t copied(uint64_t at, uint32_t count, uint32_t piece, uint64_t source_bytes) {
  if (at + count <= source_bytes) return count;
  const uint64_t available = source_bytes > at ? source_bytes - at : 0;
  return static_cast<uint32_t>(available / piece * piece);
}

void add_extent(WavPlan* out, uint32_t offset, uint32_t length, uint32_t repeats) {
  if (length > 0 && repeats > 0) out->extents[out->extent_count++] = SourceExtent{offset, length, repeats};
}

// Ends the plan with a failure.
void stop(WavPlan* out, int code, const char* line) {
  out->result = code;
  out->error = line;
}

void start(WavPlan* out, const TrackInfo* t, const WavHeaderFields& h) {
  *out = WavPlan{};
  out->head_bytes = encode_header(t, h, out->head);
  out->full_format = h.fmt_length == 16u ? 1u : 0u;
}

// The first copy of a body: go_datahead, a seek on by `skip` bytes when
// there are any (failing with `skip_error`), then `count` bytes from there
// through transfar. False when it stopped the plan.
bool copy_from_data(WavPlan* out, uint32_t data_at, uint32_t skip, const char* skip_error, uint32_t count,
                    uint32_t piece, uint64_t source_bytes) {
  if (data_at >= kPositionLimit) {
    stop(out, -42, error_line(-42));
    return false;
  }
  const uint32_t from = data_at + skip;  // wraps mod 2^32, as the seek's target
  if (skip > 0 && from >= kPositionLimit) {
    stop(out, -43, skip_error);
    return false;
  }
  const uint32_t n = copied(from, count, piece, source_bytes);
  add_extent(out, from, n, 1);
  if (n < count) {
    stop(out, -51, error_line(-51));
    return false;
  }
  return true;
}

}  // namespace

void plan_unrolled_wav(const TrackInfo* t, const Settings* s, uint64_t source_bytes, bool buffer_ok, WavPlan* out) {
  WavHeaderFields h{};
  derive_header(t, s, &h);
  start(out, t, h);
  if (!buffer_ok) return stop(out, -41, error_line(-41));
  const uint32_t piece = static_cast<uint32_t>(s->buffer_size);
  const uint32_t data_at = t->trk_offset + t->data_offset;  // wraps mod 2^32, as the seek's target
  if (!copy_from_data(out, data_at, 0, nullptr, t->data_bytes, piece, source_bytes)) return;
  const uint32_t repeats = s->loop_count > 1 ? static_cast<uint32_t>(s->loop_count - 1) : 0u;
  if (repeats == 0) return;
  // Every repetition seeks back to the data, then on to the loop start. The
  // loop section lies inside the data, which was read whole (and header
  // checks refused a loop start past it), so whether it is read in pieces or
  // at once only the seek can fail, and then already in the first repetition.
  const uint32_t loop_at = data_at + t->loop_start;
  if (loop_at >= kPositionLimit) return stop(out, -43, error_line(-43));
  add_extent(out, loop_at, t->data_bytes - t->loop_start, repeats);
}

void plan_marked_wav(const TrackInfo* t, const Settings* s, LoopEnd end, uint64_t source_bytes, bool buffer_ok,
                     WavPlan* out) {
  plan_unrolled_wav(t, s, source_bytes, buffer_ok, out);
  KeptPlan marks{};
  marked_loop(t, end, &marks);
  WavHeaderFields h{};
  marked_header(t, s, &marks, &h);
  encode_header(t, h, out->head);  // the same header but the RIFF length
  if (out->result == 0 && marks.frames.has_loop != 0) out->tail_bytes = trailer(h.data_length, &marks, t, out->tail);
}

void plan_kept_wav(const TrackInfo* t, const KeptPlan* plan, const WavPiece* piece, const Settings* s,
                   uint64_t source_bytes, bool buffer_ok, WavPlan* out) {
  start(out, t, kept_header(t, *piece));
  if (!buffer_ok) return stop(out, -41, kKeptBufferError);
  const uint32_t data_at = t->trk_offset + t->data_offset;
  if (!copy_from_data(out, data_at, piece->from, kKeptSeekError, piece->bytes, static_cast<uint32_t>(s->buffer_size),
                      source_bytes)) {
    return;
  }
  out->tail_bytes = kept_trailer(*piece, plan, t, out->tail);
}
