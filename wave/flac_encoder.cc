// FLAC through libFLAC, the reference encoder: compression level 5, the
// loop in a VORBIS_COMMENT block, STREAMINFO completed by a seek back to the
// start once the sound is through.
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <string>
#include <vector>

#include "base/error_lines.h"
#include "wave/encoded_formats.h"

namespace {

FLAC__StreamEncoderWriteStatus write_to(const FLAC__StreamEncoder*, const FLAC__byte bytes[], size_t n, uint32_t,
                                        uint32_t, void* sink) {
  const ByteSink* s = static_cast<const ByteSink*>(sink);
  return s->write(s->target, bytes, n) ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                       : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

FLAC__StreamEncoderSeekStatus seek_to(const FLAC__StreamEncoder*, FLAC__uint64 at, void* sink) {
  const ByteSink* s = static_cast<const ByteSink*>(sink);
  return s->seek(s->target, at) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus tell_at(const FLAC__StreamEncoder*, FLAC__uint64* at, void* sink) {
  const ByteSink* s = static_cast<const ByteSink*>(sink);
  uint64_t here = 0;
  if (!s->tell(s->target, &here)) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
  *at = here;
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

// Owner of the encoder and its comment block, and the samples of a frame
// still incomplete.
struct FlacState {
  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
  EncodedSound sound;
  FrameQueue frames;
  std::vector<std::string> comments;
  ByteSink sink;
  FlacState(const EncodedSound& s, std::vector<std::string> c, const ByteSink& out)
      : sound(s), frames(s), comments(std::move(c)), sink(out) {}
  FlacState(const FlacState&) = delete;
  FlacState& operator=(const FlacState&) = delete;
  ~FlacState() {
    // Deleting an encoder not finished writes nothing more.
    if (encoder != nullptr) FLAC__stream_encoder_delete(encoder);
    if (block != nullptr) FLAC__metadata_object_delete(block);
  }
};

void* flac_make(const EncodeRequest&, std::vector<std::string> comments, const EncodedSound& sound,
                const ByteSink& sink) {
  return new FlacState(sound, std::move(comments), sink);
}

int flac_begin(void* p) {
  FlacState* f = static_cast<FlacState*>(p);
  if (f->encoder == nullptr || f->block == nullptr) return print_error(-36);
  for (const std::string& c : f->comments) {
    FLAC__StreamMetadata_VorbisComment_Entry entry{static_cast<FLAC__uint32>(c.size()),
                                                   reinterpret_cast<FLAC__byte*>(const_cast<char*>(c.c_str()))};
    if (!FLAC__metadata_object_vorbiscomment_append_comment(f->block, entry, true)) return print_error(-36);
  }
  FLAC__StreamMetadata* blocks[] = {f->block};
  const bool set = FLAC__stream_encoder_set_channels(f->encoder, f->sound.channels) &&
                   FLAC__stream_encoder_set_bits_per_sample(f->encoder, f->sound.bits) &&
                   FLAC__stream_encoder_set_sample_rate(f->encoder, f->sound.rate) &&
                   FLAC__stream_encoder_set_compression_level(f->encoder, 5) &&
                   FLAC__stream_encoder_set_total_samples_estimate(f->encoder, f->sound.frames) &&
                   FLAC__stream_encoder_set_metadata(f->encoder, blocks, 1);
  if (!set || FLAC__stream_encoder_init_stream(f->encoder, write_to, seek_to, tell_at, nullptr, &f->sink) !=
                  FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    return print_error(-36);
  }
  return 0;
}

// A failure of the encoder: -52 when it was the sink's write.
int flac_failure(FlacState* f) {
  return print_error(FLAC__stream_encoder_get_state(f->encoder) == FLAC__STREAM_ENCODER_CLIENT_ERROR ? -52 : -36);
}

// Hands the whole frames held to the encoder; the rest waits.
int flac_flush(FlacState* f) {
  const uint64_t frames = f->frames.frames();
  if (frames > 0 &&
      !FLAC__stream_encoder_process_interleaved(f->encoder, f->frames.samples(), static_cast<uint32_t>(frames))) {
    return flac_failure(f);
  }
  f->frames.drop_frames();
  return 0;
}

int flac_piece(void* p, const uint8_t* bytes, uint32_t n) {
  FlacState* f = static_cast<FlacState*>(p);
  f->frames.take(bytes, n);
  return flac_flush(f);
}

int flac_end(void* p) {
  FlacState* f = static_cast<FlacState*>(p);
  int result = flac_flush(f);
  // Finishing writes the last frame and STREAMINFO's totals and checksum.
  if (result == 0 && !FLAC__stream_encoder_finish(f->encoder)) result = flac_failure(f);
  return result;
}

void flac_release(void* p) { delete static_cast<FlacState*>(p); }

const char* flac_refusal(const EncodedSound& s) {
  if (s.channels > FLAC__MAX_CHANNELS) return "holds at most 8 channels";
  if (s.rate == 0 || s.rate > FLAC__MAX_SAMPLE_RATE) return "holds sample rates from 1 to 1048575 Hz";
  return nullptr;
}

}  // namespace

const Codec& flac_codec() {
  static constexpr Codec kCodec{"FLAC", flac_refusal, flac_make, flac_begin, flac_piece, flac_end, flac_release};
  return kCodec;
}
