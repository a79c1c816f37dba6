// The facts the page shows come from the converter's own reader.
#include "web/track_facts.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "test_support.h"

TEST(TrackFacts, TheExampleHasItsIntroAndLoop) {
  FILE* f = std::fopen(KELVOR_EXAMPLE, "rb");
  ASSERT_NE(f, nullptr);
  TrackInfo track;
  EXPECT_EQ(describe_track(f, &track), 0);
  std::fclose(f);
  uint32_t fields[kTrackFields];
  track_fields(track, fields);
  // 2 channels of 16 bits at 44,100 Hz: 1.5 s of data, the loop from 0.5 s.
  EXPECT_EQ(fields[2], 1u);
  EXPECT_EQ(fields[4], 66150u * 4);
  EXPECT_EQ(fields[5], 44100u);
  EXPECT_EQ(fields[6], 2u);
  EXPECT_EQ(fields[7], 16u);
  EXPECT_EQ(fields[8], 16u);
  EXPECT_EQ(fields[10], 1u);
  EXPECT_EQ(fields[11], 22050u * 4);
}

TEST(TrackFacts, NoLoopChunkLeavesTheLoopFieldsAtZeroWhateverWasThere) {
  const Bytes zq = ZqBuilder().header(8 + 36 + 8).trk().data(8).bytes();
  TempStream src(zq);
  TrackInfo track;
  track.loop_mark = 7;  // a record used before
  track.loop_start = 9;
  EXPECT_EQ(describe_track(src.get(), &track), 0);
  uint32_t fields[kTrackFields];
  track_fields(track, fields);
  EXPECT_EQ(fields[2], 1u);
  EXPECT_EQ(fields[4], 8u);
  EXPECT_EQ(fields[10], 0u);
  EXPECT_EQ(fields[11], 0u);
}
