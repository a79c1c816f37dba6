// WAVs that keep the loop: the sound once with a smpl chunk, or the intro and
// the loop apart, read back field by field; and the smpl chunk as an
// independent reader (sndfile-info) sees it.
#include "wave/kept_loop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>

#include "app/kelvor_main.h"
#include "base/little_endian.h"
#include "wave/marked_loop.h"
#include "wave/wavheader.h"
#include "test_support.h"

namespace {

// A container of `units` 4-byte units of sample data counting up from 0x10,
// with a loop from `loop_units` units when `loop` is set.
Bytes container(TrkFields f, bool loop, uint32_t loop_units) {
  ZqBuilder b;
  b.header(0).trk(f).data(size_t{f.units} * 4, 0x10);
  if (loop) b.slp(1, loop_units);
  Bytes bytes = b.bytes();
  return ZqBuilder(b).patch32(4, static_cast<uint32_t>(bytes.size())).bytes();
}

Bytes data_of(const TrkFields& f) { return ZqBuilder().data(size_t{f.units} * 4, 0x10).bytes(); }

// Runs the page's conversion of `source` in a fresh folder as in.zq to
// out.wav: its result and every file it wrote, by name.
struct Outcome {
  int result;
  std::map<std::string, Bytes> files;
};

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Without an option, the loop count a caller gives the kind: 2 where it
// takes one, else 1 (the sound once).
Outcome run(const Bytes& source, OutputKind kind, const char* option = nullptr,
            const std::map<std::string, Bytes>& present = {}, LoopEnd end = LoopEnd::kLastFrame) {
  if (option == nullptr) option = output_kind_row(kind).loop_count ? "-l2" : "-l1";
  char dir[] = "/tmp/kelvor-kept-XXXXXX";
  Outcome o{1, {}};
  if (::mkdtemp(dir) == nullptr) return o;
  const std::string at = std::string(dir) + "/";
  auto put = [&](const std::string& name, const Bytes& b) {
    FILE* f = std::fopen((at + name).c_str(), "wb");
    if (!b.empty()) std::fwrite(b.data(), b.size(), 1, f);
    std::fclose(f);
  };
  put("in.zq", source);
  for (const auto& [name, bytes] : present) put(name, bytes);
  const std::string src = at + "in.zq", dst = at + "out.wav";
  const char* argv[] = {"kelvor", src.c_str(), dst.c_str(), option};
  {
    CaptureStdout quiet;
    o.result = kelvor_run(4, argv, nullptr, kind, nullptr, end);
  }
  for (const char* name : {"out.wav", "out - intro.wav", "out - loop.wav"}) {
    struct stat st;
    if (::stat((at + name).c_str(), &st) == 0 && present.count(name) == 0) o.files[name] = read_file(at + name);
    std::remove((at + name).c_str());
  }
  for (const auto& entry : present) std::remove((at + entry.first).c_str());
  std::remove(src.c_str());
  ::rmdir(dir);
  return o;
}

// A WAV's chunks as kelvor writes them: fmt, data, and smpl when present.
struct Wav {
  uint32_t riff_length, channels, rate, byte_rate, block_align, bits;
  Bytes data;
  bool has_smpl = false;
  uint32_t smpl[16] = {};  // the 60 bytes of the smpl chunk's body as 15 values, and its size first
};

Wav parse(const Bytes& b) {
  Wav w{};
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  w.riff_length = load_le32(&b[4]);
  EXPECT_EQ(w.riff_length, b.size() - 8);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(load_le32(&b[16]), 16u);
  EXPECT_EQ(load_le16(&b[20]), 1u);
  w.channels = load_le16(&b[22]);
  w.rate = load_le32(&b[24]);
  w.byte_rate = load_le32(&b[28]);
  w.block_align = load_le16(&b[32]);
  w.bits = load_le16(&b[34]);
  EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
  const uint32_t n = load_le32(&b[40]);
  w.data = slice(b, 44, 44 + n);
  const size_t after = 44 + n + (n & 1);
  EXPECT_GE(b.size(), after) << "an odd data chunk without its pad byte";
  if ((n & 1) != 0 && b.size() > 44 + n) {
    EXPECT_EQ(b[44 + n], 0u);
  }
  if (after + 8 <= b.size()) {
    EXPECT_EQ(std::string(b.begin() + after, b.begin() + after + 4), "smpl");
    w.has_smpl = true;
    for (int i = 0; i < 16; ++i) w.smpl[i] = load_le32(&b[after + 4 + 4 * i]);
    EXPECT_EQ(after + 8 + w.smpl[0], b.size());
  }
  return w;
}

enum { kSize, kManufacturer, kProduct, kPeriod, kUnityNote, kPitch, kSmpteFormat, kSmpteOffset, kLoops,
       kSamplerData, kLoopId, kLoopType, kStart, kEnd, kFraction, kPlayCount };

// Layouts of every kind: block aligns of 1, 4, 6 and 12 bytes.
struct Layout {
  const char* name;
  TrkFields f;
  uint32_t loop_units;
  uint32_t block_align, loop_frame, frames, period;
};

std::vector<Layout> layouts() {
  TrkFields mono8;
  mono8.channels = 1, mono8.frame_bits = mono8.sample_bits = 8, mono8.rate = 22050, mono8.units = 3;
  TrkFields stereo16;
  stereo16.units = 6;
  TrkFields stereo24;
  stereo24.frame_bits = stereo24.sample_bits = 24, stereo24.rate = 48000, stereo24.units = 12;
  TrkFields six16;
  six16.channels = 6, six16.units = 12;
  return {{"mono 8-bit", mono8, 1, 1, 4, 12, 45351},
          {"stereo 16-bit", stereo16, 2, 4, 2, 6, 22676},
          {"stereo 24-bit", stereo24, 3, 6, 2, 8, 20833},
          {"6 channels", six16, 6, 12, 2, 4, 22676}};
}

TEST(KeptLoop, LoopPointsKeptInASmplChunk) {
  for (const Layout& l : layouts()) {
    SCOPED_TRACE(l.name);
    const Outcome o = run(container(l.f, true, l.loop_units), OutputKind::kLoopPointsKept);
    ASSERT_EQ(o.result, 0);
    ASSERT_EQ(o.files.size(), 1u);
    const Wav w = parse(o.files.at("out.wav"));
    EXPECT_EQ(w.data, data_of(l.f));  // the sound once, whatever the loop count
    EXPECT_EQ(w.block_align, l.block_align);
    EXPECT_EQ(w.byte_rate, l.block_align * l.f.rate);
    ASSERT_TRUE(w.has_smpl);
    const uint32_t expected[16] = {60, 0, 0, l.period, 60, 0, 0, 0, 1, 0, 0, 0, l.loop_frame, l.frames - 1, 0, 0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(w.smpl[i], expected[i]) << "field " << i;
  }
}

TEST(KeptLoop, IntroAndLoopApartMakeTheDataAgain) {
  for (const Layout& l : layouts()) {
    SCOPED_TRACE(l.name);
    const Outcome o = run(container(l.f, true, l.loop_units), OutputKind::kIntroAndLoop);
    ASSERT_EQ(o.result, 0);
    ASSERT_EQ(o.files.size(), 2u);
    const Wav intro = parse(o.files.at("out - intro.wav")), loop = parse(o.files.at("out - loop.wav"));
    EXPECT_EQ(intro.data.size(), l.loop_frame * l.block_align);
    Bytes joined = intro.data;
    joined.insert(joined.end(), loop.data.begin(), loop.data.end());
    EXPECT_EQ(joined, data_of(l.f));
    EXPECT_FALSE(intro.has_smpl || loop.has_smpl);
    EXPECT_EQ(intro.block_align, l.block_align);
    EXPECT_EQ(loop.bits, l.f.sample_bits);
  }
}

TEST(KeptLoop, WithoutALoopToKeepOneWavAsTheCommandLineHearsItOnce) {
  TrkFields f;
  f.units = 6;
  const Bytes plain = run(container(f, false, 0), OutputKind::kUnrolled, "-l1").files.at("out.wav");
  struct Case { const char* name; Bytes source; };
  const Case cases[] = {{"no loop information", container(f, false, 0)},
                        {"loop start at the end of the data", container(f, true, 6)}};
  for (const Case& c : cases) {
    for (OutputKind kind : {OutputKind::kLoopPointsKept, OutputKind::kIntroAndLoop}) {
      SCOPED_TRACE(c.name);
      const Outcome o = run(c.source, kind);
      ASSERT_EQ(o.result, 0);
      ASSERT_EQ(o.files.size(), 1u);
      EXPECT_EQ(o.files.at("out.wav"), plain);
    }
  }
  // A loop from the first frame: the whole data loops, and there is no intro.
  const Outcome apart = run(container(f, true, 0), OutputKind::kIntroAndLoop);
  ASSERT_EQ(apart.files.size(), 1u);
  EXPECT_EQ(parse(apart.files.at("out - loop.wav")).data, data_of(f));
  const Wav kept = parse(run(container(f, true, 0), OutputKind::kLoopPointsKept).files.at("out.wav"));
  EXPECT_EQ(kept.smpl[kStart], 0u);
  EXPECT_EQ(kept.smpl[kEnd], 5u);
}

TEST(KeptLoop, RefusalsMakeNoFile) {
  TrkFields f;
  f.units = 6;
  TrkFields no_align = f;
  no_align.frame_bits = 0;
  struct Case { const char* name; Bytes source; std::map<std::string, Bytes> present; int result; };
  const Case cases[] = {
      {"loop start past the data", container(f, true, 7), {}, -32},
      {"block align of 0", container(no_align, true, 2), {}, -34},
      {"a container where the loop goes", container(f, true, 2), {{"out - loop.wav", small_container()}}, -14},
  };
  for (const Case& c : cases) {
    for (OutputKind kind : {OutputKind::kLoopPointsKept, OutputKind::kIntroAndLoop}) {
      if (!c.present.empty() && kind == OutputKind::kLoopPointsKept) continue;
      SCOPED_TRACE(c.name);
      const Outcome o = run(c.source, kind, nullptr, c.present);
      EXPECT_EQ(o.result, c.result);
      EXPECT_TRUE(o.files.empty());
    }
  }
  // Lengths past 32 bits, which no container the reader accepts can ask for.
  TrackInfo huge{};
  huge.trk_mark = 1, huge.channels = 2, huge.frame_bits = 16, huge.loop_mark = 1;
  huge.data_bytes = 0xFFFFFFF0u, huge.loop_start = 4;
  KeptPlan plan{};
  CaptureStdout out;
  EXPECT_EQ(plan_kept_loop(&huge, false, LoopEnd::kLastFrame, &plan), -33);
  EXPECT_EQ(out.text(), "error-33 : wav file too large(plan_kept_loop)\n");
}

// An option a kind's row does not take is refused before anything is
// opened, with a line that names it; what a kind takes is taken.
TEST(KeptLoop, OptionsAKindDoesNotTakeAreRefused) {
  const Bytes source = small_container();
  struct Case {
    OutputKind kind;
    const char* option;
    LoopEnd end;
    const char* refused;  // null: converted
  };
  const Case cases[] = {
      {OutputKind::kLoopPointsKept, "-l5", LoopEnd::kLastFrame, "error-4 : a loop count (-l) other than 1 is not for the loop points kept\n"},
      {OutputKind::kIntroAndLoop, "-l3", LoopEnd::kLastFrame, "error-4 : a loop count (-l) other than 1 is not for the intro and loop apart\n"},
      {OutputKind::kLoopPointsKept, "-x", LoopEnd::kLastFrame, "error-4 : the short format block (-x) is not for the loop points kept\n"},
      {OutputKind::kUnrolledMarked, "-x", LoopEnd::kLastFrame, "error-4 : the short format block (-x) is not for the loop unrolled and marked\n"},
      {OutputKind::kUnrolled, "-l2", LoopEnd::kPastLast, "error-4 : a loop end is not for the loop unrolled\n"},
      {OutputKind::kIntroAndLoop, "-l1", LoopEnd::kPastLast, "error-4 : a loop end is not for the intro and loop apart\n"},
      {OutputKind::kLoopPointsKept, "-l1", LoopEnd::kPastLast, nullptr},
      {OutputKind::kUnrolledMarked, "-l3", LoopEnd::kPastLast, nullptr},
      {OutputKind::kUnrolled, "-x", LoopEnd::kLastFrame, nullptr},
  };
  for (const Case& c : cases) {
    const OutputKindRow& row = output_kind_row(c.kind);
    SCOPED_TRACE(std::string(row.name) + " " + c.option);
    char dir[] = "/tmp/kelvor-refuse-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string src = std::string(dir) + "/in.zq", dst = std::string(dir) + "/out.wav";
    FILE* f = std::fopen(src.c_str(), "wb");
    std::fwrite(source.data(), source.size(), 1, f);
    std::fclose(f);
    const char* argv[] = {"kelvor", src.c_str(), dst.c_str(), c.option};
    CaptureStdout out;
    const int result = kelvor_run(4, argv, nullptr, c.kind, nullptr, c.end);
    const std::string printed = out.text();
    struct stat st;
    const bool made = ::stat(dst.c_str(), &st) == 0;
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
    if (c.refused == nullptr) {
      EXPECT_EQ(result, 0) << printed;
      EXPECT_TRUE(made);
    } else {
      EXPECT_EQ(result, -4);
      EXPECT_EQ(printed.substr(printed.find("error-")), c.refused);
      EXPECT_FALSE(made);
    }
  }
}

// The track in frames: whole frames only, and where a loop start that is
// not on a frame went. Stereo 24-bit frames are 6 bytes: 16 bytes of data
// hold 2 of them and 4 bytes more.
TEST(KeptLoop, TheTrackInWholeFrames) {
  struct Case {
    const char* name;
    uint16_t channels, frame_bits;
    uint32_t data_bytes, loop_mark, loop_start;
    LoopFrames expected;  // block align, frames, dropped, has loop, start, end, moved, in the dropped part
  };
  const Case cases[] = {
      {"frames that fill the data", 2, 16, 16, 1, 4, {4, 4, 0, 1, 1, 4, 0, 0}},
      {"a partial frame at the end", 2, 24, 16, 1, 0, {6, 2, 4, 1, 0, 2, 0, 0}},
      {"a loop start inside a frame", 2, 24, 16, 1, 4, {6, 2, 4, 1, 0, 2, 1, 0}},
      {"a one-frame loop", 2, 24, 16, 1, 6, {6, 2, 4, 1, 1, 2, 0, 0}},
      {"a loop start on the partial frame", 2, 24, 16, 1, 12, {6, 2, 4, 0, 0, 0, 0, 1}},
      {"a loop start inside the partial frame", 2, 24, 16, 1, 14, {6, 2, 4, 0, 0, 0, 1, 1}},
      {"a loop start at the end of the data", 2, 16, 16, 1, 16, {4, 4, 0, 0, 0, 0, 0, 0}},
      {"no loop information", 2, 24, 16, 0, 0, {6, 2, 4, 0, 0, 0, 0, 0}},
      {"frames of 0 bytes", 2, 0, 16, 1, 4, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TrackInfo t{};
    t.trk_mark = 1, t.channels = c.channels, t.frame_bits = c.frame_bits, t.sample_bits = c.frame_bits;
    t.data_bytes = c.data_bytes, t.loop_mark = c.loop_mark, t.loop_start = c.loop_start;
    LoopFrames f{};
    loop_frames(&t, &f);
    const LoopFrames& e = c.expected;
    EXPECT_EQ(std::vector<uint32_t>({f.block_align, f.frames, f.dropped_bytes, f.has_loop, f.loop_start, f.loop_end,
                                     f.start_moved, f.start_dropped}),
              std::vector<uint32_t>({e.block_align, e.frames, e.dropped_bytes, e.has_loop, e.loop_start, e.loop_end,
                                     e.start_moved, e.start_dropped}));
  }
}

// Kept WAVs of whole frames that readers count as the track's: the partial
// frame left out, an odd chunk padded, a sample's slot as its bits, and the
// loop's end for each convention.
TEST(KeptLoop, WhatReadersCountIsTheTracksFrames) {
  TrkFields stereo24;  // 16 bytes: 2 frames and 4 bytes more
  stereo24.frame_bits = stereo24.sample_bits = 24, stereo24.units = 4;
  const Bytes data = data_of(stereo24);
  const Wav kept = parse(run(container(stereo24, true, 1), OutputKind::kLoopPointsKept).files.at("out.wav"));
  EXPECT_EQ(kept.data, slice(data, 0, 12));
  EXPECT_EQ(std::vector<uint32_t>({kept.smpl[kStart], kept.smpl[kEnd]}), std::vector<uint32_t>({0, 1}));
  const Wav godot = parse(run(container(stereo24, true, 1), OutputKind::kLoopPointsKept, nullptr, {},
                              LoopEnd::kPastLast).files.at("out.wav"));
  EXPECT_EQ(std::vector<uint32_t>({godot.smpl[kStart], godot.smpl[kEnd]}), std::vector<uint32_t>({0, 2}));
  // A loop in the partial frame at the end: nothing to loop, one WAV of the whole frames.
  const Outcome dropped = run(container(stereo24, true, 3), OutputKind::kIntroAndLoop);
  ASSERT_EQ(dropped.files.size(), 1u);
  EXPECT_EQ(parse(dropped.files.at("out.wav")).data, slice(data, 0, 12));

  TrkFields mono24;  // 3-byte frames: a loop from byte 4 starts inside frame 1, kept from it
  mono24.channels = 1, mono24.frame_bits = mono24.sample_bits = 24, mono24.units = 3;
  const Outcome apart = run(container(mono24, true, 1), OutputKind::kIntroAndLoop);
  const Wav intro = parse(apart.files.at("out - intro.wav")), loop = parse(apart.files.at("out - loop.wav"));
  EXPECT_EQ(intro.data, slice(data_of(mono24), 0, 3));
  EXPECT_EQ(loop.data, slice(data_of(mono24), 3, 12));
  EXPECT_EQ(apart.files.at("out - intro.wav").size(), 44u + 3u + 1u) << "the pad byte, counted";

  TrkFields slots;  // 24-bit samples in 32-bit slots
  slots.frame_bits = 32, slots.sample_bits = 24, slots.units = 4;
  EXPECT_EQ(parse(run(container(slots, true, 1), OutputKind::kLoopPointsKept).files.at("out.wav")).bits, 32u);
  const Bytes command_line = run(container(slots, true, 1), OutputKind::kUnrolled).files.at("out.wav");
  EXPECT_EQ(load_le16(&command_line[34]), 24u) << "the command line's header is its own";
}

// The loop unrolled with its first pass marked: the command line's WAV up to
// the end of its data but for the RIFF length, which counts the smpl chunk.
TEST(KeptLoop, MarkedIsTheCommandLinesWavWithItsLoopMarked) {
  TrkFields f;
  f.units = 6;
  for (LoopEnd end : {LoopEnd::kLastFrame, LoopEnd::kPastLast}) {
    const Bytes plain = run(container(f, true, 2), OutputKind::kUnrolled, "-l3").files.at("out.wav");
    const Bytes marked = run(container(f, true, 2), OutputKind::kUnrolledMarked, "-l3", {}, end).files.at("out.wav");
    ASSERT_EQ(marked.size(), plain.size() + kSmplChunkBytes);
    EXPECT_EQ(slice(marked, 8, plain.size()), slice(plain, 8, plain.size()));
    const Wav w = parse(marked);
    EXPECT_EQ(w.data, slice(plain, 44, plain.size()));
    EXPECT_EQ(std::vector<uint32_t>({w.smpl[kStart], w.smpl[kEnd]}),
              std::vector<uint32_t>({2, end == LoopEnd::kPastLast ? 6u : 5u})) << "the first pass";
  }
  EXPECT_EQ(run(container(f, false, 0), OutputKind::kUnrolledMarked, "-l3").files.at("out.wav"),
            run(container(f, false, 0), OutputKind::kUnrolled, "-l3").files.at("out.wav")) << "no loop, no chunk";
}

#ifdef KELVOR_SNDFILE_INFO
// The bundled example, loop points kept, as libsndfile's sndfile-info reads it.
// Every kind's layout at the edge of 32-bit lengths: the largest data that
// fits, and one byte more, judged by each kind's own check (the run makes
// no other). 8-bit mono, so that every byte is a frame.
TEST(KeptLoop, EveryKindAtTheEdgeOfThirtyTwoBits) {
  enum class Kind { kUnrolled, kMarked, kKept, kApart };
  struct Case {
    const char* what;
    Kind kind;
    bool loop;
    int32_t loop_count;
    uint32_t largest;  // RIFF length = 36 + data (+ a pad byte when odd, + 68 for a smpl chunk) <= 2^32 - 1
  };
  const Case cases[] = {
      {"unrolled: data + 36", Kind::kUnrolled, true, 1, 4294967259u},
      {"unrolled, no loop", Kind::kUnrolled, false, 1, 4294967259u},
      {"marked: a smpl chunk after even data", Kind::kMarked, true, 1, 4294967190u},
      {"marked without a loop: no chunk", Kind::kMarked, false, 1, 4294967259u},
      {"kept: a smpl chunk after even data", Kind::kKept, true, 1, 4294967190u},
      {"kept without a loop", Kind::kKept, false, 1, 4294967258u},
      {"apart: the loop alone, padded when odd", Kind::kApart, true, 1, 4294967258u},
  };
  for (const Case& c : cases) {
    for (const uint32_t data : {c.largest, c.largest + 1u}) {
      TrackInfo t{};
      t.trk_mark = 1;
      t.sample_rate = 8000;
      t.channels = 1;
      t.frame_bits = 8;
      t.sample_bits = 8;
      t.data_bytes = data;
      t.loop_mark = c.loop ? 1u : 0u;
      t.loop_start = 0;
      Settings s;
      s.loop_count = c.loop_count;
      int result = 0;
      CaptureStdout quiet;
      if (c.kind == Kind::kUnrolled) {
        result = check_header(&t, s.loop_count);
      } else if (c.kind == Kind::kMarked) {
        result = check_marked(&t, &s, LoopEnd::kLastFrame);
      } else {
        KeptPlan plan{};
        result = plan_kept_loop(&t, c.kind == Kind::kApart, LoopEnd::kLastFrame, &plan);
      }
      const std::string printed = quiet.text();
      EXPECT_EQ(result, data == c.largest ? 0 : -33) << c.what << ", " << data << " bytes";
      EXPECT_EQ(printed.empty(), result == 0) << c.what;
      if (result != 0) {
        EXPECT_NE(printed.find("error-33 : wav file too large("), std::string::npos) << printed;
      }
    }
  }
}

TEST(KeptLoop, SndfileInfoReadsTheLoopOfTheExample) {
  const Outcome o = run(read_file(KELVOR_EXAMPLE), OutputKind::kLoopPointsKept);
  ASSERT_EQ(o.result, 0);
  char path[] = "/tmp/kelvor-smpl-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  const Bytes& wav = o.files.at("out.wav");
  ASSERT_EQ(::write(fd, wav.data(), wav.size()), static_cast<ssize_t>(wav.size()));
  ::close(fd);
  const std::string command = std::string(KELVOR_SNDFILE_INFO) + " " + path;
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) text += line;
  ::pclose(pipe);
  std::remove(path);
  // The example: 66,150 frames, the loop from frame 22,050.
  std::smatch count, loop;
  ASSERT_TRUE(std::regex_search(text, count, std::regex("Loop Count +: (\\d+)"))) << text;
  ASSERT_TRUE(std::regex_search(text, loop, std::regex("Start : +(\\d+) +End : +(\\d+)"))) << text;
  EXPECT_EQ(count[1], "1");
  EXPECT_EQ(loop[1], "22050");
  EXPECT_EQ(loop[2], "66149");
}
#endif

}  // namespace
