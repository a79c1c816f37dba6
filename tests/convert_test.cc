// The conversion sequence in process: the order in which files are opened,
// failures of opening and closing, the writing rules, and a property test of
// the unrolled output over many generated containers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "app/convert.h"
#include "app/batch_inputs.h"
#include "app/batch_main.h"
#include "container/analyze.h"
#include "test_support.h"

namespace {

// A file-system seam over the real one that can refuse to open the
// destination or report a failed close, and counts what was opened.
struct FakeFs {
  bool refuse_dst = false;
  bool fail_dst_close = false;
  int opens_for_writing = 0;
  FILE* dst = nullptr;

  static FILE* open(void* ctx, const char* name, const char* mode) {
    auto* fs = static_cast<FakeFs*>(ctx);
    if (mode[0] != 'w') return std::fopen(name, mode);
    ++fs->opens_for_writing;
    if (fs->refuse_dst) return nullptr;
    fs->dst = std::fopen(name, mode);
    return fs->dst;
  }
  static int close(void* ctx, FILE* f) {
    auto* fs = static_cast<FakeFs*>(ctx);
    int r = std::fclose(f);
    return (f == fs->dst && fs->fail_dst_close) ? EOF : r;
  }
  FileOps ops() { return FileOps{open, close, this, 0}; }
};

class Folder {
 public:
  Folder() {
    char name[] = "/tmp/kelvor-test-XXXXXX";
    path_ = ::mkdtemp(name);
  }
  ~Folder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const Bytes& b) const {
    FILE* f = std::fopen(file(name).c_str(), "wb");
    if (!b.empty()) std::fwrite(b.data(), b.size(), 1, f);
    std::fclose(f);
  }
  bool exists(const std::string& name) const { return ::access(file(name).c_str(), F_OK) == 0; }
  void mkdir(const std::string& name) const { ::mkdir(file(name).c_str(), 0755); }

 private:
  std::string path_;
};

struct Outcome {
  int result;
  std::string out;
};

Outcome run(Settings* s, FakeFs* fs) {
  CaptureStdout cap;
  Outcome r{};
  r.result = convert_with(s, fs->ops());
  r.out = cap.text();
  return r;
}

Settings named(const Folder& dir, const char* src, const char* dst) {
  Settings s;
  s.src_name = dir.file(src);
  s.dst_name = dir.file(dst);
  return s;
}

TEST(Convert, DestinationIsOpenedOnlyAfterASuccessfulAnalysis) {
  Folder dir;
  dir.write("bad.zq", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0});
  FakeFs fs;
  Settings missing = named(dir, "none.zq", "out.wav");
  EXPECT_EQ(run(&missing, &fs).out, "error-11 : can not open .zq file.\n");
  Settings bad = named(dir, "bad.zq", "out.wav");
  fs.refuse_dst = true;  // the analysis error is the one reported
  Outcome r = run(&bad, &fs);
  EXPECT_EQ(r.result, -23);
  EXPECT_EQ(r.out, "error-23 : invalid .zq file(analyze)\n");
  EXPECT_EQ(fs.opens_for_writing, 0);
  EXPECT_FALSE(dir.exists("out.wav"));
}

TEST(Convert, DestinationThatCannotBeCreated) {
  Folder dir;
  dir.write("a.zq", small_container());
  FakeFs fs;
  fs.refuse_dst = true;
  Settings s = named(dir, "a.zq", "a.wav");
  Outcome r = run(&s, &fs);
  EXPECT_EQ(r.result, -12);
  EXPECT_EQ(r.out, "error-12 : can not create .wav file.\n");
}

TEST(Convert, FailedCloseOfTheDestinationIsNotASuccess) {
  Folder dir;
  dir.write("a.zq", small_container());
  FakeFs fs;
  fs.fail_dst_close = true;
  Settings s = named(dir, "a.zq", "a.wav");
  Outcome r = run(&s, &fs);
  EXPECT_EQ(r.result, -53);
  EXPECT_EQ(r.out, "error-53 : write error(convert)\n");
  // An earlier failure keeps its own code and its single line.
  dir.write("short.zq", slice(small_container(), 0, 48));
  Settings cut = named(dir, "short.zq", "b.wav");
  r = run(&cut, &fs);
  EXPECT_EQ(r.result, -22);
  EXPECT_EQ(r.out, "error-22 : read error(analyze)\n");
}

