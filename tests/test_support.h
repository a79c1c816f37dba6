// Helpers shared by the unit tests: a container builder, temporary files and
// a capture of standard output.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The eleven fields of a cTRK chunk, defaulting to the small stereo track.
struct TrkFields {
  uint32_t mark = 1, field2 = 0, data_offset = 36, units = 2, rate = 44100;
  uint16_t field6 = 0, channels = 2, frame_bits = 16, field9 = 0, sample_bits = 16, field11 = 0;
};

// Writes container bytes: tags and little-endian fields, byte by byte.
class ZqBuilder {
 public:
  // Room for the header and both chunks' fields from the start (GCC 12 also
  // warns of a false overflow when the first insert grows an empty vector).
  ZqBuilder() { bytes_.reserve(128); }
  ZqBuilder& tag(const char* t) {
    bytes_.insert(bytes_.end(), t, t + 4);
    return *this;
  }
  ZqBuilder& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  ZqBuilder& u16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
  }
  ZqBuilder& header(uint32_t total) { return tag("fZQ ").u32(total); }
  ZqBuilder& trk(const TrkFields& f = {}) {
    tag("cTRK").u32(f.mark).u32(f.field2).u32(f.data_offset).u32(f.units).u32(f.rate);
    return u16(f.field6).u16(f.channels).u16(f.frame_bits).u16(f.field9).u16(f.sample_bits).u16(f.field11);
  }
  // n sample bytes whose values count up from `first`, so every byte tells where it came from.
  ZqBuilder& data(size_t n, uint8_t first = 0) {
    for (size_t i = 0; i < n; ++i) bytes_.push_back(static_cast<uint8_t>(first + i));
    return *this;
  }
  ZqBuilder& slp(uint32_t mark = 1, uint32_t start_units = 1) {
    return tag("cSLP").u32(mark).u32(0).u32(start_units).u32(0).u32(0);
  }
  // Overwrites the little-endian 32-bit value at `at`.
  ZqBuilder& patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// The 76-byte container: header, cTRK at 8 with 8 data bytes at 44..51
// (values 44..51), cSLP at 52 with loop start 1 unit.
inline Bytes small_container() {
  return ZqBuilder().header(76).trk().data(8, 44).slp().bytes();
}

// A temporary file holding `bytes`, positioned at its start; closed on scope exit.
class TempStream {
 public:
  explicit TempStream(const Bytes& bytes = {}) : f_(std::tmpfile()) {
    if (f_ && !bytes.empty()) std::fwrite(bytes.data(), bytes.size(), 1, f_);
    if (f_) std::rewind(f_);
  }
  ~TempStream() {
    if (f_) std::fclose(f_);
  }
  TempStream(const TempStream&) = delete;
  TempStream& operator=(const TempStream&) = delete;
  FILE* get() const { return f_; }
  Bytes contents() const {
    std::fflush(f_);
    Bytes out;
    long at = std::ftell(f_);
    std::rewind(f_);
    int c;
    while ((c = std::fgetc(f_)) != EOF) out.push_back(static_cast<uint8_t>(c));
    std::fseek(f_, at, SEEK_SET);
    return out;
  }

 private:
  FILE* f_;
};

// Sends standard output to a temporary file while alive; text() returns what was printed.
class CaptureStdout {
 public:
  CaptureStdout() {
    std::fflush(stdout);
    saved_ = ::dup(::fileno(stdout));
    sink_ = std::tmpfile();
    ::dup2(::fileno(sink_), ::fileno(stdout));
  }
  ~CaptureStdout() {
    restore();
    std::fclose(sink_);
  }
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;
  std::string text() {
    restore();
    std::string out;
    std::rewind(sink_);
    int c;
    while ((c = std::fgetc(sink_)) != EOF) out.push_back(static_cast<char>(c));
    return out;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, ::fileno(stdout));
    ::close(saved_);
    saved_ = -1;
  }
  int saved_ = -1;
  FILE* sink_ = nullptr;
};

// Bytes [from, to) of `b`.
inline Bytes slice(const Bytes& b, size_t from, size_t to) { return Bytes(b.begin() + from, b.begin() + to); }
