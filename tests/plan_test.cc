// The plan of every output against its writer: for many generated
// containers, cut ones among them, every output kind, loop count, copy
// buffer and format block, a run that plans prints what the run that writes
// prints, returns its code, and its plan carried out on the source gives
// every byte of every file the writing run leaves.
#include "wave/wav_plan.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>

#include "app/convert.h"
#include "app/kelvor_main.h"
#include "base/little_endian.h"
#include "container/analyze.h"
#include "test_support.h"

namespace {

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A folder of its own holding the source as in.zq.
class RunFolder {
 public:
  explicit RunFolder(const Bytes& source) {
    char name[] = "/tmp/kelvor-plan-XXXXXX";
    path_ = ::mkdtemp(name);
    FILE* f = std::fopen(file("in.zq").c_str(), "wb");
    if (!source.empty()) std::fwrite(source.data(), source.size(), 1, f);
    std::fclose(f);
  }
  ~RunFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

  // Every file but the source, by its whole path, taken away.
  std::map<std::string, Bytes> take_outputs() const {
    std::map<std::string, Bytes> found;
    DIR* dir = ::opendir(path_.c_str());
    while (dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == ".." || name == "in.zq") continue;
      found[file(name)] = read_file(file(name));
      ::unlink(file(name).c_str());
    }
    ::closedir(dir);
    return found;
  }

 private:
  std::string path_;
};

struct RunOutcome {
  int code;
  std::string printed;
  std::map<std::string, Bytes> files;
};

RunOutcome run(const RunFolder& folder, const std::vector<std::string>& options, OutputKind kind, OutputPlan* plan,
               LoopEnd end = LoopEnd::kLastFrame) {
  const std::string src = folder.file("in.zq"), dst = folder.file("out.wav");
  std::vector<const char*> argv = {"kelvor", src.c_str(), dst.c_str()};
  for (const std::string& o : options) argv.push_back(o.c_str());
  CaptureStdout cap;
  RunReport report;
  const int code = kelvor_run(static_cast<int>(argv.size()), argv.data(), &report, kind, plan, end);
  return RunOutcome{code, cap.text(), folder.take_outputs()};
}

// The plan carried out on the source as it lies on disk, each extent read
// where it says (a sparse source of 2 GiB never held whole).
Bytes carried_out(const WavPlan& plan, const std::string& source) {
  Bytes out(plan.head, plan.head + plan.head_bytes);
  FILE* f = std::fopen(source.c_str(), "rb");
  for (const SourceExtent& e : plan.extents) {
    Bytes piece(e.length);
    EXPECT_EQ(std::fseek(f, static_cast<long>(e.offset), SEEK_SET), 0);
    EXPECT_EQ(std::fread(piece.data(), 1, piece.size(), f), piece.size()) << "an extent outside the source";
    for (uint32_t r = 0; r < e.repeats; ++r) out.insert(out.end(), piece.begin(), piece.end());
  }
  std::fclose(f);
  out.insert(out.end(), plan.tail, plan.tail + plan.tail_bytes);
  return out;
}