// The source itself (-13) and another container (-14) are refused before
// anything is opened for writing; a copy of the source is another container.
TEST(Convert, SourceAndOtherContainersAreRefusedBeforeAnythingIsOpened) {
  Folder dir;
  dir.write("a.zq", small_container());
  dir.write("b.zq", small_container());
  const struct {
    const char* dst;
    int result;
    const char* out;
  } cases[] = {{"a.zq", -13, "error-13 : .wav file is the .zq file.\n"},
               {"b.zq", -14, "error-14 : .wav file is a .zq file.\n"}};
  for (const auto& c : cases) {
    FakeFs fs;
    Settings s = named(dir, "a.zq", c.dst);
    Outcome r = run(&s, &fs);
    EXPECT_EQ(r.result, c.result) << c.dst;
    EXPECT_EQ(r.out, c.out) << c.dst;
    EXPECT_EQ(fs.opens_for_writing, 0) << c.dst;
  }
}

TEST(WriteWave, NoTrackWritesNothingAndNoLoopInfoPlaysOnce) {
  TempStream src(small_container());
  TempStream dst;
  TrackInfo none{};
  Settings s;
  EXPECT_EQ(write_wave(src.get(), dst.get(), &none, &s), 0);
  EXPECT_TRUE(dst.contents().empty());

  TrackInfo t{};
  ASSERT_EQ(analyze(src.get(), &t, &s), 0);
  t.loop_mark = 0;
  CaptureStdout cap;
  ASSERT_EQ(write_wave(src.get(), dst.get(), &t, &s), 0);
  EXPECT_EQ(cap.text(), "warning : no loop info, reset loopcount to 1.\n");
  EXPECT_EQ(s.loop_count, 1);
  EXPECT_EQ(dst.contents().size(), 44u + 8u);
}

// For many generated containers, the output is the header followed by the
// data and (loop count - 1) copies of the loop section, and its length is
// the announced data length + the header.
TEST(Property, OutputIsTheUnrolledData) {
  std::mt19937 rng(20261208);
  auto pick = [&rng](uint32_t lo, uint32_t hi) {
    return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
  };
  for (int round = 0; round < 300; ++round) {
    TrkFields f;
    f.channels = static_cast<uint16_t>(pick(1, 8));
    f.frame_bits = static_cast<uint16_t>(8 * pick(1, 4));
    f.sample_bits = f.frame_bits;
    f.rate = pick(8000, 96000);
    f.units = pick(0, 600);
    uint32_t data_bytes = f.units * 4;
    uint32_t loop_units = pick(0, f.units);
    bool with_loop = pick(0, 4) != 0;
    bool loop_first = pick(0, 1) != 0;

    ZqBuilder b;
    uint32_t total = 8 + 36 + data_bytes + (with_loop ? 24 : 0);
    b.header(total);
    // A leading cSLP chunk puts the running offset one byte (its mark) ahead of the file.
    if (with_loop && loop_first) b.slp(1, loop_units);
    b.trk(f).data(data_bytes, static_cast<uint8_t>(round));
    if (with_loop && !loop_first) b.slp(1, loop_units);
    const Bytes container = b.bytes();

    Settings s;
    s.loop_count = static_cast<int32_t>(pick(1, 6));
    s.buffer_size = static_cast<int32_t>(pick(0, 3) == 0 ? pick(1, 7) : pick(8, 5000));
    s.omit_fmt_tail = pick(0, 5) == 0 ? 1 : 0;
    const int32_t heard = with_loop ? s.loop_count : 1;

    TempStream src(container);
    TempStream dst;
    TrackInfo t{};
    CaptureStdout cap;
    ASSERT_EQ(analyze(src.get(), &t, &s), 0) << round;
    ASSERT_EQ(write_wave(src.get(), dst.get(), &t, &s), 0) << round;
    cap.text();

    const size_t data_at = container.size() - data_bytes - (with_loop && !loop_first ? 24 : 0);
    Bytes data = slice(container, data_at, data_at + data_bytes);
    Bytes expected = data;
    for (int32_t i = 1; i < heard; ++i) expected.insert(expected.end(), data.begin() + loop_units * 4, data.end());
    Bytes out = dst.contents();
    size_t header = s.omit_fmt_tail ? 40 : 44;
    ASSERT_EQ(out.size(), header + expected.size()) << round;
    EXPECT_EQ(slice(out, header, out.size()), expected) << round;
    uint32_t announced = out[header - 4] | out[header - 3] << 8 | out[header - 2] << 16 | static_cast<uint32_t>(out[header - 1]) << 24;
    EXPECT_EQ(announced, expected.size()) << round;
  }
}

