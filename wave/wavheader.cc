#include "wave/wavheader.h"

#include "base/error_lines.h"
#include "base/little_endian.h"
#include "base/stream_items.h"

namespace {

constexpr uint16_t kPcmFormat = 1;

bool put_tag(FILE* f, const char (&tag)[5]) { return write_item(f, tag, 4); }

bool put_le32(FILE* f, uint32_t v) {
  uint8_t b[4];
  store_le32(b, v);
  return write_item(f, b, sizeof b);
}

bool put_le16(FILE* f, uint16_t v) {
  uint8_t b[2];
  store_le16(b, v);
  return write_item(f, b, sizeof b);
}

}  // namespace

uint16_t header_block_align(const TrackInfo* t) {
  // The product is taken as a signed 32-bit value and divided with truncation
  // toward zero; only the low 16 bits of the quotient count.
  uint32_t product = uint32_t{t->frame_bits} * uint32_t{t->channels};
  int32_t quotient = static_cast<int32_t>(product) / 8;
  return static_cast<uint16_t>(static_cast<uint32_t>(quotient) & 0xFFFFu);
}

namespace {

// The refusals of derive_header, from the loop count alone.
int header_refusal(const TrackInfo* t, int32_t loop_count, uint64_t* data) {
  uint64_t repeats = loop_count > 1 ? static_cast<uint64_t>(loop_count) - 1u : 0u;
  // A repeated loop that starts past the end of the data would make the loop
  // section wrap to nearly 4 GiB: the header would lie.
  if (repeats > 0 && t->loop_start > t->data_bytes) return -32;
  *data = uint64_t{t->data_bytes} + (uint64_t{t->data_bytes} - t->loop_start) * repeats;
  if (*data + 36u /* "WAVE" + fmt chunk + data chunk header */ > UINT32_MAX) return -33;
  return 0;
}

}  // namespace

int check_header(const TrackInfo* t, int32_t loop_count) {
  uint64_t data = 0;
  switch (header_refusal(t, loop_count, &data)) {
    case -32:
      return print_error(-32);
    case -33:
      return print_error(-33);
    default:
      return 0;
  }
}

int derive_header(const TrackInfo* t, const Settings* s, WavHeaderFields* out) {
  uint64_t data = 0;
  int refused = header_refusal(t, s->loop_count, &data);
  if (refused != 0) return refused;

  bool short_fmt = s->omit_fmt_tail != 0;
  out->data_length = static_cast<uint32_t>(data);
  out->fmt_length = short_fmt ? 12u : 16u;
  out->riff_length = out->data_length + 4u /* "WAVE" */ + 8u /* fmt chunk header */ +
                     out->fmt_length + 8u /* data chunk header */;
  out->block_align = header_block_align(t);
  out->byte_rate = uint32_t{out->block_align} * t->sample_rate;  // wraps mod 2^32
  return 0;
}

bool put_header(FILE* dst, const TrackInfo* t, const WavHeaderFields& h) {
  const bool full_fmt = h.fmt_length == 16u;
  // One write per field, each checked before the next. A buffered stream may
  // accept the bytes and fail only when they reach the file, so the flush is
  // part of writing the header.
  return put_tag(dst, "RIFF") && put_le32(dst, h.riff_length) && put_tag(dst, "WAVE") &&
         put_tag(dst, "fmt ") && put_le32(dst, h.fmt_length) && put_le16(dst, kPcmFormat) &&
         put_le16(dst, t->channels) && put_le32(dst, t->sample_rate) && put_le32(dst, h.byte_rate) &&
         (!full_fmt || (put_le16(dst, h.block_align) && put_le16(dst, t->sample_bits))) &&
         put_tag(dst, "data") && put_le32(dst, h.data_length) && flush_stream(dst);
}

int wavheader(FILE* dst, const TrackInfo* t, const Settings* s) {
  int refused = check_header(t, s->loop_count);
  if (refused != 0) return refused;
  WavHeaderFields h{};
  derive_header(t, s, &h);
  if (!put_header(dst, t, h)) {
    return print_error(-31);
  }
  return 0;
}