// Both runs on the folder's source: the same messages and code, the same
// files, and the plan's bytes those of the written files.
void expect_plan_is_the_writer(const RunFolder& folder, const std::vector<std::string>& options, OutputKind kind,
                               const std::string& what, LoopEnd end = LoopEnd::kLastFrame) {
  const RunOutcome written = run(folder, options, kind, nullptr, end);
  OutputPlan plan;
  const RunOutcome planned = run(folder, options, kind, &plan, end);
  ASSERT_EQ(planned.printed, written.printed) << what;
  ASSERT_EQ(planned.code, written.code) << what;
  // The planning run makes the same files, and leaves them empty.
  ASSERT_EQ(planned.files.size(), written.files.size()) << what;
  for (const auto& [name, bytes] : planned.files) {
    ASSERT_TRUE(written.files.count(name)) << what << ": " << name;
    EXPECT_TRUE(bytes.empty()) << what << ": " << name;
  }
  std::map<std::string, bool> in_plan;
  for (size_t i = 0; i < plan.wavs.size(); ++i) {
    const PlannedWav& p = plan.wavs[i];
    in_plan[p.name] = true;
    ASSERT_TRUE(written.files.count(p.name)) << what << ": " << p.name;
    ASSERT_EQ(carried_out(p.wav, folder.file("in.zq")), written.files.at(p.name)) << what << ": " << p.name;
    EXPECT_EQ(p.wav.result != 0, i + 1 == plan.wavs.size() && written.code != 0) << what;
  }
  for (const auto& [name, bytes] : written.files) {
    if (!in_plan.count(name)) {
      EXPECT_TRUE(bytes.empty()) << what << ": " << name << " is in no plan";
    }
  }
  // A run that succeeds plans the sound once for players: a plain header,
  // the sample data once in whole frames, padded to an even length.
  if (written.code == 0 && !plan.wavs.empty()) {
    const Bytes once = carried_out(plan.sound_once, folder.file("in.zq"));
    EXPECT_EQ(plan.sound_once.full_format, 1u) << what;
    const uint32_t data = load_le32(once.data() + 40);
    EXPECT_EQ(data + (data & 1u), once.size() - 44u) << what;
    EXPECT_EQ(plan.sound_once.tail_bytes, data & 1u) << what;
    const uint32_t align = load_le16(once.data() + 32);
    if (align > 0) {
      EXPECT_EQ(data % align, 0u) << what;
    }
  }
}

