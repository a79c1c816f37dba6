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
                      "\"smpl_loop_end\":1,\"loop_end_past_last\":0}"),
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

}  // namespace
