#include "wave/encoder.h"

#include "base/error_lines.h"
#include "base/heap_buffer.h"
#include "base/pos32.h"
#include "base/stream_items.h"
#include "wave/wav_body.h"
#include "base/messages.h"

namespace {

int to_encoder(void* target, const uint8_t* bytes, uint32_t n) {
  const Encoder* e = static_cast<const Encoder*>(target);
  return e->piece(e->state, bytes, n);
}

// One copy of the description, each round read as transfar reads it and
// handed to the encoder piece by piece. A stretch is read again for each
// repetition: an encoder takes the sound as it goes.
int encode_copy(FILE* src, const DataCopy& c, uint8_t* buffer, const TrackInfo* t, const WavLayout& l,
                const Settings* s, const Encoder& e) {
  const uint32_t rounds = c.repeats == 0 ? 0u : c.length == 0 ? 1u : c.repeats;
  if (c.fade_frames > 0) return faded_copy(src, c, t, l, s, PieceSink{const_cast<Encoder*>(&e), to_encoder});
  for (uint32_t round = 0; round < rounds; ++round) {
    int result = go_datahead(src, t, s);
    if (result != 0) return result;
    if (c.seek_on && !seek_by32(src, c.skip)) {
      say("%s", c.seek_error);
      return -43;
    }
    for (uint32_t left = c.length; left > 0;) {
      const uint32_t piece = left < static_cast<uint32_t>(s->buffer_size) ? left : static_cast<uint32_t>(s->buffer_size);
      if (!read_item(src, buffer, piece)) return print_error(-51);
      result = e.piece(e.state, buffer, piece);
      if (result != 0) return result;
      left -= piece;
    }
  }
  return 0;
}

}  // namespace

int encode_layout(FILE* src, const TrackInfo* t, const WavLayout& l, const Settings* s, const Encoder& e) {
  int result = e.begin(e.state, t, l);
  if (result != 0) return result;
  HeapBuffer<uint8_t> buffer = allocate_buffer<uint8_t>(static_cast<size_t>(s->buffer_size));
  if (!buffer) {
    say("%s", l.buffer_error);
    return -41;
  }
  for (const DataCopy& c : l.copies) {
    result = encode_copy(src, c, buffer.get(), t, l, s, e);
    if (result != 0) return result;
  }
  return e.end(e.state);
}
