#include "wave/wav_plan.h"

#include <cstring>

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

void add_extent(WavPlan* out, uint32_t offset, uint32_t length, uint32_t repeats, const DataCopy& c) {
  if (length > 0 && repeats > 0) out->extents.push_back(SourceExtent{offset, length, repeats, c.fade_at, c.fade_frames});
}

// Ends the plan with a failure.
void stop(WavPlan* out, int code, const char* line) {
  out->result = code;
  out->error = line;
}

// One copy of the description: go_datahead, the seek on, and transfar's
// pieces, on this source. False when it stopped the plan. A stretch that is
// repeated lies inside the data, which an earlier copy read whole (and the
// header's checks refused a loop start past it), so whether it is read in
// pieces or at once only its seeks can fail, and then in its first round.
bool plan_copy(WavPlan* out, uint32_t data_at, const DataCopy& c, uint32_t piece, uint32_t align,
               uint64_t source_bytes) {
  if (c.repeats == 0) return true;
  if (c.fade_frames > 0) piece = align > 0 && piece >= align ? piece / align * align : align;  // whole frames: faded_copy
  if (data_at >= kPositionLimit) {
    stop(out, -42, error_line(-42));
    return false;
  }
  const uint32_t from = data_at + c.skip;  // wraps mod 2^32, as the seek's target
  if (c.seek_on && from >= kPositionLimit) {
    stop(out, -43, c.seek_error);
    return false;
  }
  const uint32_t n = copied(from, c.length, piece, source_bytes);
  if (n < c.length) {
    add_extent(out, from, n, 1, c);
    stop(out, -51, error_line(-51));
    return false;
  }
  add_extent(out, from, c.length, c.repeats, c);
  return true;
}

}  // namespace

void plan_layout(const TrackInfo* t, const WavLayout& l, const Settings* s, uint64_t source_bytes, bool buffer_ok,
                 WavPlan* out) {
  *out = WavPlan{};
  out->head_bytes = l.rf64 ? encode_rf64_header(t, l.header, l.rf64_riff_length, l.rf64_data_length, out->head)
                           : encode_header(t, l.header, out->head);
  out->full_format = l.header.fmt_length == 16u ? 1u : 0u;
  if (!buffer_ok) return stop(out, -41, l.buffer_error);
  const uint32_t piece = static_cast<uint32_t>(s->buffer_size);
  const uint32_t data_at = t->trk_offset + t->data_offset;  // wraps mod 2^32, as the seek's target
  for (const DataCopy& c : l.copies) {
    if (!plan_copy(out, data_at, c, piece, l.header.block_align, source_bytes)) return;
  }
  std::memcpy(out->tail, l.tail, l.tail_bytes);
  out->tail_bytes = l.tail_bytes;
}
