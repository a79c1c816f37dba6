// Failure injection: the conversion runs on streams whose Nth open, read,
// write, seek or close fails, for N = 1, 2, ... until the run no longer
// reaches an Nth call. Every injected failure must end in exactly one error
// line carrying the run's negative result, never in success, and the source
// must stay as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/convert.h"
#include "app/kelvor_main.h"
#include "test_support.h"

namespace {

enum class Call { kOpen, kRead, kWrite, kSeek, kClose };

struct Injector {
  Call kind;
  int fail_at;
  int calls = 0;
  bool armed = true;
  bool fired = false;

  bool fails(Call c) {
    if (!armed || c != kind || ++calls != fail_at) return false;
    fired = true;
    return true;
  }
};

// A stream over a file descriptor whose calls go through the injector.
struct Cookie {
  int fd;
  Injector* inj;
};

ssize_t cookie_read(void* c, char* buf, size_t n) {
  auto* k = static_cast<Cookie*>(c);
  if (k->inj->fails(Call::kRead)) {
    errno = EIO;
    return -1;
  }
  return ::read(k->fd, buf, n);
}

ssize_t cookie_write(void* c, const char* buf, size_t n) {
  auto* k = static_cast<Cookie*>(c);
  if (k->inj->fails(Call::kWrite)) {
    errno = ENOSPC;
    return -1;
  }
  return ::write(k->fd, buf, n);
}

int cookie_seek(void* c, off64_t* pos, int whence) {
  auto* k = static_cast<Cookie*>(c);
  if (k->inj->fails(Call::kSeek)) {
    errno = EIO;
    return -1;
  }
  off64_t at = ::lseek64(k->fd, *pos, whence);
  if (at < 0) return -1;
  *pos = at;
  return 0;
}

int cookie_close(void* c) {
  auto* k = static_cast<Cookie*>(c);
  bool fail = k->inj->fails(Call::kClose);
  int r = ::close(k->fd);
  delete k;
  return fail ? -1 : r;
}

// `buffer` is the stream's own buffer of 16 bytes, kept by the caller until the stream is closed.
FILE* open_injected(Injector* inj, const char* name, const char* mode, char* buffer) {
  if (inj->fails(Call::kOpen)) return nullptr;
  bool reading = mode[0] == 'r';
  int fd = reading ? ::open(name, O_RDONLY) : ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return nullptr;
  cookie_io_functions_t io{cookie_read, cookie_write, cookie_seek, cookie_close};
  FILE* f = ::fopencookie(new Cookie{fd, inj}, mode, io);
  // A small stream buffer makes the copy take many calls. (Given no buffer,
  // glibc ignores the size.)
  if (f) std::setvbuf(f, buffer, _IOFBF, 16);
  return f;
}

std::string error_lines(const std::string& out) {
  std::string lines;
  size_t at = 0;
  while ((at = out.find("error-", at)) != std::string::npos) {
    size_t end = out.find('\n', at);
    lines += out.substr(at, end - at + 1);
    at = end;
  }
  return lines;
}

Bytes read_all(const std::string& name) {
  Bytes b;
  FILE* f = std::fopen(name.c_str(), "rb");
  for (int c; f && (c = std::fgetc(f)) != EOF;) b.push_back(static_cast<uint8_t>(c));
  if (f) std::fclose(f);
  return b;
}

// Tells the source's stream apart by the order of opening: it is opened first.
struct SourceFirst {
  Injector inj;
  int opened = 0;
  FILE* src = nullptr;
  char buffers[4][16] = {};  // one each for the source and the three WAVs a run may write
  static FILE* open(void* ctx, const char* name, const char* mode) {
    auto* s = static_cast<SourceFirst*>(ctx);
    FILE* f = open_injected(&s->inj, name, mode, s->buffers[s->opened % 4]);
    if (s->opened++ == 0) s->src = f;
    return f;
  }
  static int close(void* ctx, FILE* f) {
    auto* s = static_cast<SourceFirst*>(ctx);
    if (f != s->src) return std::fclose(f);
    s->inj.armed = false;  // closing the source is not examined
    int r = std::fclose(f);
    s->inj.armed = true;
    return r;
  }
};

class FaultInjection : public ::testing::TestWithParam<Call> {};

// A temporary folder holding in.zq: 400 data bytes whose loop section is the
// last 280. Removed with everything in it.
class Workspace {
 public:
  Workspace() {
    if (::mkdtemp(dir_) == nullptr) return;
    ZqBuilder b;
    b.header(8 + 36 + 400 + 24).trk(TrkFields{1, 0, 36, 100}).data(400).slp(1, 30);
    FILE* f = std::fopen(src().c_str(), "wb");
    std::fwrite(b.bytes().data(), b.bytes().size(), 1, f);
    std::fclose(f);
  }
  ~Workspace() { std::system(("rm -rf '" + std::string(dir_) + "'").c_str()); }
  std::string src() const { return std::string(dir_) + "/in.zq"; }
  std::string dst() const { return std::string(dir_) + "/out.wav"; }

  // Every output file's bytes, one after the other, each preceded by its name.
  Bytes outputs() const {
    Bytes all;
    for (const char* name : {"out.wav", "out - intro.wav", "out - loop.wav"}) {
      const Bytes b = read_all(std::string(dir_) + "/" + name);
      all.insert(all.end(), name, name + std::strlen(name) + 1);
      all.insert(all.end(), b.begin(), b.end());
    }
    return all;
  }

