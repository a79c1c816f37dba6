// Fuzz target: a whole conversion on arbitrary bytes as the source container.
//
// Input: 4 bytes of settings (loop count, buffer size, -x and the output
// kind: the loop unrolled, its points kept, or the intro and the loop apart),
// then the container. Checked on every input: the result is 0 or a documented
// failure; exactly one error line for a failure and none for a success; on
// success with a track, each WAV is a header announcing its length followed
// by the bytes it should hold, copied here straight from the input bytes
// (the data and its loop sections; the data once and its smpl chunk; the
// intro and the loop); a run refused before it writes (a malformed
// container, a header or a plan that cannot be written) leaves every file
// that was there as it was. Then the same run planned rather than written
// prints the same and returns the same, and its plan carried out on the
// input gives every byte of every file the writing run left. The bytes are
// also read as a loop list, which must hold its own invariants.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/convert.h"
#include "app/loop_list_read.h"
#include "container/analyze.h"
#include "base/little_endian.h"
#include "wave/kept_loop.h"

namespace {

// Memory-backed files reused from input to input: the source, the
// destination and the two WAVs of a loop kept apart, and a sink that
// standard output is sent to.
struct Files {
  int src = memfd_create("src", 0);
  int dst = memfd_create("dst", 0);
  int intro = memfd_create("intro", 0);
  int loop = memfd_create("loop", 0);
  int out = memfd_create("out", 0);
  Files() {
    if (src < 0 || dst < 0 || intro < 0 || loop < 0 || out < 0) std::abort();
    std::fflush(stdout);
    dup2(out, STDOUT_FILENO);
  }
};

Files& files() {
  static Files f;
  return f;
}

FILE* open_memfd(void*, const char* name, const char* mode) {
  const Files& all = files();
  int fd = std::strcmp(name, "src") == 0 ? all.src
           : std::strcmp(name, "dst - intro.wav") == 0 ? all.intro
           : std::strcmp(name, "dst - loop.wav") == 0 ? all.loop : all.dst;
  if (mode[0] == 'w' && ftruncate(fd, 0) != 0) std::abort();  // as fopen's "wb" empties a file
  FILE* f = fdopen(dup(fd), mode);
  if (f) std::rewind(f);
  return f;
}

int close_file(void*, FILE* f) { return std::fclose(f); }

std::vector<uint8_t> contents(int fd) {
  std::vector<uint8_t> b(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
  if (!b.empty() && pread(fd, b.data(), b.size(), 0) != static_cast<ssize_t>(b.size())) std::abort();
  return b;
}

void reset(int fd, const uint8_t* data, size_t size) {
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) std::abort();
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
}

[[noreturn]] void fail(const char* what, int result) {
  std::fprintf(stderr, "invariant broken: %s (result %d)\n", what, result);
  std::abort();
}

bool documented(int r) {
  switch (r) {
    case 0: case -14: case -22: case -23: case -24: case -31: case -32: case -33: case -34:
    case -41: case -42: case -43: case -51: case -52: case -53:
      return true;
    default:
      return false;
  }
}

// Checks the destination of a successful run against the input bytes.
// The end frame a smpl chunk gives for `frames` under `end`.
uint32_t end_frame(const LoopFrames& frames, LoopEnd end) {
  return end == LoopEnd::kPastLast ? frames.loop_end : frames.loop_end - 1;
}

// Checks that a smpl chunk at `at` of `out` marks the loop `frames`.
void check_smpl(const std::vector<uint8_t>& out, size_t at, const LoopFrames& frames, LoopEnd end, int r) {
  if (out.size() != at + kSmplChunkBytes || std::memcmp(&out[at], "smpl", 4) != 0 ||
      load_le32(&out[at + 52]) != frames.loop_start || load_le32(&out[at + 56]) != end_frame(frames, end)) {
    fail("the smpl chunk's loop is not the track's", r);
  }
}

// With `marked`, the WAV goes on after its data with a pad byte to an even
// length and the smpl chunk of the loop's first pass, which the RIFF length
// counts, when the track has a loop.
void check_output(const uint8_t* src, size_t size, const Settings& s, const TrackInfo& t, const LoopEnd* marked, int r) {
  std::vector<uint8_t> out = contents(files().dst);
  if (t.trk_mark == 0) {
    if (!out.empty()) fail("a container without a track wrote something", r);
    return;
  }
  const size_t header = s.omit_fmt_tail ? 40 : 44;
  if (out.size() < header) fail("short header", r);
  uint32_t announced = load_le32(&out[header - 4]);
  LoopFrames frames{};
  loop_frames(&t, &frames);
  if (marked != nullptr && frames.has_loop) {
    const size_t after = header + announced + (announced & 1u);
    check_smpl(out, after, frames, *marked, r);
    out.resize(header + announced);  // the rest is the command line's WAV but the RIFF length
    store_le32(&out[4], static_cast<uint32_t>(out.size() - 8));
  }
  if (out.size() != header + announced) fail("length differs from the announced data length", r);
  if (load_le32(&out[4]) != out.size() - 8) fail("RIFF length is not the file length - 8", r);
  uint64_t start = static_cast<uint32_t>(t.trk_offset + t.data_offset);  // the data position wraps mod 2^32
  // Empty data is copied from anywhere, even from past the end.
  if (t.data_bytes > 0 && start + t.data_bytes > size) fail("success although the data lies outside the file", r);
  const uint8_t* data = t.data_bytes > 0 ? src + start : src;
  std::vector<uint8_t> expected(data, data + t.data_bytes);
  for (int32_t i = 1; i < s.loop_count; ++i) expected.insert(expected.end(), data + t.loop_start, data + t.data_bytes);
  if (announced != expected.size() ||
      (!expected.empty() && std::memcmp(out.data() + header, expected.data(), expected.size()) != 0)) {
    fail("sample bytes differ from the unrolled data", r);
  }
}

// Checks one WAV of a kept loop: a 44-byte header whose bits per sample
// fill the frame's slots, `expected` as its data, a pad to an even length,
// then, with `smpl`, the loop in frames.
void check_kept_wav(const TrackInfo& t, const std::vector<uint8_t>& out, const std::vector<uint8_t>& expected,
                    const LoopFrames* smpl, LoopEnd end, int r) {
  if (out.size() < 44 || load_le32(&out[16]) != 16u) fail("a kept loop's WAV without its full header", r);
  if (load_le32(&out[4]) != out.size() - 8) fail("a kept loop's RIFF length is not the file length - 8", r);
  const uint32_t align = load_le16(&out[32]);
  const bool slots = t.channels != 0 && align != 0 && align % t.channels == 0;
  if (load_le16(&out[34]) != (slots ? align / t.channels * 8 : t.sample_bits)) fail("a kept loop's bits per sample", r);
  if (load_le32(&out[40]) != expected.size() || out.size() < 44 + expected.size() ||
      !std::equal(expected.begin(), expected.end(), out.begin() + 44)) {
    fail("a kept loop's data differs from the source's", r);
  }
  const size_t after = 44 + expected.size() + (expected.size() & 1);
  if (expected.size() & 1 && (out.size() <= 44 + expected.size() || out[44 + expected.size()] != 0)) {
    fail("an odd data chunk without its pad byte", r);
  }
  if (smpl) return check_smpl(out, after, *smpl, end, r);
  if (out.size() != after) fail("a kept loop's WAV has the wrong chunks", r);
}

// Checks the WAVs of a successful run that kept the loop: whole frames only.
void check_kept(const uint8_t* src, size_t size, bool apart, LoopEnd end, const TrackInfo& t, int r) {
  const std::vector<uint8_t> dst = contents(files().dst), intro = contents(files().intro), loop = contents(files().loop);
  if (t.trk_mark == 0) {
    if (!dst.empty()) fail("a container without a track wrote something", r);
    return;
  }
  LoopFrames frames{};
  loop_frames(&t, &frames);
  const size_t whole = frames.block_align == 0 ? t.data_bytes : size_t{t.data_bytes} / frames.block_align * frames.block_align;
  // Only the whole frames are read: a source cut inside the partial frame after them converts.
  uint64_t start = static_cast<uint32_t>(t.trk_offset + t.data_offset);
  if (whole > 0 && start + whole > size) fail("success although the data lies outside the file", r);
  const uint8_t* data = whole > 0 ? src + start : src;
  const std::vector<uint8_t> all(data, data + whole);
  if (!frames.has_loop) return check_kept_wav(t, dst, all, nullptr, end, r);
  if (!apart) return check_kept_wav(t, dst, all, &frames, end, r);
  const size_t at = size_t{frames.loop_start} * frames.block_align;
  if (at > 0) check_kept_wav(t, intro, std::vector<uint8_t>(all.begin(), all.begin() + at), nullptr, end, r);
  check_kept_wav(t, loop, std::vector<uint8_t>(all.begin() + at, all.end()), nullptr, end, r);
}

// The bytes of a plan carried out on the source `source` of `source_bytes`
// bytes, into `out` (which holds `out_size` bytes): how many it holds.
uint64_t carry_out(const WavPlan* plan, const uint8_t* source, uint64_t source_bytes, uint8_t* out,
                   uint64_t out_size) {
  uint64_t n = 0;
  auto put = [&](const uint8_t* bytes, uint64_t length) {
    if (n + length <= out_size) std::memcpy(out + n, bytes, length);
    n += length;
  };
  put(plan->head, plan->head_bytes);
  for (const SourceExtent& e : plan->extents) {
    if (uint64_t{e.offset} + e.length > source_bytes) fail("an extent outside the source", 0);
    for (uint32_t r = 0; r < e.repeats; ++r) put(source + e.offset, e.length);
  }
  put(plan->tail, plan->tail_bytes);
  return n;
}

// A run of the output `kind` (0 the loop unrolled, 1 its points kept, 2
// the intro and the loop apart, 3 the loop unrolled and marked).
int run_kind(Settings* s, const FileOps& ops, TrackInfo* track, int kind, LoopEnd end, OutputPlan* plan) {
  if (kind == 0 || kind == 3) return convert_with(s, ops, track, plan, kind == 3 ? &end : nullptr);
  return convert_kept(s, ops, track, kind == 2, end, plan);
}

// The run again, planned: the same text and result, and each planned WAV
// carried out on the input is the file the writing run left under its name.
void check_plan(const uint8_t* src, size_t size, Settings s, int kind, LoopEnd end, const std::string& text, int r) {
  Files& f = files();
  const std::vector<uint8_t> written[] = {contents(f.dst), contents(f.intro), contents(f.loop)};
  std::fflush(stdout);
  reset(f.out, nullptr, 0);
  const FileOps ops{open_memfd, close_file, nullptr, kStreamBufferBytes};
  TrackInfo track{};
  OutputPlan plan;
  const int planned = run_kind(&s, ops, &track, kind, end, &plan);
  std::fflush(stdout);
  const std::vector<uint8_t> printed = contents(f.out);
  if (planned != r) fail("the planned run's result differs", planned);
  if (std::string(printed.begin(), printed.end()) != text) fail("the planned run printed otherwise", r);
  for (const PlannedWav& planned : plan.wavs) {
    const std::string& name = planned.name;
    const std::vector<uint8_t>& file = written[name == "dst - intro.wav" ? 1 : name == "dst - loop.wav" ? 2 : 0];
    const uint64_t n = carry_out(&planned.wav, src, size, nullptr, 0);
    if (n != file.size()) fail("a planned WAV's length differs from the written one", r);
    std::vector<uint8_t> made(file.size());
    carry_out(&planned.wav, src, size, made.data(), made.size());
    if (made != file) fail("a planned WAV's bytes differ from the written ones", r);
  }
}

int error_lines(const std::string& text) {
  int n = 0;
  for (size_t at = 0; at < text.size();) {
    if (text.compare(at, 6, "error-") == 0) ++n;
    size_t nl = text.find('\n', at);
    at = nl == std::string::npos ? text.size() : nl + 1;
  }
  return n;
}

}  // namespace

