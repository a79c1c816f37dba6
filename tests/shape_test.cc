// The listening lengths: the frame arithmetic as a table, the stretches
// against the definition frame by frame, the fade's integer scaling for
// every slot width, and the written WAV (and the page's plan of it) against
// a direct rendering of the definition.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "container/analyze.h"
#include "test_support.h"
#include "wave/sound_shape.h"
#include "wave/wav_body.h"
#include "wave/wav_layout.h"
#include "wave/wav_plan.h"

namespace {

LoopFrames frames_of(uint32_t d, uint32_t l, uint32_t e) {
  LoopFrames f{};
  f.block_align = 4;
  f.frames = d;
  f.has_loop = e > l ? 1 : 0;
  f.loop_start = l;
  f.loop_end = e;
  return f;
}

ShapeRequest request(int64_t fade, int64_t delay, int64_t target, bool to_end = false) {
  ShapeRequest r;
  r.fade_micros = fade;
  r.delay_micros = delay;
  r.target_micros = target;
  r.to_end = to_end;
  return r;
}

struct LengthRow {
  const char* what;
  uint32_t d, l, e, rate;
  int32_t passes;
  int64_t fade, delay, target;
  bool to_end;
  uint64_t body, delay_frames, fade_frames, total;
};

TEST(ShapeLengths, FollowTheDefinition) {
  const LengthRow rows[] = {
      {"two passes, no fade", 100, 40, 100, 1000, 2, 0, 0, -1, false, 160, 0, 0, 160},
      {"fractional fade and delay floor", 100, 40, 100, 44100, 2, 10001, 333, -1, false, 160, 14, 441, 615},
      {"fade longer than the loop", 100, 90, 100, 1000, 3, 1000000, 0, -1, false, 120, 0, 1000, 1120},
      {"loop from the first frame", 50, 0, 50, 1000, 4, 20000, 0, -1, false, 200, 0, 20, 220},
      {"one-frame loop at the end", 50, 49, 50, 1000, 5, 5000, 2000, -1, false, 54, 2, 5, 61},
      {"target shorter than the intro", 100, 60, 100, 1000, 9, 10000, 0, 30000, false, 30, 0, 10, 40},
      {"target floors at the rate", 100, 10, 100, 44100, 2, 0, 0, 1000, false, 44, 0, 0, 44},
      {"one pass heard", 100, 10, 100, 1000, 1, 0, 7000, -1, false, 100, 7, 0, 107},
      {"real ending after the passes", 100, 20, 60, 1000, 3, 0, 0, -1, true, 140, 0, 0, 180},
      {"no loop: cut at the data", 100, 0, 0, 1000, 1, 50000, 0, -1, false, 100, 0, 50, 100},
      {"no loop, target inside it", 100, 0, 0, 1000, 1, 20000, 0, 30000, false, 30, 0, 20, 50},
  };
  for (const LengthRow& row : rows) {
    const ShapeFrames s = shape_frames(frames_of(row.d, row.l, row.e), row.rate, row.passes,
                                       request(row.fade, row.delay, row.target, row.to_end));
    EXPECT_EQ(s.body, row.body) << row.what;
    EXPECT_EQ(s.delay, row.delay_frames) << row.what;
    EXPECT_EQ(s.fade, row.fade_frames) << row.what;
    EXPECT_EQ(s.total, row.total) << row.what;
  }
}

TEST(ShapeLengths, SecondsAreExactMicroseconds) {
  // floor(t r) in integers: no double rounds 0.1 s at 44100 Hz below 4410.
  EXPECT_EQ(frames_of_micros(100000, 44100), 4410u);
  EXPECT_EQ(frames_of_micros(22675, 44100), 999u);  // 999.9675
  EXPECT_EQ(frames_of_micros(kLongestFadeMicros, 65535), 3600ull * 65535);
  EXPECT_EQ(frames_of_micros(0, 48000), 0u);
}

// The source frame and the fade position of output frame k, straight from
// the definition: (source, j), j = -1 before the fade.
std::pair<uint64_t, int64_t> defined(const ShapeFrames& s, uint64_t k) {
  const uint64_t sounded = s.body + s.delay + s.fade;
  if (s.ending > 0 && k >= s.body) return {s.end + (k - s.body), -1};
  const uint64_t source = k < s.end ? k : s.start + (k - s.start) % (s.end - s.start);
  const uint64_t from = s.body + s.delay;
  return {source, k >= from && k < sounded ? static_cast<int64_t>(k - from) : -1};
}

TEST(ShapeRuns, ExpandToTheDefinitionFrameByFrame) {
  std::mt19937 random(7);
  for (int round = 0; round < 400; ++round) {
    const uint32_t d = 1 + random() % 60;
    const uint32_t l = random() % d;
    const uint32_t e = l + 1 + random() % (d - l);
    const bool to_end = random() % 4 == 0;
    ShapeRequest r = to_end ? request(0, 0, -1, true)
                            : request((random() % 90) * 1000, (random() % 30) * 1000,
                                      random() % 3 == 0 ? static_cast<int64_t>(random() % 200) * 1000 : -1);
    const ShapeFrames s = shape_frames(frames_of(d, l, e), 1000, 1 + static_cast<int32_t>(random() % 5), r);
    uint64_t k = 0;
    for (const ShapeRun& run : shape_runs(s)) {
      for (uint64_t rep = 0; rep < run.repeats; ++rep) {
        for (uint64_t f = 0; f < run.frames; ++f, ++k) {
          const auto [source, j] = defined(s, k);
          ASSERT_EQ(run.source + f, source) << "round " << round << " frame " << k;
          ASSERT_EQ(run.faded ? static_cast<int64_t>(run.fade_at + rep * run.frames + f) : -1, j)
              << "round " << round << " frame " << k;
        }
      }
    }
    ASSERT_EQ(k, s.total) << "round " << round;
  }
}

TEST(ShapeRuns, WholePassesAreOneStretchHoweverMany) {
  const ShapeFrames s = shape_frames(frames_of(10, 9, 10), 1000, 2000000000, request(0, 0, -1));
  const std::vector<ShapeRun> runs = shape_runs(s);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].repeats, 1999999999u);
}