  // Converts to `output` with calls of `kind` failing at the `fail_at`th
  // (never for 0); `seen` receives the injector, with its count of such calls.
  int run(Call kind, int fail_at, int32_t loop_count, int32_t buffer, Injector* seen, std::string* out,
          OutputKind output = OutputKind::kUnrolled) {
    for (const char* name : {"out.wav", "out - intro.wav", "out - loop.wav"}) {
      std::remove((std::string(dir_) + "/" + name).c_str());
    }
    SourceFirst fs{Injector{kind, fail_at}};
    Settings s;
    s.src_name = src();
    s.dst_name = dst();
    s.loop_count = loop_count;
    s.buffer_size = buffer;
    const FileOps ops{SourceFirst::open, SourceFirst::close, &fs, 0};
    const LoopEnd end = LoopEnd::kLastFrame;
    TrackInfo track{};
    CaptureStdout cap;
    int result = 0;
    if (output == OutputKind::kUnrolled) {
      result = convert_with(&s, ops);
    } else if (output == OutputKind::kUnrolledMarked) {
      result = convert_with(&s, ops, &track, nullptr, &end);
    } else {
      result = convert_kept(&s, ops, &track, output == OutputKind::kIntroAndLoop, end);
    }
    *out = cap.text();
    *seen = fs.inj;
    return result;
  }

 private:
  char dir_[32] = "/tmp/kelvor-fault-XXXXXX";
};

TEST_P(FaultInjection, EveryFailureIsReportedOnceAndNeverAsSuccess) {
  Workspace w;
  const Bytes original = read_all(w.src());
  // Every kind, each carried out by the same code. A 48-byte buffer reads
  // the loop section from the file for each repetition; a 512-byte one
  // holds it and repeats it from memory.
  for (OutputKind output : {OutputKind::kUnrolled, OutputKind::kUnrolledMarked, OutputKind::kLoopPointsKept,
                            OutputKind::kIntroAndLoop}) {
    for (int32_t buffer : {48, 512}) {
      const std::string what = "kind " + std::to_string(static_cast<int>(output)) + ", buffer " + std::to_string(buffer);
      std::string out;
      Injector seen{GetParam(), 0};
      ASSERT_EQ(w.run(GetParam(), 0, 3, buffer, &seen, &out, output), 0) << out;
      const Bytes reference = w.outputs();
      if (output == OutputKind::kUnrolled) {
        ASSERT_EQ(read_all(w.dst()).size(), 44u + 400u + 2u * 280u);
      }

      int injected = 0, absorbed = 0;
      for (int n = 1;; ++n) {
        int result = w.run(GetParam(), n, 3, buffer, &seen, &out, output);
        ASSERT_EQ(read_all(w.src()), original) << what << ", call " << n;
        if (!seen.fired) {
          EXPECT_EQ(result, 0) << out;
          EXPECT_EQ(w.outputs(), reference) << what;
          break;
        }
        ++injected;
        if (result == 0) {
          // The stream library may absorb a failed call that it made on its
          // own account (a read-ahead while seeking, retried the plain way):
          // success is then right only if every byte arrived.
          ++absorbed;
          const Bytes got = w.outputs();
          size_t at = 0;
          while (at < got.size() && at < reference.size() && got[at] == reference[at]) ++at;
          EXPECT_EQ(got, reference) << what << ", call " << n << " failed, and the run claims success; sizes "
                                    << got.size() << " " << reference.size() << ", first difference at " << at;
          EXPECT_EQ(error_lines(out), "") << what << ", call " << n;
          continue;
        }
        std::string lines = error_lines(out);
        EXPECT_EQ(lines.rfind("error-" + std::to_string(-result) + " : ", 0), 0u) << what << ", call " << n << ": " << out;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << what << ", call " << n << ": " << out;
        ASSERT_LT(n, 10000) << "the run never completes";
      }
      EXPECT_GT(injected - absorbed, 0) << what;
    }
  }
}

TEST(CallCount, ALoopSectionThatFitsTheBufferCostsNoCallsPerRepetition) {
  // Seeks and reads of a conversion, counted: a loop heard 3,000 times costs
  // what one heard 3 times costs once the section fits the copy buffer.
  Workspace w;
  auto calls = [&](Call kind, int32_t loop_count, int32_t buffer) {
    Injector seen{kind, 0};
    std::string out;
    EXPECT_EQ(w.run(kind, -1, loop_count, buffer, &seen, &out), 0) << out;
    return seen.calls;
  };
  for (Call kind : {Call::kSeek, Call::kRead}) {
    EXPECT_EQ(calls(kind, 3000, 512), calls(kind, 3, 512));
    EXPECT_GT(calls(kind, 3000, 48), calls(kind, 3, 48));  // the section read from the file each time
  }
}

std::string call_name(const ::testing::TestParamInfo<Call>& info) {
  static const char* const kNames[] = {"Open", "Read", "Write", "Seek", "Close"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Calls, FaultInjection,
                         ::testing::Values(Call::kOpen, Call::kRead, Call::kWrite, Call::kSeek, Call::kClose),
                         call_name);

}  // namespace
