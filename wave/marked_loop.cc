#include "wave/marked_loop.h"

#include "base/error_lines.h"
#include "base/messages.h"

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
  say("%s", kMarkedTooLargeError);
  return -33;
}