// A random container: either chunk order, a cut anywhere, data that starts
// elsewhere than its chunk says or past the end, a loop start anywhere in
// or past the data, no loop or no track.
Bytes random_container(std::mt19937& rng) {
  auto pick = [&rng](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
  TrkFields f;
  f.mark = pick(0, 9) == 0 ? 0 : 1;
  f.channels = static_cast<uint16_t>(pick(0, 6));
  f.frame_bits = static_cast<uint16_t>(pick(0, 4) == 0 ? pick(0, 40) : 8 * pick(1, 4));
  f.sample_bits = pick(0, 3) == 0 ? static_cast<uint16_t>(pick(0, 40)) : f.frame_bits;
  f.rate = pick(0, 200000);
  f.units = pick(0, 400);
  const uint32_t offsets[] = {36, 36, 36, 40, 0, 36 + 4 * pick(0, 500), 0x7FFFFFF0u, 0xFFFFFFF0u};
  f.data_offset = offsets[pick(0, 7)];
  const uint32_t data_bytes = f.units * 4;
  const bool with_loop = pick(0, 4) != 0;
  const uint32_t loop_units = pick(0, 5) == 0 ? f.units + pick(1, 3) : pick(0, f.units);
  const uint32_t loop_mark = pick(0, 6) == 0 ? 0 : 1;
  const bool loop_first = pick(0, 3) == 0;
  ZqBuilder b;
  b.header(8 + 36 + data_bytes + (with_loop ? 24 : 0));
  if (with_loop && loop_first) b.slp(loop_mark, loop_units);
  b.trk(f).data(data_bytes, static_cast<uint8_t>(pick(0, 255)));
  if (with_loop && !loop_first) b.slp(loop_mark, loop_units);
  Bytes bytes = b.bytes();
  if (pick(0, 3) == 0) bytes.resize(pick(0, static_cast<uint32_t>(bytes.size())));  // cut anywhere
  return bytes;
}

std::vector<std::string> random_options(std::mt19937& rng) {
  auto pick = [&rng](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
  std::vector<std::string> options;
  const uint32_t counts[] = {1, 2, 3, 5, 2147483647u};
  options.push_back("-l" + std::to_string(counts[pick(0, 4)]));
  const uint32_t buffers[] = {1, 3, 4, 8, 64, 100, 1000, 8192};
  if (pick(0, 2) != 0) options.push_back("-b" + std::to_string(buffers[pick(0, 7)]));
  if (pick(0, 4) == 0) options.push_back("-x");
  return options;
}

// The options as a caller gives them to `kind`: those its row takes.
std::vector<std::string> taken_by(OutputKind kind, const std::vector<std::string>& options) {
  const OutputKindRow& row = output_kind_row(kind);
  std::vector<std::string> taken;
  for (const std::string& o : options) {
    if (o.rfind("-l", 0) == 0 && !row.loop_count) {
      taken.push_back("-l1");
    } else if (o == "-x" && !row.short_format) {
      continue;
    } else {
      taken.push_back(o);
    }
  }
  return taken;
}

LoopEnd end_for(OutputKind kind, LoopEnd end) { return output_kind_row(kind).loop_end ? end : LoopEnd::kLastFrame; }

TEST(Plan, CarriedOutItIsTheWritersOutputOnAnySource) {
  std::mt19937 rng(20261210);
  const OutputKind kinds[] = {OutputKind::kUnrolled, OutputKind::kLoopPointsKept, OutputKind::kIntroAndLoop,
                              OutputKind::kUnrolledMarked};
  for (int round = 0; round < 400; ++round) {
    const RunFolder folder(random_container(rng));
    const std::vector<std::string> options = random_options(rng);
    const LoopEnd end = round % 2 == 0 ? LoopEnd::kLastFrame : LoopEnd::kPastLast;
    for (OutputKind kind : kinds) {
      expect_plan_is_the_writer(folder, taken_by(kind, options), kind,
                                "round " + std::to_string(round) + ", kind " + std::to_string(static_cast<int>(kind)),
                                end_for(kind, end));
      if (HasFatalFailure()) return;
    }
  }
}

// Where the body's seeks meet the 32-bit positions, on sparse files of just
// over 2 GiB: 16 bytes of data from 2^31 - 8 with the loop from 2^31 + 4
// (-43 for the unrolled WAV and for the loop apart; the loop points kept
// need no seek), and data from 2^31 (-42 for all).
TEST(Plan, SeeksAtThePositionLimit) {
  const OutputKind kinds[] = {OutputKind::kUnrolled, OutputKind::kLoopPointsKept, OutputKind::kIntroAndLoop,
                              OutputKind::kUnrolledMarked};
  for (const auto& [offset, codes] : {std::pair{0x7FFFFFF8u - 8u, std::array{-43, 0, -43, -43}},
                                      std::pair{0x80000000u - 8u, std::array{-42, -42, -42, -42}}}) {
    const RunFolder folder(ZqBuilder().header(84).trk(TrkFields{1, 0, offset, 4, 44100}).data(16).slp(1, 3).bytes());
    ASSERT_EQ(::truncate(folder.file("in.zq").c_str(), 0x80000040), 0);
    for (int k = 0; k < 4; ++k) {
      const std::vector<std::string> options = taken_by(kinds[k], {"-l2"});
      expect_plan_is_the_writer(folder, options, kinds[k], "data at " + std::to_string(offset + 8));
      EXPECT_EQ(run(folder, options, kinds[k], nullptr).code, codes[k]) << k;
    }
  }
}

// A copy buffer that cannot be had: the header alone, and the writer's own
// line, as the command line's -b2000000000 under a memory limit shows.
TEST(Plan, WithoutACopyBufferOnlyTheHeader) {
  const Bytes source = small_container();
  TempStream src(source);
  TrackInfo t{};
  Settings s;
  {
    CaptureStdout quiet;
    ASSERT_EQ(analyze(src.get(), &t, &s), 0);
  }
  WavPlan unrolled{};
  plan_layout(&t, describe_unrolled(&t, &s), &s, source.size(), false, &unrolled);
  EXPECT_EQ(unrolled.head_bytes, 44u);
  EXPECT_TRUE(unrolled.extents.empty());
  EXPECT_EQ(unrolled.result, -41);
  EXPECT_STREQ(unrolled.error, "error-41 : memory allocate faild(write_wav_body)\n");
  KeptPlan kept{};
  {
    CaptureStdout quiet;
    ASSERT_EQ(plan_kept_loop(&t, false, LoopEnd::kLastFrame, &kept), 0);
  }
  WavPlan once{};
  plan_layout(&t, describe_kept(&t, &kept, &kept.pieces.at(0)), &s, source.size(), false, &once);
  EXPECT_EQ(once.extents.size() + once.tail_bytes, 0u);
  EXPECT_STREQ(once.error, "error-41 : memory allocate faild(write_kept_wav)\n");
}

}  // namespace
