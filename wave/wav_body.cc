#include "wave/wav_body.h"

#include <cstring>

#include "base/error_lines.h"
#include "base/heap_buffer.h"
#include "base/pos32.h"
#include "base/stream_items.h"

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

// The repetitions of a loop section that fits the copy buffer: it is read
// once, copied along the buffer as many whole times as fit and are needed,
// and the buffer is written until every repetition is out. The bytes are
// those of `repeats` rounds of go_datahead, skip_loophead and transfar, which
// would each cost the same two seeks and a read of the same bytes; the seeks
// are made once, so a failure among them has the same number as before.
// Only the copies that are written are made: a buffer far larger than the
// output (a large -b with a low loop count) is never touched beyond them, so
// its untouched pages cost neither time nor memory.
int repeat_from_memory(FILE* src, FILE* dst, uint32_t loop_bytes, uint32_t repeats, uint8_t* buffer,
                       const TrackInfo* t, const Settings* s) {
  int result = go_datahead(src, t, s);
  if (result == 0) result = skip_loophead(src, t, s);
  if (result != 0) return result;
  if (!read_item(src, buffer, loop_bytes)) return print_error(-51);
  const uint32_t room = static_cast<uint32_t>(s->buffer_size) / loop_bytes;
  const uint32_t fit = repeats < room ? repeats : room;
  for (uint32_t held = 1; held < fit;) {  // doubling: a few large copies
    uint32_t more = held <= fit - held ? held : fit - held;
    std::memcpy(buffer + size_t{held} * loop_bytes, buffer, size_t{more} * loop_bytes);
    held += more;
  }
  while (repeats > 0) {
    uint32_t now = repeats < fit ? repeats : fit;
    if (!write_item(dst, buffer, size_t{now} * loop_bytes)) return print_error(-52);
    repeats -= now;
  }
  return 0;
}

}  // namespace

int write_wav_body(FILE* src, FILE* dst, const TrackInfo* t, const Settings* s) {
  // A failure is a result code, never an exception or an abort.
  HeapBuffer<uint8_t> buffer = allocate_buffer<uint8_t>(static_cast<size_t>(s->buffer_size));
  if (!buffer) {
    return print_error(-41);
  }
  int result = go_datahead(src, t, s);
  if (result == 0) result = transfar(src, dst, t->data_bytes, buffer.get(), s);
  const uint32_t loop_bytes = t->data_bytes - t->loop_start;  // unsigned difference
  const uint32_t repeats = s->loop_count > 1 ? static_cast<uint32_t>(s->loop_count - 1) : 0u;
  if (result == 0 && repeats > 0 && loop_bytes > 0 && loop_bytes <= static_cast<uint32_t>(s->buffer_size)) {
    result = repeat_from_memory(src, dst, loop_bytes, repeats, buffer.get(), t, s);
  } else {
    // With an empty loop section every repetition is the same two seeks from
    // the same place and copies nothing: the first shows how all of them end,
    // so a huge loop count does not spin through the rest.
    const uint32_t rounds = loop_bytes == 0 && repeats > 0 ? 1u : repeats;
    for (uint32_t i = 0; result == 0 && i < rounds; ++i) {
      // Back to the data with an absolute seek, then on to the loop start
      // with a relative one: each step has its own error number.
      result = go_datahead(src, t, s);
      if (result == 0) result = skip_loophead(src, t, s);
      if (result == 0) result = transfar(src, dst, loop_bytes, buffer.get(), s);
    }
  }
  // The stream may have accepted the last pieces without their reaching the
  // file: the body is flushed once, after its last piece.
  if (result == 0 && !flush_stream(dst)) return print_error(-52);
  return result;
}
