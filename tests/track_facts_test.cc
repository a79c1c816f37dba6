// The facts the page shows come from the converter's own run.
#include "app/track_facts.h"

#include "web/core/run_json.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "test_support.h"

namespace {

// Runs `kelvor SOURCE DST OPTION` on `container` in a temporary folder, for
// `kind`, planned: its result, and its facts by name.
struct Facts {
  int result;
  std::map<std::string, int64_t> values;
  int64_t operator[](const char* name) const {
    const auto found = values.find(name);
    return found == values.end() ? -1 : found->second;
  }
};

Facts run(const Bytes& container, const char* option, OutputKind kind = OutputKind::kUnrolled,
          LoopEnd end = LoopEnd::kLastFrame) {
  char dir[] = "/tmp/kelvor-facts-XXXXXX";
  Facts f{};
  if (::mkdtemp(dir) == nullptr) return f;
  const std::string src = std::string(dir) + "/in.zq", dst = std::string(dir) + "/out.wav";
  FILE* out = std::fopen(src.c_str(), "wb");
  if (!container.empty()) std::fwrite(container.data(), container.size(), 1, out);
  std::fclose(out);
  const char* argv[] = {"kelvor", src.c_str(), dst.c_str(), option};
  RunReport report;
  OutputPlan plan;
  {
    CaptureStdout quiet;
    f.result = kelvor_run(4, argv, &report, kind, &plan, end);
  }
  for (const RunFact& fact : run_facts(report)) f.values[fact.name] = fact.value;
  std::remove(src.c_str());
  std::remove(dst.c_str());
  ::rmdir(dir);
  return f;
}

// Every fact under its own name: two containers whose facts differ, so that
// two names given each other's values would be caught, each value worked
// out by hand from the bytes.
TEST(RunFacts, EachFactUnderItsOwnName) {
  // 20 bytes of 24-bit mono (block align 3: 6 frames and 2 bytes over), the
  // loop from byte 4 (inside frame 1), heard 3 times, marked; the loop end
  // for Godot.
  TrkFields mono24;
  mono24.units = 5;
  mono24.rate = 22050;
  mono24.channels = 1;
  mono24.frame_bits = 24;
  mono24.sample_bits = 24;
  const Facts a = run(ZqBuilder().header(88).trk(mono24).data(20).slp(1, 1).bytes(), "-l3", OutputKind::kUnrolledMarked,
                      LoopEnd::kPastLast);
  ASSERT_EQ(a.result, 0);
  const std::map<std::string, int64_t> expected_a = {
      {"total_size", 88}, {"trk_offset", 8}, {"trk_mark", 1}, {"data_offset", 36}, {"data_bytes", 20},
      {"sample_rate", 22050}, {"channels", 1}, {"frame_bits", 24}, {"sample_bits", 24}, {"slp_offset", 64},
      {"loop_mark", 1}, {"loop_start", 4}, {"loop_count", 3}, {"block_align", 3}, {"byte_rate", 66150},
      {"data_length", 20 + 2 * 16}, {"header_result", 0}, {"frames", 6}, {"has_loop", 1}, {"loop_start_frame", 1},
      {"loop_end_frame", 6}, {"dropped_bytes", 2}, {"loop_start_moved", 1}, {"loop_start_dropped", 0},
      {"kept_bits", 24}, {"smpl_loop_end", 6}, {"loop_end_past_last", 1},
      // 20 + 16 (n - 1) + 36 + the smpl chunk's 68 <= 2^32 - 1
      {"largest_loop_count", 268435449}, {"file_has_loop", 1}, {"file_loop_start_frame", 1}, {"file_loop_end_frame", 6}, {"loop_chosen", 0},
      {"loop_list_line", 0}, {"fade_micros", 0}, {"delay_micros", 0}, {"target_micros", -1}, {"to_end", 0},
      {"shaped", 0}, {"body_frames", 0}, {"delay_frames", 0}, {"fade_frames", 0}, {"ending_frames", 0},
      {"output_frames", 0}};
  EXPECT_EQ(a.values, expected_a);
  // 24 bytes of 32-bit samples in 40-bit frames (block align 5: 4 frames and
  // 4 bytes over), the loop from byte 20, inside that partial frame; kept.
  TrkFields wide;
  wide.units = 6;
  wide.rate = 8000;
  wide.channels = 1;
  wide.frame_bits = 40;
  wide.sample_bits = 32;
  const Facts b = run(ZqBuilder().header(92).trk(wide).data(24).slp(1, 5).bytes(), "-l1", OutputKind::kLoopPointsKept);
  ASSERT_EQ(b.result, 0);
  const std::map<std::string, int64_t> expected_b = {
      {"total_size", 92}, {"trk_offset", 8}, {"trk_mark", 1}, {"data_offset", 36}, {"data_bytes", 24},
      {"sample_rate", 8000}, {"channels", 1}, {"frame_bits", 40}, {"sample_bits", 32}, {"slp_offset", 68},
      {"loop_mark", 1}, {"loop_start", 20}, {"loop_count", 1}, {"block_align", 5}, {"byte_rate", 40000},
      {"data_length", 24}, {"header_result", 0}, {"frames", 4}, {"has_loop", 0}, {"loop_start_frame", 0},
      {"loop_end_frame", 0}, {"dropped_bytes", 4}, {"loop_start_moved", 0}, {"loop_start_dropped", 1},
      {"kept_bits", 40}, {"smpl_loop_end", 0}, {"loop_end_past_last", 0}, {"largest_loop_count", 0},
      {"file_has_loop", 0}, {"file_loop_start_frame", 0}, {"file_loop_end_frame", 0}, {"loop_chosen", 0},
      {"loop_list_line", 0}, {"fade_micros", 0}, {"delay_micros", 0}, {"target_micros", -1}, {"to_end", 0},
      {"shaped", 0}, {"body_frames", 0}, {"delay_frames", 0}, {"fade_frames", 0}, {"ending_frames", 0},
      {"output_frames", 0}};
  EXPECT_EQ(b.values, expected_b);
  // The names are one each.
  std::set<std::string> names;
  for (const RunFact& f : run_facts(RunReport{})) EXPECT_TRUE(names.insert(f.name).second) << f.name;
}

TEST(RunFacts, TheReadersRecordAndTheHeaderForTheLoopCountUsed) {
  FILE* f = std::fopen(KELVOR_EXAMPLE, "rb");
  ASSERT_NE(f, nullptr);
  Bytes example;
  for (int c; (c = std::fgetc(f)) != EOF;) example.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  // 2 channels of 16 bits at 44,100 Hz: 1.5 s of data, the loop from 0.5 s.
  Facts e = run(example, "-l3");
  EXPECT_EQ(e.result, 0);
  EXPECT_EQ(e["trk_mark"], 1u);
  EXPECT_EQ(e["data_bytes"], 66150u * 4);
  EXPECT_EQ(e["sample_rate"], 44100u);
  EXPECT_EQ(e["loop_mark"], 1u);
  EXPECT_EQ(e["loop_start"], 22050u * 4);
  EXPECT_EQ(e["loop_count"], 3u);
  EXPECT_EQ(e["block_align"], 4u);
  EXPECT_EQ(e["byte_rate"], 176400u);
  EXPECT_EQ(e["data_length"], 66150u * 4 + 2u * 44100u * 4);
  EXPECT_EQ(e["header_result"], 0u);
  EXPECT_EQ(e["frames"], 66150u);
  EXPECT_EQ(e["has_loop"], 1u);
  EXPECT_EQ(e["loop_start_frame"], 22050u);
  EXPECT_EQ(e["loop_end_frame"], 66150u);
}

TEST(RunFacts, TheRunsOwnLoopCountAndRefusals) {
  // No loop information: the run lowers the count to 1 itself.
  Facts once = run(ZqBuilder().header(8 + 36 + 8).trk().data(8).bytes(), "-l5");
  EXPECT_EQ(once.result, 0);
  EXPECT_EQ(once["loop_mark"], 0u);
  EXPECT_EQ(once["loop_count"], 1u);
  EXPECT_EQ(once["data_length"], 8u);
  EXPECT_EQ(once["frames"], 2u);
  EXPECT_EQ(once["has_loop"], 0u);
  // A loop start past the data, repeated: refused, and no header facts.
  Facts beyond = run(ZqBuilder().header(8 + 36 + 8 + 24).trk().data(8).slp(1, 3).bytes(), "-l2");
  EXPECT_EQ(beyond.result, -32);
  EXPECT_EQ(beyond["header_result"], -32);
  EXPECT_EQ(beyond["data_length"], 0u);
  EXPECT_EQ(beyond["loop_start"], 12u);
  // An empty source: nothing was read.
  Facts missing = run(Bytes{}, "-l2");
  EXPECT_EQ(missing.result, -22);
  EXPECT_EQ(missing["trk_mark"], 0u);
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
                      "\"smpl_loop_end\":1,\"loop_end_past_last\":0,\"largest_loop_count\":1073741813,"),
            std::string::npos) << json;
  EXPECT_NE(json.find("\"name\":\"" + std::string(dir) + "/a \\\"b\\\"\\u0009.wav\",\"role\":\"unrolled\",\"playable\":true,\"bytes\":56,"
                      "\"head\":[82,73,70,70,48,0,0,0,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"extents\":[[44,8,1],[48,4,1]],\"tail\":[]}],\"once\":{\"name\":\"\",\"role\":\"whole\",\"playable\":true,\"bytes\":52,"),
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
      // The smpl chunk's 68 bytes must fit as well.
      {"marked", 250000, 100000, true, OutputKind::kUnrolledMarked, 7157},
      {"marked, at the edge", 1, 0, true, OutputKind::kUnrolledMarked, 1073741797},
      {"unrolled, at the edge", 1, 0, true, OutputKind::kUnrolled, 1073741814},
      // An empty loop section never grows the WAV.
      {"loop at the end", 4, 4, true, OutputKind::kUnrolled, kMost},
      // Without loop information the run hears it once, whatever the count.
      {"no loop", 250000, 0, false, OutputKind::kUnrolled, kMost},
      {"loop kept", 250000, 0, true, OutputKind::kLoopPointsKept, 0},
  };
  for (const Case& c : cases) {
    TrkFields f;
    f.units = c.units;
    ZqBuilder b;
    b.header(8 + 36 + c.units * 4 + (c.loop ? 24 : 0)).trk(f).data(c.units * 4u);
    if (c.loop) b.slp(1, c.loop_units);
    // Planned: a WAV of gigabytes is never written.
    auto result_at = [&](uint32_t loop_count) {
      return run(b.bytes(), ("-l" + std::to_string(loop_count)).c_str(), c.kind).result;
    };
    EXPECT_EQ(run(b.bytes(), "-l1", c.kind)["largest_loop_count"], c.largest) << c.what;
    if (c.largest == 0 || c.largest == kMost) continue;
    EXPECT_EQ(result_at(c.largest), 0) << c.what;
    EXPECT_EQ(result_at(c.largest + 1), -33) << c.what;
  }
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
