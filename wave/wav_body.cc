#include "wave/wav_body.h"

#include "base/heap_buffer.h"
#include "base/pos32.h"
#include "base/stream_items.h"

int go_datahead(FILE* src, const TrackInfo* t, const Settings* /*settings*/) {
  if (!seek_to32(src, t->trk_offset + t->data_offset)) {  // sum wraps mod 2^32
    std::printf("error-42 : seek error(go_datahead)\n");
    return -42;
  }
  return 0;
}

int skip_loophead(FILE* src, const TrackInfo* t, const Settings* /*settings*/) {
  if (!seek_by32(src, t->loop_start)) {
    std::printf("error-43 : seek error(skip_loophead)\n");
    return -43;
  }
  return 0;
}

int transfar(FILE* src, FILE* dst, uint32_t count, uint8_t* buffer, const Settings* s) {
  uint32_t piece = static_cast<uint32_t>(s->buffer_size);
  while (count != 0) {
    if (count < piece) piece = count;
    // A piece that cannot be read whole is not written, even in part.
    if (!read_item(src, buffer, piece)) {
      std::printf("error-51 : read error(transfar)\n");
      return -51;
    }
    if (!write_item(dst, buffer, piece)) {
      std::printf("error-52 : write error(transfar)\n");
      return -52;
    }
    count -= piece;
  }
  // The stream may have accepted the last pieces without reaching the file.
  if (!flush_stream(dst)) {
    std::printf("error-52 : write error(transfar)\n");
    return -52;
  }
  return 0;
}

int write_wav_body(FILE* src, FILE* dst, const TrackInfo* t, const Settings* s) {
  // A failure is a result code, never an exception or an abort.
  HeapBuffer<uint8_t> buffer = allocate_buffer<uint8_t>(static_cast<size_t>(s->buffer_size));
  if (!buffer) {
    std::printf("error-41 : memory allocate faild(write_wav_body)\n");
    return -41;
  }
  int result = go_datahead(src, t, s);
  if (result == 0) result = transfar(src, dst, t->data_bytes, buffer.get(), s);
  uint32_t loop_bytes = t->data_bytes - t->loop_start;  // unsigned difference
  // With an empty loop section every repetition is the same two seeks from the
  // same place and copies nothing: the first shows how all of them end, so a
  // huge loop count does not spin through the rest.
  int32_t repeats = loop_bytes == 0 && s->loop_count > 1 ? 1 : s->loop_count - 1;
  for (int32_t i = 0; result == 0 && i < repeats; ++i) {
    // Back to the data with an absolute seek, then on to the loop start with a
    // relative one: each step has its own error number.
    result = go_datahead(src, t, s);
    if (result == 0) result = skip_loophead(src, t, s);
    if (result == 0) result = transfar(src, dst, loop_bytes, buffer.get(), s);
  }
  return result;
}