struct FadeRow {
  const char* what;
  uint32_t slot;
  std::vector<uint8_t> in;  // one mono frame
  uint64_t j, f;
  std::vector<uint8_t> out;
};

TEST(Fade, ScalesAndTruncatesTowardZeroAtEveryWidth) {
  const FadeRow rows[] = {
      {"8-bit above the middle", 1, {200}, 1, 3, {176}},        // 72 * 2 / 3 = 48
      {"8-bit below the middle", 1, {0}, 1, 3, {43}},           // -128 * 2 / 3 = -85.3 -> -85
      {"8-bit past the fade is silence", 1, {7}, 3, 3, {128}},
      {"16-bit negative truncates up", 2, {0xFF, 0xFF}, 1, 2, {0x00, 0x00}},  // -1 / 2 -> 0
      {"16-bit full scale", 2, {0xFF, 0x7F}, 0, 4, {0xFF, 0x7F}},            // j = 0: unchanged
      {"24-bit", 3, {0x00, 0x00, 0x80}, 2, 3, {0x56, 0x55, 0xD5}},  // -8388608 / 3 = -2796202.67 -> -2796202
      {"32-bit most negative", 4, {0x00, 0x00, 0x00, 0x80}, 1, 3, {0xAB, 0xAA, 0xAA, 0xAA}},  // -1431655765
      {"32-bit most positive", 4, {0xFF, 0xFF, 0xFF, 0x7F}, 2, 3, {0xAA, 0xAA, 0xAA, 0x2A}},  // 715827882
  };
  for (const FadeRow& row : rows) {
    std::vector<uint8_t> bytes = row.in;
    fade_frames(bytes.data(), 1, 1, row.slot, row.j, row.f);
    EXPECT_EQ(bytes, row.out) << row.what;
  }
}

// ---- The written WAV against a rendering of the definition.

struct Track {
  Bytes container;
  Bytes data;
  uint32_t align, loop_frame;
};

// A container of `frames` random frames of `channels` slots of `slot`
// bytes, its loop at a 4-byte unit.
Track random_track(std::mt19937* random, uint32_t channels, uint32_t slot, uint32_t frames, uint32_t loop_unit) {
  Track t;
  t.align = channels * slot;
  const uint32_t bytes = (frames * t.align + 3) / 4 * 4;
  for (uint32_t i = 0; i < bytes; ++i) t.data.push_back(static_cast<uint8_t>((*random)()));
  TrkFields f;
  f.units = bytes / 4;
  f.channels = static_cast<uint16_t>(channels);
  f.frame_bits = f.sample_bits = static_cast<uint16_t>(slot * 8);
  ZqBuilder b;
  b.header(8 + 36 + bytes + 24).trk(f);
  Bytes c = b.bytes();
  c.insert(c.end(), t.data.begin(), t.data.end());
  ZqBuilder slp;
  slp.slp(1, loop_unit);
  c.insert(c.end(), slp.bytes().begin(), slp.bytes().end());
  t.container = c;
  t.loop_frame = loop_unit * 4 / t.align;
  return t;
}

// The definition rendered directly: every output frame's source frame,
// faded sample by sample with its own arithmetic.
Bytes rendered(const Track& t, const ShapeFrames& s, uint32_t slot) {
  Bytes out;
  for (uint64_t k = 0; k < s.total; ++k) {
    const auto [source, j] = defined(s, k);
    for (uint32_t at = 0; at < t.align; at += slot) {
      const uint8_t* p = &t.data[source * t.align + at];
      int64_t v = 0;
      for (uint32_t b = 0; b < slot; ++b) v |= int64_t{p[b]} << (8 * b);
      if (slot == 1) v -= 128;
      else if (v >= (int64_t{1} << (8 * slot - 1))) v -= int64_t{1} << (8 * slot);
      if (j >= 0) v = v * (static_cast<int64_t>(s.fade) - j) / static_cast<int64_t>(s.fade);
      if (slot == 1) v += 128;
      for (uint32_t b = 0; b < slot; ++b) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * b)));
    }
  }
  return out;
}

