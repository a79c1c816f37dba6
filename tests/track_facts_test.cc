// The facts the page shows come from the converter's own run.
#include "web/core/track_facts.h"

#include "web/core/run_json.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "test_support.h"

namespace {

// Runs `kelvor SOURCE DST OPTION` on `container` in a temporary folder.
struct Facts {
  int result;
  uint32_t values[kRunFacts];
};

Facts run(const Bytes& container, const char* option) {
  char dir[] = "/tmp/kelvor-facts-XXXXXX";
  Facts f{};
  if (::mkdtemp(dir) == nullptr) return f;
  const std::string src = std::string(dir) + "/in.zq", dst = std::string(dir) + "/out.wav";
  FILE* out = std::fopen(src.c_str(), "wb");
  if (!container.empty()) std::fwrite(container.data(), container.size(), 1, out);
  std::fclose(out);
  const char* argv[] = {"kelvor", src.c_str(), dst.c_str(), option};
  RunReport report;
  CaptureStdout quiet;
  f.result = kelvor_run(4, argv, &report);
  run_facts(report, f.values);
  std::remove(src.c_str());
  std::remove(dst.c_str());
  ::rmdir(dir);
  return f;
}

enum { kTrkMark = 2, kDataBytes = 4, kRate = 5, kLoopMark = 10, kLoopStart = 11,
       kLoopCount = 12, kBlockAlign = 13, kByteRate = 14, kDataLength = 15, kHeader = 16,
       kFrames = 17, kHasLoop = 18, kLoopStartFrame = 19, kLoopEndFrame = 20 };

TEST(RunFacts, TheReadersRecordAndTheHeaderForTheLoopCountUsed) {
  FILE* f = std::fopen(KELVOR_EXAMPLE, "rb");
  ASSERT_NE(f, nullptr);
  Bytes example;
  for (int c; (c = std::fgetc(f)) != EOF;) example.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  // 2 channels of 16 bits at 44,100 Hz: 1.5 s of data, the loop from 0.5 s.
  Facts e = run(example, "-l3");
  EXPECT_EQ(e.result, 0);
  EXPECT_EQ(e.values[kTrkMark], 1u);
  EXPECT_EQ(e.values[kDataBytes], 66150u * 4);
  EXPECT_EQ(e.values[kRate], 44100u);
  EXPECT_EQ(e.values[kLoopMark], 1u);
  EXPECT_EQ(e.values[kLoopStart], 22050u * 4);
  EXPECT_EQ(e.values[kLoopCount], 3u);
  EXPECT_EQ(e.values[kBlockAlign], 4u);
  EXPECT_EQ(e.values[kByteRate], 176400u);
  EXPECT_EQ(e.values[kDataLength], 66150u * 4 + 2u * 44100u * 4);
  EXPECT_EQ(e.values[kHeader], 0u);
  EXPECT_EQ(e.values[kFrames], 66150u);
  EXPECT_EQ(e.values[kHasLoop], 1u);
  EXPECT_EQ(e.values[kLoopStartFrame], 22050u);
  EXPECT_EQ(e.values[kLoopEndFrame], 66150u);
}

TEST(RunFacts, TheRunsOwnLoopCountAndRefusals) {
  // No loop information: the run lowers the count to 1 itself.
  Facts once = run(ZqBuilder().header(8 + 36 + 8).trk().data(8).bytes(), "-l5");
  EXPECT_EQ(once.result, 0);
  EXPECT_EQ(once.values[kLoopMark], 0u);
  EXPECT_EQ(once.values[kLoopCount], 1u);
  EXPECT_EQ(once.values[kDataLength], 8u);
  EXPECT_EQ(once.values[kFrames], 2u);
  EXPECT_EQ(once.values[kHasLoop], 0u);
  // A loop start past the data, repeated: refused, and no header facts.
  Facts beyond = run(ZqBuilder().header(8 + 36 + 8 + 24).trk().data(8).slp(1, 3).bytes(), "-l2");
  EXPECT_EQ(beyond.result, -32);
  EXPECT_EQ(beyond.values[kHeader], static_cast<uint32_t>(-32));
  EXPECT_EQ(beyond.values[kDataLength], 0u);
  EXPECT_EQ(beyond.values[kLoopStart], 12u);
  // An empty source: nothing was read.
  Facts missing = run(Bytes{}, "-l2");
  EXPECT_EQ(missing.result, -22);
  EXPECT_EQ(missing.values[kTrkMark], 0u);
}

// The JSON the page reads a run from: the facts under their names, the plan
// of each WAV, and the sound once for players.
TEST(RunJson, FactsByNameAndEveryPlan) {
  char dir[] = "/tmp/kelvor-json-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string src = std::string(dir) + "/in.zq";
  const std::string dst = std::string(dir) + "/a \"b\"\t.wav";  // a quote and a tab in the name
  FILE* out = std::fopen(src.c_str(), "wb");
  const Bytes small = small_container();
  std::fwrite(small.data(), small.size(), 1, out);
  std::fclose(out);
  auto json_of = [&](const char* option, OutputKind kind, int* result) {
    const char* argv[] = {"kelvor", src.c_str(), dst.c_str(), option};
    RunReport report;
    OutputPlan plan;
    CaptureStdout quiet;
    *result = kelvor_run(4, argv, &report, kind, &plan);
    return run_json(report, plan, *result);
  };
  int result = 0;
  const std::string json = json_of("-l2", OutputKind::kUnrolled, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(json.rfind("{\"facts\":{\"total_size\":76,\"trk_offset\":8,\"trk_mark\":1,\"data_offset\":36,", 0), 0u) << json;
  EXPECT_NE(json.find("\"header_result\":0,\"frames\":2,\"has_loop\":1,\"loop_start_frame\":1,\"loop_end_frame\":2,"
                      "\"dropped_bytes\":0,\"loop_start_moved\":0,\"loop_start_dropped\":0,\"kept_bits\":16,"
                      "\"smpl_loop_end\":1,\"loop_end_past_last\":0,\"largest_loop_count\":1073741813}"),
            std::string::npos) << json;
  EXPECT_NE(json.find("\"name\":\"" + std::string(dir) + "/a \\\"b\\\"\\u0009.wav\",\"playable\":true,\"bytes\":56,"
                      "\"head\":[82,73,70,70,48,0,0,0,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"extents\":[[44,8,1],[48,4,1]],\"tail\":[]}],\"once\":{\"name\":\"\",\"playable\":true,\"bytes\":52,"),
            std::string::npos) << json;
  // The short format block: a WAV that players cannot read.
  const std::string short_format = json_of("-x", OutputKind::kUnrolled, &result);
  EXPECT_NE(short_format.find("\"playable\":false,\"bytes\":52,"), std::string::npos) << short_format;
  std::remove(src.c_str());
  std::remove(dst.c_str());
  ::rmdir(dir);
}

// The largest loop count the page names for a WAV too large: the run's own
// refusal holds at one more and not at it, for each kind that unrolls.
TEST(RunFacts, TheLargestLoopCountIsTheRunsOwnBoundary) {
  struct Case {
    const char* what;
    uint32_t units, loop_units;  // data and loop start, in 4-byte units
    bool loop;
    OutputKind kind;
    uint32_t largest;  // worked out by hand from the 32-bit lengths
  };
  constexpr uint32_t kMost = INT32_MAX;
  const Case cases[] = {
      // (2^32 - 1 - 36) / 1,000,000 whole repetitions of the whole data.
      {"loop from the start", 250000, 0, true, OutputKind::kUnrolled, 4294},
      // data 1,000,000 + (n - 1) * 600,000 + 36 <= 2^32 - 1.
      {"loop after an intro", 250000, 100000, true, OutputKind::kUnrolled, 7157},
      // The smpl chunk (68 bytes) and the RIFF header's 8 must fit as well.
      {"marked", 250000, 100000, true, OutputKind::kUnrolledMarked, 7157},
      {"marked, at the edge", 1, 0, true, OutputKind::kUnrolledMarked, 1073741795},
      {"unrolled, at the edge", 1, 0, true, OutputKind::kUnrolled, 1073741814},
      // An empty loop section never grows the WAV.
      {"loop at the end", 4, 4, true, OutputKind::kUnrolled, kMost},
      // Without loop information the run hears it once, whatever the count.
      {"no loop", 250000, 0, false, OutputKind::kUnrolled, kMost},
      {"loop kept", 250000, 0, true, OutputKind::kLoopPointsKept, 0},
  };
  char dir[] = "/tmp/kelvor-largest-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string src = std::string(dir) + "/in.zq", dst = std::string(dir) + "/out.wav";
  for (const Case& c : cases) {
    TrkFields f;
    f.units = c.units;
    ZqBuilder b;
    b.header(8 + 36 + c.units * 4 + (c.loop ? 24 : 0)).trk(f).data(c.units * 4u);
    if (c.loop) b.slp(1, c.loop_units);
    FILE* out = std::fopen(src.c_str(), "wb");
    std::fwrite(b.bytes().data(), b.bytes().size(), 1, out);
    std::fclose(out);
    auto run_with = [&](uint32_t loop_count, uint32_t facts[kRunFacts]) {
      const std::string option = "-l" + std::to_string(loop_count);
      const char* argv[] = {"kelvor", src.c_str(), dst.c_str(), option.c_str()};
      RunReport report;
      OutputPlan plan;  // planned: a WAV of gigabytes is never written
      CaptureStdout quiet;
      const int result = kelvor_run(4, argv, &report, c.kind, &plan);
      run_facts(report, facts);
      return result;
    };
    uint32_t facts[kRunFacts];
    run_with(1, facts);
    EXPECT_EQ(facts[27], c.largest) << c.what;
    if (c.largest == 0 || c.largest == kMost) continue;
    EXPECT_EQ(run_with(c.largest, facts), 0) << c.what;
    EXPECT_EQ(run_with(c.largest + 1, facts), -33) << c.what;
  }
  std::remove(src.c_str());
  std::remove(dst.c_str());
  ::rmdir(dir);
}

// A WAV is playable when readers read it as the track's frames: not under
// the short format block, nor with 24-bit samples in 32-bit slots under a
// 24-bit header; the sound once, for players, always is.
TEST(RunJson, PlayableOnlyWhereReadersReadTheFramesWritten) {
  char dir[] = "/tmp/kelvor-playable-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string src = std::string(dir) + "/in.zq", dst = std::string(dir) + "/out.wav";
  TrkFields slots;
  slots.frame_bits = 32;
  slots.sample_bits = 24;
  const struct {
    const char* what;
    TrkFields fields;
    const char* option;
    OutputKind kind;
    const char* playable;
  } cases[] = {
      {"16-bit", TrkFields{}, "-l2", OutputKind::kUnrolled, "\"playable\":true,"},
      {"-x", TrkFields{}, "-x", OutputKind::kUnrolled, "\"playable\":false,"},
      {"24 in 32, unrolled", slots, "-l2", OutputKind::kUnrolled, "\"playable\":false,"},
      {"24 in 32, marked", slots, "-l2", OutputKind::kUnrolledMarked, "\"playable\":false,"},
      {"24 in 32, kept", slots, "-l1", OutputKind::kLoopPointsKept, "\"playable\":true,"},
  };
  for (const auto& c : cases) {
    const Bytes bytes = ZqBuilder().header(76).trk(c.fields).data(8, 44).slp().bytes();
    FILE* out = std::fopen(src.c_str(), "wb");
    std::fwrite(bytes.data(), bytes.size(), 1, out);
    std::fclose(out);
    const char* argv[] = {"kelvor", src.c_str(), dst.c_str(), c.option};
    RunReport report;
    OutputPlan plan;
    std::string json;
    {
      CaptureStdout quiet;
      json = run_json(report, plan, kelvor_run(4, argv, &report, c.kind, &plan));
    }
    const size_t once = json.find("\"once\":");
    ASSERT_NE(once, std::string::npos) << c.what;
    EXPECT_NE(json.substr(0, once).find(c.playable), std::string::npos) << c.what << json;
    EXPECT_NE(json.find("\"playable\":true,", once), std::string::npos) << c.what << json;
  }
  std::remove(src.c_str());
  std::remove(dst.c_str());
  ::rmdir(dir);
}

}  // namespace
