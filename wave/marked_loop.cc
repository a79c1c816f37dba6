#include "wave/marked_loop.h"

#include "base/error_lines.h"
#include "base/stream_items.h"
#include "wave/wav_body.h"

void marked_loop(const TrackInfo* t, LoopEnd end, KeptPlan* out) {
  *out = KeptPlan{};
  loop_frames(t, &out->frames);
  out->end = end;
}

int marked_header(const TrackInfo* t, const Settings* s, const KeptPlan* marks, WavHeaderFields* out) {
  const int refused = derive_header(t, s, out);
  if (refused != 0) return refused;
  const uint32_t after = marks->frames.has_loop != 0 ? trailer_bytes(out->data_length, true) : 0u;
  const uint64_t riff = uint64_t{out->riff_length} + after;
  if (!riff_fits(riff)) return -33;
  out->riff_length = static_cast<uint32_t>(riff);
  return 0;
}

int check_marked(const TrackInfo* t, const Settings* s, LoopEnd end) {
  KeptPlan marks{};
  marked_loop(t, end, &marks);
  WavHeaderFields h{};
  if (marked_header(t, s, &marks, &h) == 0) return 0;
  std::printf("%s", kMarkedTooLargeError);
  return -33;
}

int write_marked_wav(FILE* src, FILE* dst, const TrackInfo* t, const Settings* s, LoopEnd end) {
  KeptPlan marks{};
  marked_loop(t, end, &marks);
  WavHeaderFields h{};
  if (marked_header(t, s, &marks, &h) != 0) {  // checked before the destination was made; never met here
    std::printf("%s", kMarkedTooLargeError);
    return -33;
  }
  if (!put_header(dst, t, h)) return print_error(-31);
  const int result = write_wav_body(src, dst, t, s);
  if (result != 0) return result;
  uint8_t after[kKeptTrailerMost];
  if (marks.frames.has_loop == 0) return 0;
  const uint32_t n = trailer(h.data_length, &marks, t, after);
  if (!write_item(dst, after, n) || !flush_stream(dst)) return print_error(-52);
  return 0;
}
