// zqgen: writes a ".zq" container holding a stereo 16-bit 44,100 Hz tone with a
// loop point, for the bundled example and for benchmarks.
//
//   zqgen OUT                         the example: 0.5 s intro, then a 1 s loop
//   zqgen OUT DATA_BYTES LOOP_BYTES   DATA_BYTES of tone, loop start at LOOP_BYTES
//                                     (both rounded down to whole 4-byte frames)
//   zqgen --help                      this usage; no file is written
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/little_endian.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrameBytes = 4;  // 2 channels x 16 bits

bool put32(FILE* f, uint32_t v) {
  uint8_t b[4];
  store_le32(b, v);
  return std::fwrite(b, 4, 1, f) == 1;
}

bool put16(FILE* f, uint16_t v) {
  uint8_t b[2];
  store_le16(b, v);
  return std::fwrite(b, 2, 1, f) == 1;
}

bool put_tag(FILE* f, const char* tag) { return std::fwrite(tag, 4, 1, f) == 1; }

// The example's sound: a fading-in 330 Hz intro, then a loop of 440 Hz and
// 550 Hz halves. Every section holds whole cycles, so the loop joins cleanly.
double example_sample(uint32_t frame) {
  const double t = static_cast<double>(frame) / kRate;
  const double two_pi = 6.283185307179586;
  if (frame < kRate / 2) return std::sin(two_pi * 330.0 * t) * (t / 0.5);
  const double hz = ((frame - kRate / 2) % kRate) < kRate / 2 ? 440.0 : 550.0;
  return std::sin(two_pi * hz * t);
}

double sample(uint32_t frame, bool example) {
  if (example) return example_sample(frame);
  return std::sin(6.283185307179586 * 440.0 * (frame % kRate) / kRate);
}

// Frames are made a block at a time so that large containers write quickly.
bool write_frames(FILE* f, uint32_t frames, bool example) {
  std::vector<uint8_t> block(kRate * kFrameBytes);
  for (uint32_t first = 0; first < frames; first += kRate) {
    uint32_t n = frames - first < kRate ? frames - first : kRate;
    for (uint32_t i = 0; i < n; ++i) {
      double v = sample(first + i, example);
      store_le16(&block[i * 4], static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 12000.0))));
      store_le16(&block[i * 4 + 2], static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 9000.0))));
    }
    if (std::fwrite(block.data(), n * kFrameBytes, 1, f) != 1) return false;
  }
  return true;
}

bool write_container(FILE* f, uint32_t data_bytes, uint32_t loop_bytes, bool example) {
  const uint32_t total = 8 + 36 + data_bytes + 24;  // header + cTRK + data + cSLP
  bool ok = put_tag(f, "fZQ ") && put32(f, total);
  ok = ok && put_tag(f, "cTRK") && put32(f, 1) && put32(f, 0) && put32(f, 36) &&
       put32(f, data_bytes / 4) && put32(f, kRate) && put16(f, 0) && put16(f, 2) &&
       put16(f, 16) && put16(f, 0) && put16(f, 16) && put16(f, 0);
  ok = ok && write_frames(f, data_bytes / kFrameBytes, example);
  ok = ok && put_tag(f, "cSLP") && put32(f, 1) && put32(f, 0) && put32(f, loop_bytes / 4) &&
       put32(f, 0) && put32(f, 0);
  return ok;
}

constexpr const char* kUsage =
    "usage: zqgen OUT [DATA_BYTES LOOP_BYTES]\n"
    "  OUT alone: the bundled example, a 1.5 s stereo tone with a 0.5 s intro and a 1 s loop\n"
    "  DATA_BYTES LOOP_BYTES: that many bytes of tone, the loop starting LOOP_BYTES in\n"
    "  (both rounded down to whole 4-byte frames; DATA_BYTES below 2 GiB)\n";

}  // namespace

int main(int argc, char** argv) {
  // An option is never a file name: "--help" asks for this text, anything
  // else beginning with "-" is a mistake, and neither writes a file.
  const bool help = argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
  if (help || (argc != 2 && argc != 4) || argv[1][0] == '-') {
    std::printf("%s", kUsage);
    return help ? 0 : 2;
  }
  const bool example = argc == 2;
  uint32_t data_bytes = kRate * 3 / 2 * kFrameBytes;  // 1.5 s
  uint32_t loop_bytes = kRate / 2 * kFrameBytes;      // after the 0.5 s intro
  if (!example) {
    unsigned long long d = std::strtoull(argv[2], nullptr, 10);
    unsigned long long l = std::strtoull(argv[3], nullptr, 10);
    if (d > 0x7FFF0000ull || l > d) {
      std::printf("zqgen: DATA_BYTES must be below 2 GiB and LOOP_BYTES at most DATA_BYTES\n");
      return 2;
    }
    data_bytes = static_cast<uint32_t>(d) / kFrameBytes * kFrameBytes;
    loop_bytes = static_cast<uint32_t>(l) / kFrameBytes * kFrameBytes;
  }
  FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr) {
    std::printf("zqgen: can not create %s\n", argv[1]);
    return 1;
  }
  bool ok = write_container(f, data_bytes, loop_bytes, example);
  if (std::fclose(f) != 0) ok = false;
  if (!ok) {
    std::printf("zqgen: write error on %s\n", argv[1]);
    return 1;
  }
  return 0;
}
