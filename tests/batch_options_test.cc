// The batch command's pieces that a script meets: its options, its names
// for a second file of one name, the seconds its loop lists write, and its
// progress line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/batch_names.h"
#include "app/batch_options.h"
#include "app/batch_progress.h"
#include "app/loop_list.h"

namespace {

struct Parsed {
  std::vector<std::string> args;
  std::string problem;  // empty: accepted
};

TEST(BatchOptions, EachSpellingOfAnOptionAndEachRefusal) {
  const std::vector<Parsed> table = {
      {{"--kind", "kept", "a.zq"}, ""},
      {{"--kind=apart", "a.zq"}, ""},
      {{"-k", "marked", "--loop-end=godot", "-l7", "a.zq"}, ""},
      {{"-l", "3", "-x", "-j4", "-b", "4096", "a.zq"}, ""},
      {{"--kind", "kept", "-l1", "a.zq"}, ""},  // a loop count of 1 is what a kept loop is
      {{"--", "-l3", "--kind"}, ""},               // names, not options
      {{"--kind", "kept", "-l2", "a.zq"}, "a loop count (-l) other than 1 is not for the loop points kept kind (--kind kept)"},
      {{"--kind", "marked", "-x", "a.zq"}, "the short format block (-x) is not for the loop unrolled and marked kind (--kind marked)"},
      {{"--loop-end", "riff", "a.zq"}, "a loop end (--loop-end) is not for the loop unrolled kind (--kind unrolled)"},
      {{"--loop-end", "sampler", "a.zq"}, "there is no loop end \"sampler\": it is riff or godot"},
      {{"-l", "2147483648"}, "the loop count must be a whole number from 1 to 2147483647, not \"2147483648\""},
      {{"-l-3"}, "the loop count must be a whole number from 1 to 2147483647, not \"-3\""},
      {{"-j", "0"}, "the number of files at once must be from 1 to 256, not \"0\""},
      {{"--out"}, "the option --out needs DIR"},
      {{"--out="}, "--out needs a folder"},
      {{"--replace=yes"}, "the option --replace=yes takes no value"},
      {{"-xl3"}, "the option -xl3 takes no value"},
      {{"--loop-list", "LOOPS.JSON"}, ""},
      {{"--loop-list", ".csv"}, "the loop list \".csv\" must end in .csv or .json"},
      {{"-z"}, "there is no option -z: see --help"},
  };
  for (const Parsed& p : table) {
    BatchOptions o;
    EXPECT_EQ(parse_batch_options(p.args, &o), p.problem) << p.args.front();
  }
  BatchOptions o;
  ASSERT_EQ(parse_batch_options({"a", "-k", "marked", "--loop-end", "godot", "", "-l9", "--", "-b", "-j2"}, &o), "");
  EXPECT_EQ(o.kind, OutputKind::kUnrolledMarked);
  EXPECT_EQ(o.loop_end, LoopEnd::kPastLast);
  EXPECT_EQ(o.loop_count, 9);
  EXPECT_EQ(o.jobs, 0);
  EXPECT_EQ(o.names, (std::vector<std::string>{"a", "-b", "-j2"}));
}

TEST(BatchOptions, EveryKindOfTheTableIsAnOptionValue) {
  for (const OutputKindRow& row : kOutputKindRows) {
    BatchOptions o;
    EXPECT_EQ(parse_batch_options({"--kind", row.id}, &o), "");
    EXPECT_EQ(o.kind, row.kind);
  }
}

TEST(BatchOptions, TheManualListsTheTablesOptions) {
  std::ifstream in(KELVOR_BATCH_MANUAL);
  std::stringstream manual;
  manual << in.rdbuf();
  EXPECT_NE(manual.str().find(batch_manual_options()), std::string::npos)
      << "doc/kelvor-batch.1.in must hold, under OPTIONS, exactly:\n" << batch_manual_options();
  const std::string help = batch_help("kelvor-batch");
  for (const BatchOptionRow& row : batch_option_rows()) EXPECT_NE(help.find(std::string("--") + row.long_name), std::string::npos);
}

TEST(BatchNames, ASecondFileOfOneNameIsNumberedAsThePageNumbersIt) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"town.wav", "town (2).wav"},
      {"out/Game.v2/town - intro.wav", "out/Game.v2/town - intro (2).wav"},
      {"out/Game.v2/README", "out/Game.v2/README (2)"},
      {".wav", ".wav (2)"},
      {"a.b.wav", "a.b (2).wav"},
  };
  for (const auto& [name, numbered] : table) EXPECT_EQ(numbered_name(name, 2), numbered);
  NameBook book(true);  // replacing: only the run's own names are numbered
  bool numbered = false;
  EXPECT_EQ(book.claim({"x/t.wav"}, &numbered), std::vector<std::string>{"x/t.wav"});
  EXPECT_FALSE(numbered);
  EXPECT_EQ(book.claim({"x/t.wav", "x/t - loop.wav"}, &numbered),
            (std::vector<std::string>{"x/t (2).wav", "x/t - loop (2).wav"}));
  EXPECT_TRUE(numbered);
}

