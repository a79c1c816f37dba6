#include "web/core/peak_blocks.h"

#include <bit>
#include <cstring>
#include <limits>

namespace {

// Each sample format: the type its samples are compared in, how one is
// loaded from its bytes (the file's byte order, whatever the host's), and
// what a compared value means on the scale of -1 to 1. 8-bit samples are
// compared unsigned, as stored; the others as signed integers.
template <typename T>
T load_little(const uint8_t* p) {
  T v;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);  // a plain load, which vectorizes
  } else {
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (size_t i = 0; i < sizeof v; ++i) u = static_cast<U>(u | (static_cast<U>(p[i]) << (8 * i)));
    v = static_cast<T>(u);
  }
  return v;
}

struct U8 {
  using Value = uint8_t;
  static constexpr uint32_t kBytes = 1;
  static Value at(const uint8_t* p) { return *p; }
  static double scaled(Value v) { return (static_cast<int32_t>(v) - 128) / 128.0; }
};
struct S16 {
  using Value = int16_t;
  static constexpr uint32_t kBytes = 2;
  static Value at(const uint8_t* p) { return load_little<int16_t>(p); }
  static double scaled(Value v) { return v / 32768.0; }
};
struct S24 {
  using Value = int32_t;
  static constexpr uint32_t kBytes = 3;
  static Value at(const uint8_t* p) {
    const uint32_t raw = p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
    return static_cast<int32_t>(raw ^ 0x800000u) - 0x800000;  // bit 23 is the sign
  }
  static double scaled(Value v) { return v / 8388608.0; }
};
struct S32 {
  using Value = int32_t;
  static constexpr uint32_t kBytes = 4;
  static Value at(const uint8_t* p) { return load_little<int32_t>(p); }
  static double scaled(Value v) { return v / 2147483648.0; }
};

// A plain loop over the samples of each block, in the samples' own width,
// which the compiler turns into vector instructions.
template <typename Sample>
uint32_t blocks_of(const uint8_t* pcm, uint32_t frames, uint32_t channels, uint32_t block_frames,
                   float* low, float* high) {
  using Value = typename Sample::Value;
  const uint64_t block_samples = static_cast<uint64_t>(block_frames) * channels;
  const uint64_t samples = static_cast<uint64_t>(frames) * channels;
  uint32_t written = 0;
  for (uint64_t first = 0; first < samples; first += block_samples, ++written) {
    const uint8_t* p = pcm + first * Sample::kBytes;
    const uint64_t count = samples - first < block_samples ? samples - first : block_samples;
    Value lo = std::numeric_limits<Value>::max();
    Value hi = std::numeric_limits<Value>::min();
    for (uint64_t i = 0; i < count; ++i) {
      const Value v = Sample::at(p + i * Sample::kBytes);
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
    }
    low[written] = static_cast<float>(Sample::scaled(lo));
    high[written] = static_cast<float>(Sample::scaled(hi));
  }
  return written;
}

}  // namespace

uint32_t block_extremes(const uint8_t* pcm, uint32_t frames, uint32_t channels, uint32_t bits,
                        uint32_t block_frames, float* low, float* high) {
  if (channels == 0 || block_frames == 0) return 0;
  switch (bits) {
    case 8: return blocks_of<U8>(pcm, frames, channels, block_frames, low, high);
    case 16: return blocks_of<S16>(pcm, frames, channels, block_frames, low, high);
    case 24: return blocks_of<S24>(pcm, frames, channels, block_frames, low, high);
    case 32: return blocks_of<S32>(pcm, frames, channels, block_frames, low, high);
    default: return 0;
  }
}
