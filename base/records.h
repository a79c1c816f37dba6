// The two plain records that carry a conversion from stage to stage.
#pragma once

#include <cstdint>
#include <string>

inline constexpr int32_t kDefaultLoopCount = 2;
inline constexpr int32_t kDefaultBufferSize = 8192;

// What the command line asked for. `main` owns it for the whole run; the stages
// read it, and `convert` may lower `loop_count` when the source has no loop.
struct Settings {
  int32_t loop_count = kDefaultLoopCount;    // times the loop section is heard in all, > 0
  int32_t buffer_size = kDefaultBufferSize;  // copy buffer bytes = largest piece per read/write, > 0
  int32_t omit_fmt_tail = 0;                 // 1 under -x: the short format block
  std::string src_name;                      // empty until the first name argument
  std::string dst_name;                      // empty until the second name, or derived
};

// What the container reader found. `convert` zero-fills it; every field that
// the container does not supply stays 0.
struct TrackInfo {
  uint32_t total_size;   // declared total length of the container
  uint32_t trk_offset;   // file offset of the "cTRK" tag
  uint32_t trk_mark;     // nonzero: there is a track to convert
  uint32_t data_offset;  // distance from the "cTRK" tag to the first sample byte
  uint32_t data_bytes;   // sample data length in bytes (stored in 4-byte units, mod 2^32)
  uint32_t sample_rate;  // low 16 bits of the stored rate
  uint16_t channels;
  uint16_t frame_bits;   // bits per sample as used for the block size
  uint16_t sample_bits;  // bits per sample as written to the header
  uint32_t slp_offset;   // file offset of the "cSLP" tag (kept, not used)
  uint32_t loop_mark;    // nonzero: the container holds loop information
  uint32_t loop_start;   // loop start in bytes from the first sample byte (mod 2^32)
};
