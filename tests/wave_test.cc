// The WAVE writer: derived header values, the header bytes, and the looped
// body copy on real temporary files.
#include <gtest/gtest.h>

#include "base/little_endian.h"
#include "test_support.h"
#include "wave/wav_body.h"
#include "wave/wavheader.h"

namespace {

TrackInfo stereo_track(uint32_t data_bytes, uint32_t loop_start) {
  TrackInfo t{};
  t.trk_mark = 1;
  t.loop_mark = 1;
  t.channels = 2;
  t.frame_bits = 16;
  t.sample_bits = 16;
  t.sample_rate = 44100;
  t.data_bytes = data_bytes;
  t.loop_start = loop_start;
  return t;
}

Settings loops(int32_t count, int32_t buffer = 8192) {
  Settings s;
  s.loop_count = count;
  s.buffer_size = buffer;
  return s;
}

struct Header {
  int result;
  Bytes bytes;
  std::string out;
};

Header header_of(const TrackInfo& t, const Settings& s) {
  TempStream dst;
  Header h{};
  CaptureStdout cap;
  h.result = wavheader(dst.get(), &t, &s);
  h.out = cap.text();
  h.bytes = dst.contents();
  return h;
}

TEST(DeriveHeader, LengthsAndRatesOfTheUnrolledSound) {
  WavHeaderFields h{};
  TrackInfo t = stereo_track(1000, 400);
  Settings three = loops(3);
  ASSERT_EQ(derive_header(&t, &three, &h), 0);
  EXPECT_EQ(h.data_length, 2200u);
  EXPECT_EQ(h.riff_length, 2236u);
  EXPECT_EQ(h.block_align, 4u);
  EXPECT_EQ(h.byte_rate, 176400u);
  EXPECT_EQ(h.fmt_length, 16u);

  Settings once = loops(1);
  ASSERT_EQ(derive_header(&t, &once, &h), 0);
  EXPECT_EQ(h.data_length, 1000u);
  EXPECT_EQ(h.riff_length, 1036u);

  TrackInfo whole = stereo_track(1000, 0);
  Settings four = loops(4);
  ASSERT_EQ(derive_header(&whole, &four, &h), 0);
  EXPECT_EQ(h.data_length, 4000u);

  TrackInfo mono8 = stereo_track(10, 0);
  mono8.channels = 1;
  mono8.frame_bits = 8;
  mono8.sample_rate = 8000;
  ASSERT_EQ(derive_header(&mono8, &once, &h), 0);
  EXPECT_EQ(h.block_align, 1u);
  EXPECT_EQ(h.byte_rate, 8000u);
}

TEST(DeriveHeader, BlockAlignIsASignedTruncatingQuotientCutTo16Bits) {
  WavHeaderFields h{};
  Settings once = loops(1);
  TrackInfo t = stereo_track(4, 0);
  t.frame_bits = 12;
  t.channels = 1;  // 12 / 8 truncates to 1
  ASSERT_EQ(derive_header(&t, &once, &h), 0);
  EXPECT_EQ(h.block_align, 1u);
  t.frame_bits = 0xFFFF;
  t.channels = 0xFFFF;  // product 0xFFFE0001 is negative as a signed value
  ASSERT_EQ(derive_header(&t, &once, &h), 0);
  EXPECT_EQ(h.block_align, static_cast<uint16_t>(static_cast<int32_t>(0xFFFE0001u) / 8));
  EXPECT_EQ(h.block_align, 0xC001u);  // -16383: toward zero, not down to -16384
  EXPECT_EQ(h.byte_rate, 0xC001u * 44100u);
  t.frame_bits = 0x2000;
  t.channels = 0x40;  // 2^19 / 8 = 2^16: only the low 16 bits, 0, count
  ASSERT_EQ(derive_header(&t, &once, &h), 0);
  EXPECT_EQ(h.block_align, 0u);
  EXPECT_EQ(h.byte_rate, 0u);
}

TEST(DeriveHeader, RefusesALoopStartBeyondTheDataAndLengthsOver32Bits) {
  WavHeaderFields h{};
  TrackInfo t = stereo_track(100, 100);
  Settings two = loops(2);
  EXPECT_EQ(derive_header(&t, &two, &h), 0);
  t.loop_start = 104;
  EXPECT_EQ(derive_header(&t, &two, &h), -32);
  Settings once = loops(1);  // never repeated: no loop section is read
  EXPECT_EQ(derive_header(&t, &once, &h), 0);

  // The RIFF length is data + 36: data 2^32 - 37 just fits, one unit more does not.
  TrackInfo big = stereo_track(0xFFFFFFDBu, 0);  // 2^32 - 37
  EXPECT_EQ(derive_header(&big, &once, &h), 0);
  EXPECT_EQ(h.riff_length, 0xFFFFFFFFu);
  TrackInfo over = stereo_track(0xFFFFFFDCu, 0);  // 2^32 - 36
  EXPECT_EQ(derive_header(&over, &once, &h), -33);
  TrackInfo loop = stereo_track(1u << 20, 0);
  Settings many = loops(4096);  // 2^32 bytes in all
  EXPECT_EQ(derive_header(&loop, &many, &h), -33);
  Settings max_count = loops(INT32_MAX);
  TrackInfo tiny = stereo_track(4, 4);  // empty loop section: only the data
  EXPECT_EQ(derive_header(&tiny, &max_count, &h), 0);
  EXPECT_EQ(h.data_length, 4u);
}

TEST(WavHeader, WritesTheFortyFourBytesLittleEndian) {
  TrackInfo t = stereo_track(1000, 400);
  Header h = header_of(t, loops(3));
  ASSERT_EQ(h.result, 0);
  const uint8_t expected[44] = {
      'R', 'I', 'F', 'F', 0xBC, 0x08, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
      16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0,
      4, 0, 16, 0, 'd', 'a', 't', 'a', 0x98, 0x08, 0, 0};
  EXPECT_EQ(h.bytes, Bytes(expected, expected + 44));
  EXPECT_EQ(h.out, "");
}

TEST(WavHeader, BitsPerSampleComesFromSampleBitsNotFrameBits) {
  TrackInfo t = stereo_track(8, 0);
  t.frame_bits = 8;
  t.sample_bits = 24;
  Header h = header_of(t, loops(1));
  ASSERT_EQ(h.result, 0);
  EXPECT_EQ(load_le16(&h.bytes[32]), 2u);
  EXPECT_EQ(load_le16(&h.bytes[34]), 24u);
}

TEST(WavHeader, ShortFormatBlockIsAWellFormedFortyByteHeader) {
  TrackInfo t = stereo_track(1000, 400);
  Settings s = loops(3);
  s.omit_fmt_tail = 1;
  Header h = header_of(t, s);
  ASSERT_EQ(h.result, 0);
  ASSERT_EQ(h.bytes.size(), 40u);
  EXPECT_EQ(load_le32(&h.bytes[4]), 2200u + 32u);
  EXPECT_EQ(std::string(h.bytes.begin() + 12, h.bytes.begin() + 16), "fmt ");
  EXPECT_EQ(load_le32(&h.bytes[16]), 12u);
  EXPECT_EQ(load_le16(&h.bytes[20]), 1u);
  EXPECT_EQ(load_le16(&h.bytes[22]), 2u);
  EXPECT_EQ(load_le32(&h.bytes[24]), 44100u);
  EXPECT_EQ(load_le32(&h.bytes[28]), 176400u);
  // The next chunk starts where the format block's length says it does.
  EXPECT_EQ(std::string(h.bytes.begin() + 20 + 12, h.bytes.begin() + 36), "data");
  EXPECT_EQ(load_le32(&h.bytes[36]), 2200u);
}

TEST(WavHeader, RefusalsWriteNothing) {
  TrackInfo beyond = stereo_track(8, 12);
  Header h = header_of(beyond, loops(2));
  EXPECT_EQ(h.result, -32);
  EXPECT_EQ(h.out, "error-32 : loop start is beyond the data(wavheader)\n");
  EXPECT_TRUE(h.bytes.empty());
  TrackInfo huge = stereo_track(0x80000000u, 0);
  h = header_of(huge, loops(2));
  EXPECT_EQ(h.result, -33);
  EXPECT_EQ(h.out, "error-33 : wav file too large(wavheader)\n");
  EXPECT_TRUE(h.bytes.empty());
}

TEST(WavHeader, FailedWriteOrFlushIsReported) {
  FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  TrackInfo t = stereo_track(8, 0);
  Settings s = loops(1);
  CaptureStdout cap;
  int result = wavheader(full, &t, &s);
  std::string out = cap.text();
  std::fclose(full);
  EXPECT_EQ(result, -31);
  EXPECT_EQ(out, "error-31 : write error(wavheader)\n");
}

struct Body {
  int result;
  Bytes bytes;
  std::string out;
};

Body body_of(const Bytes& source, const TrackInfo& t, const Settings& s) {
  TempStream src(source);
  TempStream dst;
  Body b{};
  CaptureStdout cap;
  b.result = write_wav_body(src.get(), dst.get(), &t, &s);
  b.out = cap.text();
  b.bytes = dst.contents();
  return b;
}

// The 76-byte container's track: data at 44..51, loop start 4.
TrackInfo small_track() {
  TrackInfo t = stereo_track(8, 4);
  t.trk_offset = 8;
  t.data_offset = 36;
  return t;
}

TEST(Body, DataOnceThenTheLoopSectionForEachRepeat) {
  const Bytes src = small_container();
  const Bytes data = slice(src, 44, 52);
  const Bytes loop = slice(src, 48, 52);
  // A buffer of 4 or more holds the 4-byte loop section, which is then
  // repeated from memory, 12 bytes holding it 3 times over.
  for (int32_t count : {1, 2, 3, 4, 5, 8}) {
    for (int32_t buffer : {1, 3, 4, 8, 12, 8192}) {
      Body b = body_of(src, small_track(), loops(count, buffer));
      ASSERT_EQ(b.result, 0);
      Bytes expected = data;
      for (int32_t i = 1; i < count; ++i) expected.insert(expected.end(), loop.begin(), loop.end());
      EXPECT_EQ(b.bytes, expected) << "count " << count << " buffer " << buffer;
      EXPECT_EQ(b.out, "");
    }
  }
}

TEST(Body, LoopStartAtEitherEndOfTheData) {
  const Bytes src = small_container();
  TrackInfo whole = small_track();
  whole.loop_start = 0;
  Body b = body_of(src, whole, loops(3));
  Bytes data = slice(src, 44, 52);
  Bytes thrice = data;
  thrice.insert(thrice.end(), data.begin(), data.end());
  thrice.insert(thrice.end(), data.begin(), data.end());
  EXPECT_EQ(b.bytes, thrice);
  TrackInfo at_end = small_track();
  at_end.loop_start = 8;
  b = body_of(src, at_end, loops(5));
  EXPECT_EQ(b.result, 0);
  EXPECT_EQ(b.bytes, data);
}

TEST(Body, ShortDataWritesTheWholePiecesThenFails) {
  // 8 data bytes announced as 12: pieces of 5 bytes give 5 written, then a
  // piece of which only 3 bytes exist, which is not written at all.
  Bytes src = slice(small_container(), 0, 52);
  TrackInfo t = small_track();
  t.data_bytes = 12;
  Body b = body_of(src, t, loops(1, 5));
  EXPECT_EQ(b.result, -51);
  EXPECT_EQ(b.out, "error-51 : read error(transfar)\n");
  EXPECT_EQ(b.bytes, slice(src, 44, 49));
}

TEST(Body, SeekFailuresHaveTheirOwnNumbers) {
  const Bytes src = small_container();
  TrackInfo past_end = small_track();
  past_end.data_offset = 1000;  // the seek succeeds, the read does not
  Body b = body_of(src, past_end, loops(1));
  EXPECT_EQ(b.result, -51);
  EXPECT_TRUE(b.bytes.empty());

  TrackInfo over = small_track();
  over.data_offset = 0x80000000u - 8u;  // data start at 2^31
  b = body_of(src, over, loops(1));
  EXPECT_EQ(b.result, -42);
  EXPECT_EQ(b.out, "error-42 : seek error(go_datahead)\n");

  TrackInfo far_loop = small_track();
  far_loop.data_bytes = 0x7FFFFFF0u;
  far_loop.loop_start = 0x7FFFFFF0u;  // 44 + loop start reaches 2^31
  TempStream s(src);
  Settings two = loops(2);
  CaptureStdout cap;
  ASSERT_EQ(go_datahead(s.get(), &far_loop, &two), 0);
  EXPECT_EQ(skip_loophead(s.get(), &far_loop, &two), -43);
  EXPECT_EQ(cap.text(), "error-43 : seek error(skip_loophead)\n");
}

TEST(Body, OversizedBufferFailsWithoutAnException) {
  Settings s = loops(1, INT32_MAX);
  // Whether 2 GiB can be had depends on the machine: both outcomes are
  // results, and a success copies the same bytes.
  Body b = body_of(small_container(), small_track(), s);
  if (b.result == -41) {
    EXPECT_EQ(b.out, "error-41 : memory allocate faild(write_wav_body)\n");
    EXPECT_TRUE(b.bytes.empty());
  } else {
    EXPECT_EQ(b.result, 0);
    EXPECT_EQ(b.bytes, slice(small_container(), 44, 52));
  }
}

TEST(Transfar, MovesPiecesOfAtMostTheBufferSize) {
  Bytes src(20000);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7);
  TempStream s(src);
  TempStream d;
  Settings set = loops(1);
  std::vector<uint8_t> buf(8192);
  EXPECT_EQ(transfar(s.get(), d.get(), 0, buf.data(), &set), 0);
  EXPECT_EQ(std::ftell(s.get()), 0);
  ASSERT_EQ(transfar(s.get(), d.get(), 20000, buf.data(), &set), 0);
  EXPECT_EQ(d.contents(), src);
  // The last piece, 3,616 bytes, sat in the buffer's start: the tail of the
  // second full piece is still behind it.
  EXPECT_EQ(buf[3615], src[19999]);
  EXPECT_EQ(buf[3616], src[8192 + 3616]);
}

TEST(Body, WriteFailureIsReportedWhenTheBodyIsFlushed) {
  // The stream takes the pieces; only the flush after the last one meets the
  // full disk. Loop count 3 puts repetitions from memory on the way.
  for (int32_t count : {1, 3}) {
    TempStream src(small_container());
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    TrackInfo t = small_track();
    Settings set = loops(count, 16);
    CaptureStdout cap;
    int result = write_wav_body(src.get(), full, &t, &set);
    std::string out = cap.text();
    std::fclose(full);
    EXPECT_EQ(result, -52);
    EXPECT_EQ(out, "error-52 : write error(transfar)\n");
  }
}

}  // namespace
