// Ogg Vorbis through libvorbis and libogg, the reference encoder, in its
// quality mode. The identification header has a page of its own and the
// comment and setup headers the next (flushed before any audio), so the
// comments lie in one page within the first three, where every reader
// looks; the last page's granule position is the sound's frames.
#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <string>
#include <vector>

#include "base/error_lines.h"
#include "wave/encoded_formats.h"

namespace {

struct VorbisState {
  vorbis_info info{};
  vorbis_comment comment{};
  vorbis_dsp_state dsp{};
  vorbis_block block{};
  ogg_stream_state stream{};
  bool dsp_made = false, block_made = false, stream_made = false;
  EncodedSound sound;
  FrameQueue frames;
  float scale = 1.0f;
  int quality_tenths;
  std::vector<std::string> comments;
  ByteSink sink;
  VorbisState(const EncodedSound& s, int quality, std::vector<std::string> c, const ByteSink& out)
      : sound(s), frames(s), quality_tenths(quality), comments(std::move(c)), sink(out) {
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
  }
  VorbisState(const VorbisState&) = delete;
  VorbisState& operator=(const VorbisState&) = delete;
  ~VorbisState() {
    if (stream_made) ogg_stream_clear(&stream);
    if (block_made) vorbis_block_clear(&block);
    if (dsp_made) vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
  }
};

bool write_page(const ogg_page& page, const ByteSink& sink) {
  return sink.write(sink.target, page.header, static_cast<size_t>(page.header_len)) &&
         sink.write(sink.target, page.body, static_cast<size_t>(page.body_len));
}

// Every page the stream holds, or (`flush`) also the one it is filling.
int write_pages(VorbisState* v, bool flush) {
  ogg_page page;
  while (flush ? ogg_stream_flush(&v->stream, &page) != 0 : ogg_stream_pageout(&v->stream, &page) != 0) {
    if (!write_page(page, v->sink)) return print_error(-52);
  }
  return 0;
}

// The packets the analysis has ready, into pages.
int drain(VorbisState* v) {
  while (vorbis_analysis_blockout(&v->dsp, &v->block) == 1) {
    if (vorbis_analysis(&v->block, nullptr) != 0 || vorbis_bitrate_addblock(&v->block) != 0) return print_error(-36);
    ogg_packet packet;
    while (vorbis_bitrate_flushpacket(&v->dsp, &packet) == 1) {
      if (ogg_stream_packetin(&v->stream, &packet) != 0) return print_error(-36);
      const int result = write_pages(v, false);
      if (result != 0) return result;
    }
  }
  return 0;
}

void* vorbis_make(const EncodeRequest& r, std::vector<std::string> comments, const EncodedSound& sound,
                  const ByteSink& sink) {
  return new VorbisState(sound, r.vorbis_quality_tenths, std::move(comments), sink);
}

void vorbis_release(void* p) { delete static_cast<VorbisState*>(p); }

int vorbis_begin(void* p) {
  VorbisState* v = static_cast<VorbisState*>(p);
  for (const std::string& c : v->comments) vorbis_comment_add(&v->comment, c.c_str());
  if (vorbis_encode_init_vbr(&v->info, static_cast<long>(v->sound.channels), static_cast<long>(v->sound.rate),
                             static_cast<float>(v->quality_tenths) / 100.0f) != 0) {
    return print_error(-36);
  }
  v->dsp_made = vorbis_analysis_init(&v->dsp, &v->info) == 0;
  v->block_made = v->dsp_made && vorbis_block_init(&v->dsp, &v->block) == 0;
  v->stream_made = v->block_made && ogg_stream_init(&v->stream, 0x6b6c7672) == 0;  // a fixed serial: the same bytes each run
  if (!v->stream_made) return print_error(-36);
  ogg_packet id, comments, setup;
  if (vorbis_analysis_headerout(&v->dsp, &v->comment, &id, &comments, &setup) != 0) return print_error(-36);
  ogg_stream_packetin(&v->stream, &id);
  int result = write_pages(v, true);  // the identification header alone in the first page
  if (result != 0) return result;
  ogg_stream_packetin(&v->stream, &comments);
  ogg_stream_packetin(&v->stream, &setup);
  result = write_pages(v, true);
  v->scale = 1.0f / static_cast<float>(uint64_t{1} << (v->sound.bits - 1));
  return result;
}

// Hands the whole frames held to the analysis, as floats in [-1, 1).
// The analysis is handed the sound in steps of this many frames, whatever
// the pieces it came in: libvorbis's bytes depend on the steps it is given
// (how far its envelope search can look when asked for a block), and the
// same sound must give the same file from the batch command and the page.
constexpr uint64_t kAnalysisFrames = 1024;

// Hands the analysis every whole step held, or (`all`, at the end) every
// frame, as floats in [-1, 1), the packets of each step into pages.
int vorbis_flush(VorbisState* v, bool all) {
  const uint32_t channels = v->sound.channels;
  const uint64_t held = v->frames.frames();
  const int32_t* samples = v->frames.samples();
  uint64_t done = 0;
  while (held - done >= kAnalysisFrames || (all && done < held)) {
    const uint64_t n = held - done < kAnalysisFrames ? held - done : kAnalysisFrames;
    float** buffer = vorbis_analysis_buffer(&v->dsp, static_cast<int>(n));
    for (uint64_t f = 0; f < n; ++f) {
      const int32_t* frame = samples + (done + f) * channels;
      for (uint32_t c = 0; c < channels; ++c) buffer[c][f] = static_cast<float>(frame[c]) * v->scale;
    }
    if (vorbis_analysis_wrote(&v->dsp, static_cast<int>(n)) != 0) return print_error(-36);
    const int result = drain(v);
    if (result != 0) return result;
    done += n;
  }
  v->frames.drop_frames(done);
  return 0;
}

int vorbis_piece(void* p, const uint8_t* bytes, uint32_t n) {
  VorbisState* v = static_cast<VorbisState*>(p);
  v->frames.take(bytes, n);
  return vorbis_flush(v, false);
}

int vorbis_end(void* p) {
  VorbisState* v = static_cast<VorbisState*>(p);
  int result = vorbis_flush(v, true);
  if (result != 0) return result;
  vorbis_analysis_wrote(&v->dsp, 0);  // the end of the sound: the last packets, the end of the stream
  result = drain(v);
  return result != 0 ? result : write_pages(v, true);
}

const char* vorbis_refusal(const EncodedSound& s) {
  if (s.channels > 255) return "holds at most 255 channels";
  vorbis_info probe;
  vorbis_info_init(&probe);
  const int refused = vorbis_encode_setup_vbr(&probe, static_cast<long>(s.channels), static_cast<long>(s.rate), 0.5f);
  vorbis_info_clear(&probe);
  return refused != 0 ? "has no encoder setting for this sample rate and channel count" : nullptr;
}

}  // namespace

const Codec& vorbis_codec() {
  static constexpr Codec kCodec{"Ogg Vorbis", vorbis_refusal, vorbis_make, vorbis_begin, vorbis_piece, vorbis_end,
                                vorbis_release};
  return kCodec;
}