// The page's way: the plan's extents, faded extent by extent.
Bytes from_plan(const WavPlan& plan, const Bytes& source, uint32_t channels, uint32_t slot, uint32_t align) {
  Bytes out(plan.head, plan.head + plan.head_bytes);
  for (const SourceExtent& e : plan.extents) {
    for (uint32_t r = 0; r < e.repeats; ++r) {
      Bytes piece(source.begin() + e.offset, source.begin() + e.offset + e.length);
      if (e.fade_frames > 0) fade_frames(piece.data(), e.length / align, channels, slot, e.fade_at + uint64_t{r} * (e.length / align), e.fade_frames);
      out.insert(out.end(), piece.begin(), piece.end());
    }
  }
  out.insert(out.end(), plan.tail, plan.tail + plan.tail_bytes);
  return out;
}

TEST(ShapedWav, IsTheDefinitionAtEveryWidthAndBufferSize) {
  std::mt19937 random(11);
  int checked = 0;
  for (uint32_t slot = 1; slot <= 4; ++slot) {
    for (uint32_t channels = 1; channels <= 2; ++channels) {
      for (int round = 0; round < 6; ++round) {
        const uint32_t frames = 40 + random() % 200;
        const uint32_t loop_unit = static_cast<uint32_t>(random() % (frames * channels * slot / 4));
        const Track track = random_track(&random, channels, slot, frames, loop_unit);
        TempStream src(track.container);
        TrackInfo t{};
        Settings s;
        s.loop_count = 1 + static_cast<int32_t>(random() % 4);
        s.buffer_size = round % 2 == 0 ? 7 : 64;  // pieces smaller than a frame, and several frames
        ASSERT_EQ(analyze(src.get(), &t, &s), 0);
        const ShapeRequest r = request(1000 * (1 + random() % 300), 1000 * (random() % 50),
                                       round == 3 ? 1000 * static_cast<int64_t>(random() % 100) : -1);
        const LoopEnd end = LoopEnd::kLastFrame;
        const WavLayout layout = describe_shaped(&t, &s, round == 5 ? &end : nullptr, r);
        ASSERT_TRUE(layout.shaped);
        TempStream dst;
        CaptureStdout quiet;
        ASSERT_EQ(write_layout(src.get(), dst.get(), &t, layout, &s), 0);
        const Bytes wav = dst.contents();
        const Bytes want = rendered(track, layout.shape, slot);
        const uint32_t head = 44;
        ASSERT_GE(wav.size(), head + want.size());
        EXPECT_EQ(slice(wav, head, head + want.size()), want) << "slot " << slot << " channels " << channels;
        EXPECT_EQ(wav.size(), head + want.size() + layout.tail_bytes);
        const uint32_t riff = uint32_t{wav[4]} | uint32_t{wav[5]} << 8 | uint32_t{wav[6]} << 16 | uint32_t{wav[7]} << 24;
        EXPECT_EQ(riff, wav.size() - 8);
        WavPlan plan{};
        plan_layout(&t, layout, &s, track.container.size(), true, &plan);
        EXPECT_EQ(from_plan(plan, track.container, channels, slot, track.align), wav);
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 48);
}

TEST(ShapedWav, AnEmptyRequestLeavesTheUnrolledLayout) {
  TempStream src(small_container());
  TrackInfo t{};
  Settings s;
  ASSERT_EQ(analyze(src.get(), &t, &s), 0);
  EXPECT_FALSE(shape_asked(ShapeRequest{}));
  ShapeFrames shape{};
  EXPECT_FALSE(shape_applies(&t, 2, ShapeRequest{}, &shape));
}

TEST(LoopChoice, RefusesWhatDoesNotFitTheFile) {
  const LoopFrames f = frames_of(1000, 0, 1000);
  struct Row {
    LoopChoice c;
    const char* starts;
  } rows[] = {
      {{true, 10, 1001, -1, -1, "l", 2, ""}, "the loop ends at frame 1001, past the data's 1000 frames"},
      {{true, 10, 10, -1, -1, "l", 2, ""}, "the loop's end (10) is not after its start (10)"},
      {{true, 10, 20, 48000, -1, "l", 2, ""}, "the list's rate is 48000 Hz, the file's 44100 Hz"},
      {{true, 10, 20, 44100, 999, "l", 2, ""}, "the list says 999 frames, the file has 1000"},
      {{true, 10, 20, -1, -1, "l", 2, "a problem found on reading"}, "a problem found on reading"},
      {{true, 0, 1000, 44100, 1000, "l", 2, ""}, ""},
  };
  for (const Row& row : rows) EXPECT_EQ(loop_choice_refusal(row.c, f, 44100), row.starts);
}

}  // namespace
