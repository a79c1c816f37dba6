#include "container/analyze.h"

#include <cstring>

#include "base/error_lines.h"
#include "base/little_endian.h"
#include "base/pos32.h"
#include "base/stream_items.h"

namespace {

constexpr uint8_t kMagic[4] = {'f', 'Z', 'Q', ' '};
constexpr uint8_t kTrackTag[4] = {'c', 'T', 'R', 'K'};
constexpr uint8_t kLoopTag[4] = {'c', 'S', 'L', 'P'};

bool read_u32(FILE* f, uint32_t* v) {
  uint8_t b[4];
  if (!read_item(f, b, sizeof b)) return false;
  *v = load_le32(b);
  return true;
}

bool read_u16(FILE* f, uint16_t* v) {
  uint8_t b[2];
  if (!read_item(f, b, sizeof b)) return false;
  *v = load_le16(b);
  return true;
}

}  // namespace

bool has_zq_magic(const uint8_t* head) { return std::memcmp(head, kMagic, sizeof kMagic) == 0; }

uint32_t read_trk_chunk(FILE* src, uint32_t pos, TrackInfo* t) {
  uint32_t ignored32 = 0, units = 0, rate = 0;
  uint16_t ignored16 = 0;
  // Fields are stored as they arrive: a failed read keeps the earlier ones.
  if (!read_u32(src, &t->trk_mark) || !read_u32(src, &ignored32) ||
      !read_u32(src, &t->data_offset) || !read_u32(src, &units)) {
    return 0;
  }
  t->data_bytes = units * 4u;  // counted in 4-byte units whatever the format; wraps mod 2^32
  if (!read_u32(src, &rate)) return 0;
  t->sample_rate = rate & 0xFFFFu;  // only the first two bytes carry the rate
  if (!read_u16(src, &ignored16) || !read_u16(src, &t->channels) ||
      !read_u16(src, &t->frame_bits) || !read_u16(src, &ignored16) ||
      !read_u16(src, &t->sample_bits) || !read_u16(src, &ignored16)) {
    return 0;
  }

  // Skip the sample data. The walk must always move forward: a skip whose
  // target wraps below the current position, or a running offset that wraps,
  // would revisit this chunk or earlier bytes, so both count as a failed seek.
  uint32_t here = 0;
  if (!tell32(src, &here)) return 0;
  uint32_t target = here + t->data_bytes;
  uint64_t next = uint64_t{pos} + 32u /* fields after the tag */ + t->data_bytes;
  if (target < here || next > UINT32_MAX) return 0;
  if (!seek_to32(src, target)) return 0;
  return static_cast<uint32_t>(next);
}

uint32_t read_slp_chunk(FILE* src, uint32_t pos, TrackInfo* t) {
  uint32_t ignored = 0, units = 0;
  if (!read_u32(src, &t->loop_mark) || !read_u32(src, &ignored) || !read_u32(src, &units)) {
    return 0;
  }
  t->loop_start = units * 4u;  // wraps mod 2^32
  if (!read_u32(src, &ignored) || !read_u32(src, &ignored)) return 0;
  // No seek follows: the next tag is read right after field 5, while the
  // running offset counts field 1 on top (the end test sees it, the file
  // position does not). The sum wraps modulo 2^32.
  return pos + 20u /* five fields */ + t->loop_mark;
}

int analyze(FILE* src, TrackInfo* t, const Settings* /*settings*/) {
  uint8_t tag[4];
  if (!read_item(src, tag, sizeof tag)) return print_error(-22);
  if (!has_zq_magic(tag)) {
    return print_error(-23);
  }
  if (!read_u32(src, &t->total_size)) return print_error(-22);
  if (t->total_size <= 8u) return 0;

  uint32_t running = 8;  // bookkeeping only: compared with the total length, never sought to
  for (;;) {
    // The tag offsets recorded are the true file positions, which the body
    // copy seeks to; the running offset may run ahead of them after a cSLP
    // chunk with a nonzero mark.
    uint32_t tag_at = 0;
    if (!tell32(src, &tag_at) || !read_item(src, tag, sizeof tag)) return print_error(-22);
    uint32_t next = 0;
    if (std::memcmp(tag, kTrackTag, sizeof tag) == 0) {
      t->trk_offset = tag_at;
      next = read_trk_chunk(src, running + 4u, t);
    } else if (std::memcmp(tag, kLoopTag, sizeof tag) == 0) {
      t->slp_offset = tag_at;
      next = read_slp_chunk(src, running + 4u, t);
    } else {
      return print_error(-24);
    }
    if (next == 0) return print_error(-22);  // also a sum that wrapped to exactly 0
    running = next;
    if (running >= t->total_size) return 0;
  }
}