TEST(LoopListSeconds, JavaScriptsRoundingToTheMicrosecond) {
  struct Row {
    int64_t frame;
    uint32_t rate;
    const char* seconds;
  };
  // What Number((frame / rate).toFixed(6)) prints: 24375 / 48000 and 65 / 128
  // are exact halves at the seventh digit, which toFixed rounds up.
  const Row table[] = {{24375, 48000, "0.507813"}, {65, 128, "0.507813"}, {22050, 44100, "0.5"}, {0, 44100, "0"},
                       {1, 44100, "0.000023"},     {132300, 44100, "3"},   {1, 3, "0.333333"},      {2, 3, "0.666667"},
                       {4294967295, 44100, "97391.548639"}, {1, 65535, "0.000015"}, {3, 8, "0.375"}, {7, 16000000, "0"}};
  for (const Row& r : table) EXPECT_EQ(list_seconds(r.frame, r.rate), r.seconds) << r.frame << "/" << r.rate;
}

TEST(LoopListSeconds, GodotsLoopOffsetLandsOnTheLoopStart) {
  // Godot seeks to int(offset * rate): the offset as written, read back as a
  // double, must land on the frame itself for every frame and rate, where
  // frame / rate lands a frame early for some.
  int early = 0;
  for (const uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u, 96000u, 65535u}) {
    for (int64_t frame = 0; frame < 20000; ++frame) {
      const double offset = std::strtod(godot_loop_offset(frame, rate).c_str(), nullptr);
      ASSERT_EQ(static_cast<int64_t>(offset * rate), frame) << frame << " at " << rate;
      const double plain = std::strtod(list_seconds(frame, rate).c_str(), nullptr);
      early += static_cast<int64_t>(plain * rate) != frame;
    }
  }
  EXPECT_GT(early, 0) << "frame / rate would have done";
  for (const int64_t frame : {int64_t{1} << 20, int64_t{123456789}, int64_t{1073741823}}) {
    const double offset = std::strtod(godot_loop_offset(frame, 44100).c_str(), nullptr);
    EXPECT_EQ(static_cast<int64_t>(offset * 44100), frame) << frame;
  }
}

TEST(BatchProgress, TheLineAtThreeMoments) {
  EXPECT_EQ(progress_text("kelvor-batch", {0, 150, 0, 0, 1200000000, 0.1}),
            "kelvor-batch: 0 of 150 files, 0.0 MB written, time left unknown");
  EXPECT_EQ(progress_text("kelvor-batch", {50, 150, 834000000, 400000000, 1200000000, 4.0}),
            "kelvor-batch: 50 of 150 files, 834.0 MB written, 208.5 MB/s, 0:08 left");
  EXPECT_EQ(progress_text("convert-all", {149, 150, 2500000000, 1192000000, 1200000000, 3725.0}),
            "convert-all: 149 of 150 files, 2500.0 MB written, 0.7 MB/s, 0:25 left");
  EXPECT_EQ(progress_text("kelvor-batch", {1, 80000, 1, 1, 80000, 1.0}),
            "kelvor-batch: 1 of 80000 files, 0.0 MB written, 0.0 MB/s, 22:13:19 left");
}

}  // namespace
