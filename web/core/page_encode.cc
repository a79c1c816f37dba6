// Encoding for the page, a piece at a time: the worker hands over the sound
// of a planned file in pieces (reading each from the dropped file), takes
// the encoded bytes as they come, and between two pieces answers a stop or
// tells its progress. The codecs and their bytes are the batch command's.
#include <emscripten.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/error_lines.h"
#include "wave/encoded_formats.h"
#include "wave/output_kinds.h"

namespace {

// Bytes the encoder may write again once the sound is through (FLAC's
// STREAMINFO, just past the start) are held until the end; the rest are
// handed out as they come. The metadata the encoders write before the
// sound (a title and two loop comments) is far shorter.
constexpr uint64_t kHeldBytes = 64 * 1024;

struct MemorySink {
  std::vector<uint8_t> head;   // the first bytes, held to the end
  std::vector<uint8_t> ready;  // the bytes past them not yet taken
  uint64_t length = 0;         // of everything written
  uint64_t at = 0;             // where the next write goes
};

bool sink_write(void* p, const uint8_t* bytes, size_t n) {
  MemorySink* m = static_cast<MemorySink*>(p);
  while (n > 0) {
    size_t k = n;
    if (m->at < kHeldBytes) {
      k = static_cast<size_t>(kHeldBytes - m->at) < n ? static_cast<size_t>(kHeldBytes - m->at) : n;
      if (m->at + k > m->head.size()) m->head.resize(static_cast<size_t>(m->at + k));
      std::memcpy(m->head.data() + m->at, bytes, k);
    } else if (m->at == m->length) {
      m->ready.insert(m->ready.end(), bytes, bytes + k);
    } else {
      return false;  // over bytes handed out already
    }
    m->at += k;
    bytes += k;
    n -= k;
    if (m->at > m->length) m->length = m->at;
  }
  return true;
}

bool sink_seek(void* p, uint64_t at) {
  MemorySink* m = static_cast<MemorySink*>(p);
  if (at > m->length || (at >= kHeldBytes && at != m->length)) return false;
  m->at = at;
  return true;
}

bool sink_tell(void* p, uint64_t* at) {
  *at = static_cast<MemorySink*>(p)->at;
  return true;
}

}  // namespace

struct PageEncoding {
  MemorySink sink;
  EncodeRequest request;
  std::unique_ptr<Encoding> encoding;
};


extern "C" {

// Starts encoding, in format `format` (wave/output_kinds.h's OutputFormat;
// Ogg Vorbis at `quality_tenths`), a sound of `frames` frames (given as its
// low and high 32 bits) of `channels` slots of `slot_bytes` bytes at `rate`,
// with the `count` comments that lie one after another, each NUL-terminated,
// at `comments` (the run's plan gives them all). The encoding goes into
// `*out`; the result is 0, or the code of the failure whose line it printed,
// and then `*out` is still to be freed.
EMSCRIPTEN_KEEPALIVE int kelvor_encode_start(int format, int quality_tenths, uint32_t channels, uint32_t slot_bytes,
                                             uint32_t rate, uint32_t frames_low, uint32_t frames_high,
                                             const char* comments, int count, PageEncoding** out) {
  *out = nullptr;
  if (format != static_cast<int>(OutputFormat::kFlac) && format != static_cast<int>(OutputFormat::kVorbis)) {
    return print_error(-35);
  }
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i, comments += std::strlen(comments) + 1) lines.emplace_back(comments);
  PageEncoding* e = new PageEncoding;
  *out = e;
  const OutputFormat f = static_cast<OutputFormat>(format);
  e->request = EncodeRequest{f, quality_tenths, "", codec_of(f)};
  const EncodedSound sound{channels, rate, slot_bytes, 8 * slot_bytes, uint64_t{frames_high} << 32 | frames_low};
  e->encoding = std::make_unique<Encoding>(e->request, std::move(lines), sound,
                                           ByteSink{&e->sink, sink_write, sink_seek, sink_tell});
  return e->encoding->begin();
}

// The next `n` bytes of the sound.
EMSCRIPTEN_KEEPALIVE int kelvor_encode_piece(PageEncoding* e, const uint8_t* bytes, uint32_t n) {
  return e->encoding->piece(bytes, n);
}

// The end of the sound; the held first bytes are then final.
EMSCRIPTEN_KEEPALIVE int kelvor_encode_end(PageEncoding* e) { return e->encoding->end(); }

// The bytes past the held first ones, written since they were last taken:
// their length, their place in `*at`. They stay until kelvor_encode_taken.
EMSCRIPTEN_KEEPALIVE uint32_t kelvor_encode_ready(PageEncoding* e, const uint8_t** at) {
  *at = e->sink.ready.data();
  return static_cast<uint32_t>(e->sink.ready.size());
}

EMSCRIPTEN_KEEPALIVE void kelvor_encode_taken(PageEncoding* e) { e->sink.ready.clear(); }

// The held first bytes, once the encoding has ended: the file's start.
EMSCRIPTEN_KEEPALIVE uint32_t kelvor_encode_head(PageEncoding* e, const uint8_t** at) {
  *at = e->sink.head.data();
  return static_cast<uint32_t>(e->sink.head.size());
}

EMSCRIPTEN_KEEPALIVE void kelvor_encode_free(PageEncoding* e) { delete e; }

}  // extern "C"