TEST(ConvertAll, FilesAndFoldersEachConvertedOnceWithTheOptionsOfEveryRun) {
  Folder f;
  for (const char* sub : {"bgm", "bgm/deep", "bgm/.zq"}) f.mkdir(sub);
  const Bytes container = small_container();
  // Containers in any letter case; a longer extension, a folder named like
  // a container and other files are not containers.
  for (const char* name : {"a.zq", "bgm/B.ZQ", "bgm/deep/c.Zq", "bgm/d.zqx", "bgm/notes.txt", "bgm/100% & !.zq"}) {
    f.write(name, container);
  }
  f.write("bgm/deep/cut.zq", slice(container, 0, 20));
  EXPECT_EQ(containers_in(f.file("bgm"), true),
            (std::vector<std::string>{f.file("bgm/100% & !.zq"), f.file("bgm/B.ZQ"), f.file("bgm/deep/c.Zq"),
                                      f.file("bgm/deep/cut.zq")}));
  EXPECT_EQ(containers_in(f.file("bgm"), false), (std::vector<std::string>{f.file("bgm/100% & !.zq"), f.file("bgm/B.ZQ")}));
  EXPECT_TRUE(containers_in(f.file("missing"), true).empty());

  CaptureStdout cap;
  // The folder given with a separator at its end, as a console may complete it.
  int status = batch_main({f.file("a.zq"), "-l3", f.file("bgm") + "/", "", f.file("missing.zq")}, "convert-all", f.file("bgm/deep"));
  std::string out = cap.text();
  EXPECT_EQ(status, kBatchSomeFailed);
  for (const char* wav : {"a.wav", "bgm/B.wav", "bgm/deep/c.wav", "bgm/100% & !.wav"}) EXPECT_TRUE(f.exists(wav)) << wav;
  EXPECT_FALSE(f.exists("bgm/d.wav"));
  size_t runs = 0;
  for (size_t at = 0; (at = out.find("\nsetting : loop 3\n", at)) != std::string::npos; ++at) ++runs;
  EXPECT_EQ(runs, 6u);
  // After every run's messages: each failure, named from the folder it was
  // found through or as given, with its run's error line, then the counts.
  EXPECT_TRUE(out.ends_with("error-11 : can not open .zq file.\n"
                            "\nconvert-all: 2 other files in the folders, not .zq, left alone.\n"
                            "convert-all: these files failed:\n"
                            "  bgm/deep/cut.zq: error-22 : read error(analyze)\n"
                            "  " + f.file("missing.zq") + ": error-11 : can not open .zq file.\n"
                            "convert-all: 4 converted, 2 failed.\n")) << out;

  // No name at all: the program's own folder, without its subfolders. The
  // WAVs of the first run are kept, the new ones numbered.
  CaptureStdout again;
  EXPECT_EQ(batch_main({"-l1"}, "convert-all", f.file("bgm")), kBatchAllConverted);
  EXPECT_TRUE(again.text().ends_with("dst[" + f.file("bgm/B.wav") + "]\nconvert-all: " + f.file("bgm/B.wav") +
                                     " is there already, and was kept: this one is " + f.file("bgm/B (2).wav") +
                                     ".\n\nconvert-all: 2 converted, 0 failed.\n")) << again.text();
}

TEST(ConvertAll, SaysWhereItFoundNothing) {
  Folder f;
  for (const char* sub : {"kit", "music", "music/empty", "music/empty/deeper"}) f.mkdir(sub);
  f.write("music/a.zq", small_container());
  f.write("kit/readme.txt", Bytes{'h', 'i'});
  f.write("music/empty/deeper/notes.zqx", small_container());

  // Started from a folder without containers, as from inside a zip: the
  // folder it looked in, and what to do.
  CaptureStdout cap;
  EXPECT_EQ(batch_main({}, "convert-all", f.file("kit")), kBatchSomeFailed);
  EXPECT_EQ(cap.text(), "\nconvert-all: no .zq file in " + f.file("kit") + ".\n"
                        "convert-all: drop .zq files, or folders that hold them, on convert-all.\n"
                        "convert-all: if it is still inside its zip, extract the zip first.\n"
                        "convert-all: 0 converted, 0 failed.\n");

  // A folder given without containers is named; the others still convert.
  CaptureStdout some;
  EXPECT_EQ(batch_main({f.file("music/empty"), f.file("music/a.zq")}, "convert-all", f.file("kit")), kBatchAllConverted);
  EXPECT_TRUE(some.text().ends_with("\n\nconvert-all: no .zq file in " + f.file("music/empty") +
                                    " or its subfolders.\nconvert-all: 1 other file in the folders, not .zq, left alone.\n"
                                    "convert-all: 1 converted, 0 failed.\n"))
      << some.text();
}

}  // namespace
