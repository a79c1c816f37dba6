#include "wave/wavheader.h"

#include <cstring>

#include "base/error_lines.h"
#include "base/little_endian.h"
#include "base/stream_items.h"

namespace {

constexpr uint16_t kPcmFormat = 1;

// The widths of the header's fields, in their order; the short format block
// has no block align and bits per sample (the 11th and 12th).
constexpr uint32_t kFieldWidths[] = {4, 4, 4, 4, 4, 2, 2, 4, 4, 2, 2, 4, 4};
constexpr int kBlockAlignField = 9;
constexpr int kSampleBitsField = 10;

void put_tag_at(uint8_t* at, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(tag[i]);
}

}  // namespace

uint32_t encode_header(const TrackInfo* t, const WavHeaderFields& h, uint8_t out[kHeaderBytes]) {
  const bool full_fmt = h.fmt_length == 16u;
  uint8_t* at = out;
  put_tag_at(at, "RIFF");
  store_le32(at + 4, h.riff_length);
  put_tag_at(at + 8, "WAVE");
  put_tag_at(at + 12, "fmt ");
  store_le32(at + 16, h.fmt_length);
  store_le16(at + 20, kPcmFormat);
  store_le16(at + 22, t->channels);
  store_le32(at + 24, t->sample_rate);
  store_le32(at + 28, h.byte_rate);
  at += 32;
  if (full_fmt) {
    store_le16(at, h.block_align);
    store_le16(at + 2, h.sample_bits);
    at += 4;
  }
  put_tag_at(at, "data");
  store_le32(at + 4, h.data_length);
  return static_cast<uint32_t>(at + 8 - out);
}

WavHeaderFields derive_plain_header(const TrackInfo* t, uint32_t data_bytes, uint32_t trailer_bytes) {
  WavHeaderFields h{};
  h.block_align = header_block_align(t);
  h.sample_bits = slot_sample_bits(t);
  h.byte_rate = uint32_t{h.block_align} * t->sample_rate;  // wraps mod 2^32, as the header's
  h.fmt_length = 16;
  h.data_length = data_bytes;
  h.riff_length = 4u /* "WAVE" */ + 8u + 16u /* fmt chunk */ + 8u /* data chunk header */ + data_bytes + trailer_bytes;
  return h;
}

uint16_t slot_sample_bits(const TrackInfo* t) {
  const uint32_t align = header_block_align(t);
  if (t->channels == 0 || align == 0 || align % t->channels != 0) return t->sample_bits;
  const uint32_t slot = align / t->channels * 8u;
  return slot <= 0xFFFFu ? static_cast<uint16_t>(slot) : t->sample_bits;
}

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
  // The RIFF length with the full format block, whichever block is written.
  if (!riff_fits(*data + 36u /* "WAVE" + fmt chunk + data chunk header */)) return -33;
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
  out->sample_bits = t->sample_bits;  // the container's, as the command line writes it
  out->byte_rate = uint32_t{out->block_align} * t->sample_rate;  // wraps mod 2^32
  return 0;
}

int derive_header_any_length(const TrackInfo* t, const Settings* s, WavHeaderFields* out, uint64_t* data) {
  const int refused = header_refusal(t, s->loop_count, data);
  if (refused == -32) return refused;
  Settings fits = *s;
  fits.loop_count = 1;  // the data heard once always fits: its fields, then the lengths in full
  derive_header(t, &fits, out);
  const uint64_t riff = *data + 4u + 8u + out->fmt_length + 8u;
  out->data_length = *data <= UINT32_MAX ? static_cast<uint32_t>(*data) : UINT32_MAX;
  out->riff_length = riff_fits(riff) ? static_cast<uint32_t>(riff) : UINT32_MAX;
  return 0;
}

uint32_t encode_rf64_header(const TrackInfo* t, const WavHeaderFields& h, uint64_t riff, uint64_t data,
                            uint8_t out[kRf64HeaderBytes]) {
  uint8_t plain[kHeaderBytes];
  const uint32_t plain_bytes = encode_header(t, h, plain);  // its format chunk is the RF64's
  std::memcpy(out, "RF64", 4);
  store_le32(out + 4, UINT32_MAX);
  std::memcpy(out + 8, "WAVEds64", 8);
  store_le32(out + 16, 28);
  store_le64(out + 20, riff);
  store_le64(out + 28, data);
  store_le64(out + 36, h.block_align > 0 ? data / h.block_align : 0);
  store_le32(out + 44, 0);  // no table of other chunks' lengths
  const uint32_t fmt_bytes = plain_bytes - 12u - 8u;  // "fmt " to the end of the format block
  std::memcpy(out + 48, plain + 12, fmt_bytes);
  std::memcpy(out + 48 + fmt_bytes, "data", 4);
  store_le32(out + 52 + fmt_bytes, UINT32_MAX);
  return 56 + fmt_bytes;
}

bool put_header(FILE* dst, const TrackInfo* t, const WavHeaderFields& h) {
  uint8_t bytes[kHeaderBytes];
  encode_header(t, h, bytes);
  const bool full_fmt = h.fmt_length == 16u;
  // One write per field, each checked before the next. A buffered stream may
  // accept the bytes and fail only when they reach the file, so the flush is
  // part of writing the header.
  const uint8_t* at = bytes;
  for (int field = 0; field < static_cast<int>(sizeof kFieldWidths / sizeof kFieldWidths[0]); ++field) {
    if (!full_fmt && (field == kBlockAlignField || field == kSampleBitsField)) continue;
    if (!write_item(dst, at, kFieldWidths[field])) return false;
    at += kFieldWidths[field];
  }
  return flush_stream(dst);
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
