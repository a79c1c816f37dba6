// The encoded formats beside WAV, FLAC and Ogg Vorbis, on the encoder seam
// (wave/encoder.h): each takes a WAV layout's sound as its data would hold
// it, sample slot by sample slot, and writes the loop the layout marks as
// the LOOPSTART and LOOPLENGTH comments that engines read (in samples, the
// last comments, start + length the end of the loop exclusive), after TITLE.
// A build without a format's library refuses it plainly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/records.h"
#include "wave/sound_shape.h"
#include "wave/wav_layout.h"

enum class OutputFormat;  // wave/output_kinds.h
struct Codec;

struct EncodeRequest {
  OutputFormat format;
  int vorbis_quality_tenths;  // Ogg Vorbis: oggenc's -q times ten, -10 to 100 (50: about 160 kbit/s for CD stereo)
  std::string title;          // the TITLE comment: the source's name
  const Codec* codec;         // the format's codec (flac_codec(), vorbis_codec())
  ShapeRequest shape{};       // the unrolled sound's length and loop (wave/sound_shape.h): none asked by default
};

// The sound of a layout as the encoders take it: the data's frames, each of
// `channels` slots of `slot_bytes` bytes (8-bit slots unsigned, the others
// signed little-endian), `bits` significant bits per slot.
struct EncodedSound {
  uint32_t channels;
  uint32_t rate;
  uint32_t slot_bytes;
  uint32_t bits;
  uint64_t frames;
};

// The sound `layout` gives of `track`; false when its frames are no whole
// number of slots of 1 to 4 bytes.
bool encoded_sound(const TrackInfo* track, const WavLayout& layout, EncodedSound* out);

// The comments, in order: TITLE, then (when the layout marks a loop)
// LOOPSTART and LOOPLENGTH, each as "NAME=value".
std::vector<std::string> loop_comments(const WavLayout& layout, const std::string& title);

// Whether `request`'s format can hold the layout's sound: 0, or -35 having
// printed why and the error line. Made before any file is created.
int check_encodable(const TrackInfo* track, const WavLayout& layout, const EncodeRequest& request);

// Where an encoder's bytes go: written in order, and, once the sound is
// through, some written again near the start (FLAC's totals and checksum),
// which `seek` and `tell` are for.
struct ByteSink {
  void* target;
  bool (*write)(void* target, const uint8_t* bytes, size_t n);
  bool (*seek)(void* target, uint64_t at);
  bool (*tell)(void* target, uint64_t* at);
};

// The sink of an open file.
ByteSink file_sink(FILE* file);

// One file being encoded, its codec's state owned: begun, handed the sound
// piece by piece, ended. Each step returns 0 or a negative code having
// printed its line (-36 when the encoder fails, -52 when the sink does).
class Encoding {
 public:
  Encoding(const EncodeRequest& request, std::vector<std::string> comments, const EncodedSound& sound,
           const ByteSink& sink);
  ~Encoding();
  Encoding(const Encoding&) = delete;
  Encoding& operator=(const Encoding&) = delete;
  int begin();
  int piece(const uint8_t* bytes, uint32_t n);
  int end();

 private:
  const Codec* codec_;
  void* state_ = nullptr;
};

// Writes the layout's sound into `dst` in the request's format. 0 or the
// first failure's code, its line printed: the source's (-41, -42, -43,
// -51), -36 when the encoder fails, -52 when a write fails.
int encode_file(FILE* src, FILE* dst, const TrackInfo* track, const WavLayout& layout, const Settings* settings,
                const EncodeRequest& request);

// The sound's bytes, in pieces cut anywhere, as 32-bit samples in whole
// frames: cut into slots from the first byte, as a WAV reader cuts the
// data; what a piece leaves of a slot or a frame waits for the next, and
// nothing past the sound's frames is handed on.
class FrameQueue {
 public:
  explicit FrameQueue(const EncodedSound& sound) : sound_(sound), left_(sound.frames) {}
  void take(const uint8_t* bytes, uint32_t n);
  // The whole frames held, interleaved: how many, and their samples.
  uint64_t frames() const;
  const int32_t* samples() const { return samples_.data(); }
  // Once they were handed on: the whole frames go, the part of one stays;
  // or only the first `n` of them (n at most frames()).
  void drop_frames();
  void drop_frames(uint64_t n);

 private:
  EncodedSound sound_;
  uint64_t left_;
  std::vector<int32_t> samples_;
  uint8_t held_[4]{};  // a part of one slot
  uint32_t held_bytes_ = 0;
};

// A codec's own half, in a file of its own (flac_encoder.cc,
// vorbis_encoder.cc, or no_codec.cc where the build has not the library),
// built into a library of its own: only a program that asks for a codec
// (the batch command, the page) carries its library, never kelvor.
struct Codec {
  const char* name;                                   // "FLAC", "Ogg Vorbis"
  const char* (*refusal)(const EncodedSound& sound);  // why it cannot hold the sound; null when it can
  // A new state for encoding `sound` with `comments` into `sink`; null when
  // none can be had. The steps are Encoding's.
  void* (*make)(const EncodeRequest& request, std::vector<std::string> comments, const EncodedSound& sound,
                const ByteSink& sink);
  int (*begin)(void* state);
  int (*piece)(void* state, const uint8_t* bytes, uint32_t n);
  int (*end)(void* state);
  void (*release)(void* state);  // at any step: what was written stays the caller's to remove
};

const Codec& flac_codec();
const Codec& vorbis_codec();

// The codec of an encoded format; null for WAV.
const Codec* codec_of(OutputFormat format);
