#include "web/track_facts.h"

#include "container/analyze.h"

int describe_track(FILE* src, TrackInfo* track) {
  *track = TrackInfo{};
  const Settings settings;
  return analyze(src, track, &settings);
}

void track_fields(const TrackInfo& t, uint32_t out[kTrackFields]) {
  const uint32_t fields[kTrackFields] = {t.total_size, t.trk_offset,  t.trk_mark,    t.data_offset,
                                         t.data_bytes, t.sample_rate, t.channels,    t.frame_bits,
                                         t.sample_bits, t.slp_offset, t.loop_mark,   t.loop_start};
  for (int i = 0; i < kTrackFields; ++i) out[i] = fields[i];
}
