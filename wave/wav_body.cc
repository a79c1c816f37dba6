#include "wave/wav_body.h"

#include <cstring>

#include "base/error_lines.h"
#include "base/heap_buffer.h"
#include "base/pos32.h"
#include "base/stream_items.h"
#include "base/messages.h"
#include "wave/sound_shape.h"

int go_datahead(FILE* src, const TrackInfo* t, const Settings* /*settings*/) {
  if (!seek_to32(src, t->trk_offset + t->data_offset)) {  // sum wraps mod 2^32
    return print_error(-42);
  }
  return 0;
}

int skip_loophead(FILE* src, const TrackInfo* t, const Settings* /*settings*/) {
  if (!seek_by32(src, t->loop_start)) {
    return print_error(-43);
  }
  return 0;
}

int transfar(FILE* src, FILE* dst, uint32_t count, uint8_t* buffer, const Settings* s) {
  uint32_t piece = static_cast<uint32_t>(s->buffer_size);
  while (count != 0) {
    if (count < piece) piece = count;
    // A piece that cannot be read whole is not written, even in part.
    if (!read_item(src, buffer, piece)) return print_error(-51);
    if (!write_item(dst, buffer, piece)) return print_error(-52);
    count -= piece;
  }
  return 0;
}

namespace {

// Prints `line` and returns `code`: a description's own failure.
int fail(int code, const char* line) {
  say("%s", line);
  return code;
}

// Seeks on from the data's first byte to the copy's stretch, where the copy
// makes that seek.
int seek_on(FILE* src, const DataCopy& c) {
  if (c.seek_on && !seek_by32(src, c.skip)) return fail(-43, c.seek_error);
  return 0;
}

// The repetitions of a stretch that fits the copy buffer: it is read once,
// copied along the buffer as many whole times as fit and are needed, and the
// buffer is written until every repetition is out. The bytes are those of
// `repeats` rounds of go_datahead, the seek on and transfar, which would
// each cost the same two seeks and a read of the same bytes; the seeks are
// made once, so a failure among them has the same number as before. Only
// the copies that are written are made: a buffer far larger than the output
// (a large -b with a low loop count) is never touched beyond them, so its
// untouched pages cost neither time nor memory.
int repeat_from_memory(FILE* src, FILE* dst, const DataCopy& c, uint8_t* buffer, const TrackInfo* t,
                       const Settings* s) {
  int result = go_datahead(src, t, s);
  if (result == 0) result = seek_on(src, c);
  if (result != 0) return result;
  if (!read_item(src, buffer, c.length)) return print_error(-51);
  const uint32_t room = static_cast<uint32_t>(s->buffer_size) / c.length;
  const uint32_t fit = c.repeats < room ? c.repeats : room;
  for (uint32_t held = 1; held < fit;) {  // doubling: a few large copies
    uint32_t more = held <= fit - held ? held : fit - held;
    std::memcpy(buffer + size_t{held} * c.length, buffer, size_t{more} * c.length);
    held += more;
  }
  for (uint32_t repeats = c.repeats; repeats > 0;) {
    uint32_t now = repeats < fit ? repeats : fit;
    if (!write_item(dst, buffer, size_t{now} * c.length)) return print_error(-52);
    repeats -= now;
  }
  return 0;
}

int put_to_file(void* target, const uint8_t* bytes, uint32_t n) {
  return write_item(static_cast<FILE*>(target), bytes, n) ? 0 : print_error(-52);
}

// One copy of the description: each round goes to the data, seeks on and
// copies the stretch through transfar.
int copy_data(FILE* src, FILE* dst, const DataCopy& c, uint8_t* buffer, const TrackInfo* t, const WavLayout& l,
              const Settings* s) {
  if (c.repeats == 0) return 0;
  if (c.fade_frames > 0) return faded_copy(src, c, t, l, s, PieceSink{dst, put_to_file});
  if (c.from_memory && c.length > 0 && c.length <= static_cast<uint32_t>(s->buffer_size)) {
    return repeat_from_memory(src, dst, c, buffer, t, s);
  }
  // With an empty stretch every round is the same two seeks from the same
  // place and copies nothing: the first shows how all of them end, so a huge
  // loop count does not spin through the rest.
  const uint32_t rounds = c.length == 0 ? 1u : c.repeats;
  int result = 0;
  for (uint32_t i = 0; result == 0 && i < rounds; ++i) {
    result = go_datahead(src, t, s);
    if (result == 0) result = seek_on(src, c);
    if (result == 0) result = transfar(src, dst, c.length, buffer, s);
  }
  return result;
}

}  // namespace

