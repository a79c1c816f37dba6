// Fuzz target: a whole conversion on arbitrary bytes as the source container.
//
// Input: 4 bytes of settings (loop count, buffer size, -x), then the container.
// Checked on every input: the result is 0 or a documented failure; exactly one
// error line for a failure and none for a success; on success with a track,
// the destination is the header announcing the unrolled length followed by
// the data and its loop sections, copied here straight from the input bytes;
// a run refused before it writes (a malformed container, a header that cannot
// be written) leaves the destination that was there as it was.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/convert.h"
#include "container/analyze.h"
#include "base/little_endian.h"

namespace {

// Memory-backed files reused from input to input: the source, the
// destination and a sink that standard output is sent to.
struct Files {
  int src = memfd_create("src", 0);
  int dst = memfd_create("dst", 0);
  int out = memfd_create("out", 0);
  Files() {
    if (src < 0 || dst < 0 || out < 0) std::abort();
    std::fflush(stdout);
    dup2(out, STDOUT_FILENO);
  }
};

Files& files() {
  static Files f;
  return f;
}

FILE* open_memfd(void*, const char* name, const char* mode) {
  int fd = std::strcmp(name, "src") == 0 ? files().src : files().dst;
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
    case 0: case -14: case -22: case -23: case -24: case -31: case -32: case -33:
    case -41: case -42: case -43: case -51: case -52: case -53:
      return true;
    default:
      return false;
  }
}

// Checks the destination of a successful run against the input bytes.
void check_output(const uint8_t* src, size_t size, const Settings& s, const TrackInfo& t, int r) {
  std::vector<uint8_t> out = contents(files().dst);
  if (t.trk_mark == 0) {
    if (!out.empty()) fail("a container without a track wrote something", r);
    return;
  }
  const size_t header = s.omit_fmt_tail ? 40 : 44;
  if (out.size() < header) fail("short header", r);
  uint32_t announced = load_le32(&out[header - 4]);
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Files& f = files();
  Settings s;
  if (size >= 4) {
    s.loop_count = 1 + (data[0] % 8);
    s.buffer_size = 1 + static_cast<int32_t>((data[1] | (data[2] << 8)) % 4096);
    s.omit_fmt_tail = data[3] & 1;
    data += 4;
    size -= 4;
  }
  s.src_name = "src";
  s.dst_name = "dst";
  reset(f.src, data, size);
  static constexpr uint8_t kEarlier[] = {'o', 'l', 'd'};  // a file the destination's name held before
  reset(f.dst, kEarlier, sizeof kEarlier);
  std::fflush(stdout);
  reset(f.out, nullptr, 0);

  const FileOps ops{open_memfd, close_file, nullptr, kStreamBufferBytes};
  int r = convert_with(&s, ops);
  std::fflush(stdout);
  std::vector<uint8_t> printed = contents(f.out);
  std::string text(printed.begin(), printed.end());

  if (!documented(r)) fail("undocumented result", r);
  int errors = error_lines(text);
  if (errors != (r == 0 ? 0 : 1)) fail("wrong number of error lines", r);
  if (r != 0 && text.find("error-" + std::to_string(-r) + " : ") == std::string::npos) {
    fail("error line does not carry the result's number", r);
  }
  const bool refused_before_writing = r == -22 || r == -23 || r == -24 || r == -32 || r == -33;
  if (refused_before_writing && contents(f.dst) != std::vector<uint8_t>(std::begin(kEarlier), std::end(kEarlier))) {
    fail("a refused run touched the destination", r);
  }
  if (r == 0) {
    // The reader again, on its own stream, tells where the data lies.
    TrackInfo t{};
    FILE* again = open_memfd(nullptr, "src", "rb");
    if (!again) std::abort();
    int walk = analyze(again, &t, &s);
    std::fclose(again);
    if (walk != 0) fail("the walk did not repeat", walk);
    check_output(data, size, s, t, r);
  }
  return 0;
}
