// FLAC through libFLAC, the reference encoder: compression level 5, the
// loop in a VORBIS_COMMENT block, STREAMINFO completed by a seek back to the
// start once the sound is through (the destination is a file).
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <vector>

#include "base/error_lines.h"
#include "base/messages.h"
#include "platform/platform.h"
#include "wave/encoded_formats.h"
#include "wave/encoder.h"

namespace {

FLAC__StreamEncoderWriteStatus write_to(const FLAC__StreamEncoder*, const FLAC__byte bytes[], size_t n, uint32_t,
                                        uint32_t, void* file) {
  return std::fwrite(bytes, 1, n, static_cast<FILE*>(file)) == n ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                                                  : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

FLAC__StreamEncoderSeekStatus seek_to(const FLAC__StreamEncoder*, FLAC__uint64 at, void* file) {
  return seek64(static_cast<FILE*>(file), static_cast<int64_t>(at)) == 0 ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                                                          : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus tell_at(const FLAC__StreamEncoder*, FLAC__uint64* at, void* file) {
  const int64_t here = tell64(static_cast<FILE*>(file));
  if (here < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
  *at = static_cast<FLAC__uint64>(here);
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

// Owner of the encoder and its comment block, and the samples of a frame
// still incomplete.
struct FlacState {
  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  FLAC__StreamMetadata* comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
  EncodedSound sound{};
  FrameQueue frames{sound};
  const EncodeRequest* request = nullptr;
  const WavLayout* layout = nullptr;
  bool failed = false;
  FlacState() = default;
  FlacState(const FlacState&) = delete;
  FlacState& operator=(const FlacState&) = delete;
  ~FlacState() {
    if (encoder != nullptr) FLAC__stream_encoder_delete(encoder);
    if (comments != nullptr) FLAC__metadata_object_delete(comments);
  }
};

int flac_begin(void* p, FILE* dst, const TrackInfo*, const WavLayout&) {
  FlacState* f = static_cast<FlacState*>(p);
  if (f->encoder == nullptr || f->comments == nullptr) return print_error(-36);
  for (const std::string& c : loop_comments(*f->layout, f->request->title)) {
    FLAC__StreamMetadata_VorbisComment_Entry entry{static_cast<FLAC__uint32>(c.size()),
                                                   reinterpret_cast<FLAC__byte*>(const_cast<char*>(c.c_str()))};
    if (!FLAC__metadata_object_vorbiscomment_append_comment(f->comments, entry, true)) return print_error(-36);
  }
  FLAC__StreamMetadata* blocks[] = {f->comments};
  const bool set = FLAC__stream_encoder_set_channels(f->encoder, f->sound.channels) &&
                   FLAC__stream_encoder_set_bits_per_sample(f->encoder, f->sound.bits) &&
                   FLAC__stream_encoder_set_sample_rate(f->encoder, f->sound.rate) &&
                   FLAC__stream_encoder_set_compression_level(f->encoder, 5) &&
                   FLAC__stream_encoder_set_total_samples_estimate(f->encoder, f->sound.frames) &&
                   FLAC__stream_encoder_set_metadata(f->encoder, blocks, 1);
  if (!set || FLAC__stream_encoder_init_stream(f->encoder, write_to, seek_to, tell_at, nullptr, dst) !=
                  FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    return print_error(-36);
  }
  return 0;
}

// A failure of the encoder: -52 when it was the destination's write.
int flac_failure(FlacState* f) {
  f->failed = true;
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

int flac_piece(void* p, FILE*, const uint8_t* bytes, uint32_t n) {
  FlacState* f = static_cast<FlacState*>(p);
  f->frames.take(bytes, n);
  return flac_flush(f);
}

int flac_end(void* p, FILE*) {
  FlacState* f = static_cast<FlacState*>(p);
  int result = flac_flush(f);
  // Finishing writes the last frame and STREAMINFO's totals and checksum.
  if (result == 0 && !FLAC__stream_encoder_finish(f->encoder)) result = flac_failure(f);
  return result;
}

const char* flac_refusal(const EncodedSound& s) {
  if (s.channels > FLAC__MAX_CHANNELS) return "holds at most 8 channels";
  if (s.rate == 0 || s.rate > FLAC__MAX_SAMPLE_RATE) return "holds sample rates from 1 to 1048575 Hz";
  return nullptr;
}

int encode_flac(FILE* src, FILE* dst, const TrackInfo* t, const WavLayout& l, const Settings* s, const EncodeRequest& r,
                const EncodedSound& sound) {
  FlacState f;
  f.sound = sound;
  f.frames = FrameQueue(sound);
  f.request = &r;
  f.layout = &l;
  const int result = encode_layout(src, dst, t, l, s, Encoder{&f, flac_begin, flac_piece, flac_end});
  if (result != 0 && !f.failed && FLAC__stream_encoder_get_state(f.encoder) == FLAC__STREAM_ENCODER_OK) {
    FLAC__stream_encoder_finish(f.encoder);  // the file is the caller's to remove
  }
  return result;
}

}  // namespace

const Codec& flac_codec() {
  static constexpr Codec kCodec{"FLAC", flac_refusal, encode_flac};
  return kCodec;
}