// The same bytes read as a loop list, CSV and JSON (app/loop_list_read.h):
// never a crash, and every line it gives is numbered within the text, in
// order, with a loop only where it has no problem.
void check_loop_list(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int64_t lines = 1;
  for (const char c : text) lines += c == '\n' || c == '\r';  // a bound: CR LF counts twice
  for (const bool json : {false, true}) {
    const LoopListRead read = read_loop_list(text, json);
    int before = 0;
    for (const ListedLoop& l : read.lines) {
      if (l.line < 1 || l.line > lines || l.line < before) fail("a loop list line numbered outside the text", l.line);
      if (l.has_loop && !l.problem.empty()) fail("a loop list line with a loop and a problem", l.line);
      before = l.line;
    }
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  check_loop_list(data, size);
  Files& f = files();
  Settings s;
  int kind = 0;  // as run_kind has it
  LoopEnd end = LoopEnd::kLastFrame;
  if (size >= 4) {
    s.loop_count = 1 + (data[0] % 8);
    s.buffer_size = 1 + static_cast<int32_t>((data[1] | (data[2] << 8)) % 4096);
    s.omit_fmt_tail = data[3] & 1;
    kind = (data[3] >> 1) & 3;
    end = (data[3] & 8) != 0 ? LoopEnd::kPastLast : LoopEnd::kLastFrame;
    data += 4;
    size -= 4;
  }
  s.src_name = "src";
  s.dst_name = "dst";
  reset(f.src, data, size);
  static constexpr uint8_t kEarlier[] = {'o', 'l', 'd'};  // a file the destination's name held before
  for (int fd : {f.dst, f.intro, f.loop}) reset(fd, kEarlier, sizeof kEarlier);
  std::fflush(stdout);
  reset(f.out, nullptr, 0);

  const FileOps ops{open_memfd, close_file, nullptr, kStreamBufferBytes};
  TrackInfo track{};
  const Settings asked = s;  // the run may lower the loop count
  int r = run_kind(&s, ops, &track, kind, end, nullptr);
  std::fflush(stdout);
  std::vector<uint8_t> printed = contents(f.out);
  std::string text(printed.begin(), printed.end());

  if (!documented(r)) fail("undocumented result", r);
  int errors = error_lines(text);
  if (errors != (r == 0 ? 0 : 1)) fail("wrong number of error lines", r);
  if (r != 0 && text.find("error-" + std::to_string(-r) + " : ") == std::string::npos) {
    fail("error line does not carry the result's number", r);
  }
  const bool refused_before_writing = r == -22 || r == -23 || r == -24 || r == -32 || r == -33 || r == -34;
  const std::vector<uint8_t> earlier(std::begin(kEarlier), std::end(kEarlier));
  if (refused_before_writing && (contents(f.dst) != earlier || contents(f.intro) != earlier || contents(f.loop) != earlier)) {
    fail("a refused run touched a destination", r);
  }
  if ((kind == 1 || kind == 2) && r == 0) {
    check_kept(data, size, kind == 2, end, track, r);
  } else if (r == 0) {
    // The reader again, on its own stream, tells where the data lies.
    TrackInfo t{};
    FILE* again = open_memfd(nullptr, "src", "rb");
    if (!again) std::abort();
    int walk = analyze(again, &t, &s);
    std::fclose(again);
    if (walk != 0) fail("the walk did not repeat", walk);
    check_output(data, size, s, t, kind == 3 ? &end : nullptr, r);
  }
  check_plan(data, size, asked, kind, end, text, r);
  return 0;
}