int faded_copy(FILE* src, const DataCopy& c, const TrackInfo* t, const WavLayout& l, const Settings* s,
               const PieceSink& sink) {
  const uint32_t align = l.header.block_align;
  const uint32_t slot = t->channels > 0 ? align / t->channels : 0;  // whole slots: check_shape
  const uint32_t buffer_frames = static_cast<uint32_t>(s->buffer_size) / align;
  const uint32_t piece_frames = buffer_frames > 0 ? buffer_frames : 1u;
  HeapBuffer<uint8_t> buffer = allocate_buffer<uint8_t>(size_t{piece_frames} * align);
  if (!buffer) return fail(-41, l.buffer_error);
  const uint32_t frames = c.length / align;
  uint64_t j = c.fade_at;
  for (uint32_t round = 0; round < c.repeats; ++round) {
    int result = go_datahead(src, t, s);
    if (result == 0) result = seek_on(src, c);
    if (result != 0) return result;
    for (uint32_t left = frames; left > 0;) {
      const uint32_t n = left < piece_frames ? left : piece_frames;
      if (!read_item(src, buffer.get(), size_t{n} * align)) return print_error(-51);
      fade_frames(buffer.get(), n, t->channels, slot, j, c.fade_frames);
      result = sink.put(sink.target, buffer.get(), n * align);
      if (result != 0) return result;
      j += n;
      left -= n;
    }
  }
  return 0;
}

int write_body(FILE* src, FILE* dst, const TrackInfo* t, const WavLayout& l, const Settings* s) {
  // A failure is a result code, never an exception or an abort.
  HeapBuffer<uint8_t> buffer = allocate_buffer<uint8_t>(static_cast<size_t>(s->buffer_size));
  if (!buffer) return fail(-41, l.buffer_error);
  int result = 0;
  for (const DataCopy& c : l.copies) {
    result = copy_data(src, dst, c, buffer.get(), t, l, s);
    if (result != 0) return result;
  }
  // The stream may have accepted the last pieces without their reaching the
  // file: the body is flushed once, after its last piece.
  if (l.flush_body && !flush_stream(dst)) return print_error(-52);
  return 0;
}

namespace {

// The RF64 header of a layout past 4 GiB, written whole and flushed.
bool put_rf64_header(FILE* dst, const TrackInfo* t, const WavLayout& l) {
  uint8_t head[kRf64HeaderBytes];
  const uint32_t n = encode_rf64_header(t, l.header, l.rf64_riff_length, l.rf64_data_length, head);
  return write_item(dst, head, n) && flush_stream(dst);
}

}  // namespace

int write_layout(FILE* src, FILE* dst, const TrackInfo* t, const WavLayout& l, const Settings* s) {
  if (!(l.rf64 ? put_rf64_header(dst, t, l) : put_header(dst, t, l.header))) return fail(-31, l.header_error);
  const int result = write_body(src, dst, t, l, s);
  if (result != 0) return result;
  if (l.tail_bytes > 0 && !write_item(dst, l.tail, l.tail_bytes)) return fail(l.tail_code, l.tail_error);
  if (l.flush_end && !flush_stream(dst)) return print_error(-52);
  return 0;
}

int write_wav_body(FILE* src, FILE* dst, const TrackInfo* t, const Settings* s) {
  return write_body(src, dst, t, describe_unrolled(t, s), s);
}
