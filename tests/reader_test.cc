// The container reader on containers built here: the well-formed layouts, and
// one damaged field per case with the exact reason reported.
#include <gtest/gtest.h>

#include "container/analyze.h"
#include "base/little_endian.h"
#include "base/pos32.h"
#include "test_support.h"

namespace {

struct Walk {
  int result;
  TrackInfo track;
  std::string out;
};

Walk walk(const Bytes& bytes) {
  TempStream f(bytes);
  Walk w{};
  Settings s;
  CaptureStdout cap;
  w.result = analyze(f.get(), &w.track, &s);
  w.out = cap.text();
  return w;
}

const std::string kReadError = "error-22 : read error(analyze)\n";

TEST(LoadLe, AssemblesBytesInLittleEndianOrderWithoutSignExtension) {
  const uint8_t b[4] = {0x78, 0x56, 0xF4, 0xFF};
  EXPECT_EQ(load_le32(b), 0xFFF45678u);
  EXPECT_EQ(load_le16(b + 2), 0xFFF4u);
  const uint8_t high[2] = {0x80, 0x81};
  EXPECT_EQ(load_le16(high), 0x8180u);
}

TEST(Reader, SmallContainerFillsEveryField) {
  Walk w = walk(small_container());
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(w.out, "");
  const TrackInfo& t = w.track;
  EXPECT_EQ(t.total_size, 76u);
  EXPECT_EQ(t.trk_offset, 8u);
  EXPECT_EQ(t.trk_mark, 1u);
  EXPECT_EQ(t.data_offset, 36u);
  EXPECT_EQ(t.data_bytes, 8u);
  EXPECT_EQ(t.sample_rate, 44100u);
  EXPECT_EQ(t.channels, 2u);
  EXPECT_EQ(t.frame_bits, 16u);
  EXPECT_EQ(t.sample_bits, 16u);
  EXPECT_EQ(t.slp_offset, 52u);
  EXPECT_EQ(t.loop_mark, 1u);
  EXPECT_EQ(t.loop_start, 4u);
}

TEST(Reader, ChunkReadersReturnTheRunningOffsetPastEachChunk) {
  TempStream f(small_container());
  TrackInfo t{};
  uint8_t tag[8 + 4];
  ASSERT_EQ(std::fread(tag, sizeof tag, 1, f.get()), 1u);
  EXPECT_EQ(read_trk_chunk(f.get(), 12, &t), 52u);
  ASSERT_EQ(std::fread(tag, 4, 1, f.get()), 1u);
  EXPECT_EQ(read_slp_chunk(f.get(), 56, &t), 77u);
  EXPECT_EQ(std::ftell(f.get()), 76);  // right after field 5: no seek over field 1
}

TEST(Reader, HeaderOnlyAndShortTotalsReadNoChunk) {
  for (uint32_t total : {0u, 7u, 8u}) {
    Walk w = walk(ZqBuilder().header(total).tag("JUNK").bytes());
    EXPECT_EQ(w.result, 0) << total;
    EXPECT_EQ(w.track.trk_mark, 0u);
    EXPECT_EQ(w.track.total_size, total);
  }
}

TEST(Reader, MagicIsComparedByteForByteBeforeTheTotalLength) {
  for (const char* magic : {"fzq ", "FZQ ", "fZQ_", "RIFF"}) {
    Bytes b = small_container();
    std::copy(magic, magic + 4, b.begin());
    Walk w = walk(b);
    EXPECT_EQ(w.result, -23) << magic;
    EXPECT_EQ(w.out, "error-23 : invalid .zq file(analyze)\n");
  }
  EXPECT_EQ(walk(Bytes{'f', 'Z', 'Q'}).result, -22);
  EXPECT_EQ(walk(Bytes{'a', 'b', 'c', 'd'}).result, -23);
  Walk short_total = walk(Bytes{'f', 'Z', 'Q', ' ', 76, 0, 0});
  EXPECT_EQ(short_total.result, -22);
  EXPECT_EQ(short_total.out, kReadError);
  EXPECT_EQ(walk(Bytes{}).result, -22);
}

TEST(Reader, UnknownTagIsAnInvalidChunk) {
  Walk w = walk(ZqBuilder().header(100).trk().data(8).tag("LIST").u32(4).bytes());
  EXPECT_EQ(w.result, -24);
  EXPECT_EQ(w.out, "error-24 : invalid cunk(analyze)\n");
  EXPECT_EQ(w.track.trk_mark, 1u);  // what was read before stays
}

TEST(Reader, EveryTruncationInsideAChunkIsAReadError) {
  const Bytes full = small_container();
  // Cutting the file anywhere from the first tag up to the last field of the
  // cSLP chunk fails, except inside the sample data, which is only skipped.
  for (size_t len = 8; len < full.size(); ++len) {
    if (len >= 44 && len <= 52) continue;
    Walk w = walk(slice(full, 0, len));
    EXPECT_EQ(w.result, -22) << "length " << len;
    EXPECT_EQ(w.out, kReadError) << "length " << len;
  }
}

TEST(Reader, SampleDataShorterThanAnnouncedStillSkipsForward) {
  // The cTRK chunk announces 8 bytes but the file stops after 2 of them.
  Bytes cut = slice(small_container(), 0, 46);
  Walk ends_at_total = walk(ZqBuilder().header(52).trk().data(2, 44).bytes());
  EXPECT_EQ(ends_at_total.result, 0);
  EXPECT_EQ(ends_at_total.track.data_bytes, 8u);
  Walk needs_more = walk(cut);  // total 76: the next tag cannot be read
  EXPECT_EQ(needs_more.result, -22);
}

TEST(Reader, WalkStopsWhereTheRunningOffsetReachesTheTotal) {
  // The total ends right after the cTRK chunk: the garbage after it is never read.
  Walk w = walk(ZqBuilder().header(52).trk().data(8).tag("JUNK").bytes());
  EXPECT_EQ(w.result, 0);
  EXPECT_EQ(w.track.loop_mark, 0u);
  // A total inside the cTRK chunk still reads it whole.
  EXPECT_EQ(walk(ZqBuilder().header(20).trk().data(8).bytes()).result, 0);
}

TEST(Reader, TotalLongerThanTheFile) {
  // After cSLP the running offset is 52 + 24 + field 1.
  Bytes b = ZqBuilder().header(80).trk().data(8).slp(1, 1).bytes();
  EXPECT_EQ(walk(b).result, -22);  // 77 < 80: another tag is wanted
  ZqBuilder reached;
  reached.header(80).trk().data(8).slp(4, 1);  // 52 + 24 + 4 = 80
  Walk w = walk(reached.bytes());
  EXPECT_EQ(w.result, 0);
  EXPECT_EQ(w.track.loop_mark, 4u);
}

TEST(Reader, LastLoopChunkEndsTheWalkWhateverItsMark) {
  for (uint32_t mark : {0u, 1u, 1000u, 0x7FFFFFFFu}) {
    Walk w = walk(ZqBuilder().header(76).trk().data(8).slp(mark, 1).bytes());
    EXPECT_EQ(w.result, 0) << mark;
  }
  // A mark that wraps the running offset below the total: the next tag is wanted.
  Walk wrapped = walk(ZqBuilder().header(76).trk().data(8).slp(0xFFFFFFF0u, 1).bytes());
  EXPECT_EQ(wrapped.result, -22);
  // One that wraps to exactly 0 is a failed chunk read.
  Walk zero = walk(ZqBuilder().header(76).trk().data(8).slp(0u - 76u, 1).bytes());
  EXPECT_EQ(zero.result, -22);
}

TEST(Reader, ChunksMayComeInEitherOrderAndTheLastOfAKindWins) {
  TrkFields second;
  second.rate = 22050;
  second.channels = 1;
  Bytes b = ZqBuilder().header(8 + 24 + 44 + 44).slp(0, 3).trk().data(8).trk(second).data(8).bytes();
  Walk w = walk(b);
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(w.track.slp_offset, 8u);
  EXPECT_EQ(w.track.trk_offset, 76u);
  EXPECT_EQ(w.track.sample_rate, 22050u);
  EXPECT_EQ(w.track.channels, 1u);
  EXPECT_EQ(w.track.loop_mark, 0u);
  EXPECT_EQ(w.track.loop_start, 12u);
}

TEST(Reader, TrackAfterAMarkedLoopChunkRecordsItsTrueTagOffset) {
  // A cSLP mark of 8 puts the running offset 8 bytes ahead of the file, so
  // the walk ends by the total early; the cTRK tag itself is at 32.
  Bytes b = ZqBuilder().header(8 + 24 + 44 + 8).slp(8, 0).trk().data(8, 200).bytes();
  Walk w = walk(b);
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(w.track.trk_offset, 32u);
  EXPECT_EQ(w.track.trk_offset + w.track.data_offset, 68u);
  EXPECT_EQ(b[68], 200);
}

TEST(Reader, TrackFieldsAreConvertedAsStored) {
  TrkFields f;
  f.mark = 0;  // read in full, yet no track
  f.rate = 65536 + 44100;
  f.units = 0x40000001u;  // x 4 wraps to 4
  f.data_offset = 40;
  Walk w = walk(ZqBuilder().header(8 + 36 + 4).trk(f).data(4).bytes());
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(w.track.trk_mark, 0u);
  EXPECT_EQ(w.track.sample_rate, 44100u);
  EXPECT_EQ(w.track.data_bytes, 4u);
  EXPECT_EQ(w.track.data_offset, 40u);
  Walk loop = walk(ZqBuilder().header(32).slp(1, 0x40000002u).bytes());
  EXPECT_EQ(loop.track.loop_start, 8u);
}

TEST(Reader, DataSkipAtThePositionLimit) {
  // The skip target is tag + 36 + data bytes; the total ends the walk there.
  auto skipping_to = [](uint32_t target) {
    TrkFields f;
    f.units = (target - 44u) / 4u;
    return ZqBuilder().header(target).trk(f).bytes();
  };
  EXPECT_EQ(walk(skipping_to(0x7FFFFFFCu)).result, 0);
  Walk w = walk(skipping_to(0x80000000u));
  EXPECT_EQ(w.result, -22);
  EXPECT_EQ(w.out, kReadError);
}

TEST(Position32, TargetsFromTwoToTheThirtyFirstFail) {
  TempStream f(Bytes(16, 0));
  EXPECT_TRUE(seek_to32(f.get(), 0x7FFFFFFFu));  // past the end is allowed
  uint32_t at = 0;
  ASSERT_TRUE(tell32(f.get(), &at));
  EXPECT_EQ(at, 0x7FFFFFFFu);
  EXPECT_FALSE(seek_to32(f.get(), 0x80000000u));
  EXPECT_FALSE(seek_to32(f.get(), 0xFFFFFFFFu));
  ASSERT_TRUE(seek_to32(f.get(), 8));
  EXPECT_TRUE(seek_by32(f.get(), 0x7FFFFFF7u));
  ASSERT_TRUE(seek_to32(f.get(), 8));
  EXPECT_FALSE(seek_by32(f.get(), 0x7FFFFFF8u));
  EXPECT_TRUE(seek_by32(f.get(), 0xFFFFFFFCu));  // wraps to 4
  ASSERT_TRUE(tell32(f.get(), &at));
  EXPECT_EQ(at, 4u);
}

TEST(Reader, WrappingSkipNeverMovesTheWalkBackwards) {
  // field 4 x 4 = 2^32 - 36: the target would wrap to the cTRK tag and the
  // running offset to 8, walking the same chunk for ever.
  TrkFields f;
  f.units = (0u - 36u) / 4u;
  Walk w = walk(ZqBuilder().header(1000).trk(f).bytes());
  EXPECT_EQ(w.result, -22);
  EXPECT_EQ(w.out, kReadError);
}

TEST(Reader, RunningOffsetPastTwoToTheThirtyTwoIsAReadError) {
  // A leading cSLP mark of 2^32 - 256 puts the running offset far ahead of the
  // file: the cTRK chunk's end (offset + 32 + 256 data bytes) passes 2^32
  // while the file position stays small. Wrapped, the offset would fall back
  // to 0x44 and the final cSLP, whose mark brings it to the total, would end
  // the walk as if nothing were wrong.
  TrkFields f;
  f.units = 64;
  Bytes b = ZqBuilder().header(0xFFFFFFFFu).slp(0xFFFFFF00u, 0).trk(f).data(256).slp(0xFFFFFFA3u, 0).bytes();
  Walk w = walk(b);
  EXPECT_EQ(w.result, -22);
  EXPECT_EQ(w.out, kReadError);
}

}  // namespace
