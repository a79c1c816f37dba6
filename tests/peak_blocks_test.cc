// The waveform's block extremes, in every sample format, against samples of
// known value written byte by byte in the file's order.
#include "web/core/peak_blocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// `values` (integers on the format's own scale) stored little-endian in
// `bits` bits, 8-bit ones offset by 128 as stored.
std::vector<uint8_t> samples(const std::vector<int64_t>& values, uint32_t bits) {
  std::vector<uint8_t> out;
  for (int64_t v : values) {
    const uint64_t stored = static_cast<uint64_t>(bits == 8 ? v + 128 : v);
    for (uint32_t i = 0; i < bits / 8; ++i) out.push_back(static_cast<uint8_t>(stored >> (8 * i)));
  }
  return out;
}

struct Blocks {
  uint32_t count;
  std::vector<float> low, high;
};

Blocks blocks_of(const std::vector<int64_t>& values, uint32_t channels, uint32_t bits, uint32_t block_frames) {
  const std::vector<uint8_t> pcm = samples(values, bits);
  Blocks b{0, std::vector<float>(values.size() + 1, 9), std::vector<float>(values.size() + 1, 9)};
  const uint32_t frames = static_cast<uint32_t>(values.size() / (channels ? channels : 1));
  b.count = block_extremes(pcm.data(), frames, channels, bits, block_frames,
                           b.low.data(), b.high.data());
  b.low.resize(b.count);
  b.high.resize(b.count);
  return b;
}

TEST(BlockExtremes, EachFormatFullSwingAndEveryChannel) {
  struct Case { uint32_t bits; int64_t full; };
  for (const Case c : {Case{8, 128}, Case{16, 32768}, Case{24, 8388608}, Case{32, 2147483648LL}}) {
    SCOPED_TRACE(c.bits);
    // Stereo, 2 frames a block, 5 frames: the last block holds one frame.
    // Block 0: the extremes of the format, one on each channel; block 1: a
    // small step on the right only; block 2: one frame.
    const std::vector<int64_t> values = {0, -c.full, c.full - 1, 0, 0, 1, 0, -1, 3, 3};
    const Blocks b = blocks_of(values, 2, c.bits, 2);
    ASSERT_EQ(b.count, 3u);
    const double full = static_cast<double>(c.full);
    EXPECT_EQ(b.low, (std::vector<float>{-1.0f, static_cast<float>(-1 / full), static_cast<float>(3 / full)}));
    EXPECT_EQ(b.high, (std::vector<float>{static_cast<float>((c.full - 1) / full), static_cast<float>(1 / full),
                                          static_cast<float>(3 / full)}));
  }
}

TEST(BlockExtremes, LongBlocksOfOddChannelCounts) {
  // Six channels, 1000 frames of a ramp, blocks of 300 frames: 4 blocks.
  std::vector<int64_t> values;
  for (int64_t f = 0; f < 1000; ++f)
    for (int64_t c = 0; c < 6; ++c) values.push_back(f * 30 - 15000 + c);
  const Blocks b = blocks_of(values, 6, 16, 300);
  ASSERT_EQ(b.count, 4u);
  EXPECT_FLOAT_EQ(b.low[1], (300 * 30 - 15000) / 32768.0);
  EXPECT_FLOAT_EQ(b.high[1], (599 * 30 - 15000 + 5) / 32768.0);
  EXPECT_FLOAT_EQ(b.high[3], (999 * 30 - 15000 + 5) / 32768.0);
}

TEST(BlockExtremes, LayoutsItDoesNotRead) {
  const std::vector<int64_t> values = {1, 2};
  EXPECT_EQ(blocks_of(values, 1, 12, 1).count, 0u);
  EXPECT_EQ(blocks_of(values, 0, 16, 1).count, 0u);
  EXPECT_EQ(blocks_of(values, 1, 16, 0).count, 0u);
}

}  // namespace
