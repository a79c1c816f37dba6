#include "wave/encoded_formats.h"

#include "base/error_lines.h"
#include "base/messages.h"
#include "platform/platform.h"
#include "wave/encoder.h"

bool encoded_sound(const TrackInfo* t, const WavLayout& l, EncodedSound* out) {
  const uint32_t align = l.header.block_align;
  if (t->channels == 0 || align == 0 || align % t->channels != 0) return false;
  const uint32_t slot = align / t->channels;
  if (slot < 1 || slot > 4) return false;
  uint64_t bytes = 0;
  for (const DataCopy& c : l.copies) bytes += uint64_t{c.length} * c.repeats;
  *out = EncodedSound{t->channels, t->sample_rate, slot, slot * 8, bytes / align};
  return true;
}

std::vector<std::string> loop_comments(const WavLayout& l, const std::string& title) {
  std::vector<std::string> comments = {"TITLE=" + title};
  if (l.marks.marked && l.marks.end_frame > l.marks.start_frame) {
    comments.push_back("LOOPSTART=" + std::to_string(l.marks.start_frame));
    comments.push_back("LOOPLENGTH=" + std::to_string(l.marks.end_frame - l.marks.start_frame));
  }
  return comments;
}

int check_encodable(const TrackInfo* t, const WavLayout& l, const EncodeRequest& r) {
  EncodedSound sound{};
  const char* why = nullptr;
  if (!encoded_sound(t, l, &sound)) {
    why = "its frames are not whole slots of 1 to 4 bytes a sample";
  } else {
    why = r.codec->refusal(sound);
  }
  if (why == nullptr) return 0;
  say("refused : %s %s.\n", r.codec->name, why);
  return print_error(-35);
}

ByteSink file_sink(FILE* file) {
  return ByteSink{
      file,
      [](void* f, const uint8_t* bytes, size_t n) { return std::fwrite(bytes, 1, n, static_cast<FILE*>(f)) == n; },
      [](void* f, uint64_t at) { return seek64(static_cast<FILE*>(f), static_cast<int64_t>(at)) == 0; },
      [](void* f, uint64_t* at) {
        const int64_t here = tell64(static_cast<FILE*>(f));
        *at = here < 0 ? 0 : static_cast<uint64_t>(here);
        return here >= 0;
      },
  };
}

Encoding::Encoding(const EncodeRequest& r, std::vector<std::string> comments, const EncodedSound& sound,
                   const ByteSink& sink)
    : codec_(r.codec), state_(r.codec->make(r, std::move(comments), sound, sink)) {}

Encoding::~Encoding() {
  if (state_ != nullptr) codec_->release(state_);
}

int Encoding::begin() { return state_ != nullptr ? codec_->begin(state_) : print_error(-36); }
int Encoding::piece(const uint8_t* bytes, uint32_t n) { return codec_->piece(state_, bytes, n); }
int Encoding::end() { return codec_->end(state_); }

int encode_file(FILE* src, FILE* dst, const TrackInfo* t, const WavLayout& l, const Settings* s, const EncodeRequest& r) {
  EncodedSound sound{};
  if (!encoded_sound(t, l, &sound)) return print_error(-35);
  Encoding encoding(r, loop_comments(l, r.title), sound, file_sink(dst));
  const Encoder steps{
      &encoding,
      [](void* e, const TrackInfo*, const WavLayout&) { return static_cast<Encoding*>(e)->begin(); },
      [](void* e, const uint8_t* bytes, uint32_t n) { return static_cast<Encoding*>(e)->piece(bytes, n); },
      [](void* e) { return static_cast<Encoding*>(e)->end(); },
  };
  return encode_layout(src, t, l, s, steps);
}

void FrameQueue::take(const uint8_t* bytes, uint32_t n) {
  const uint32_t slot = sound_.slot_bytes;
  for (uint32_t i = 0; i < n; ++i) {
    held_[held_bytes_++] = bytes[i];
    if (held_bytes_ < slot) continue;
    held_bytes_ = 0;
    uint32_t v = 0;
    for (uint32_t b = 0; b < slot; ++b) v |= uint32_t{held_[b]} << (8 * b);
    int32_t sample;
    if (slot == 1) {
      sample = static_cast<int32_t>(v) - 128;  // 8-bit WAV samples are unsigned
    } else {
      const uint32_t sign = 1u << (8 * slot - 1);
      // Sign-extended from the slot's width, in defined arithmetic.
      sample = static_cast<int32_t>(static_cast<int64_t>(v ^ sign) - static_cast<int64_t>(sign));
    }
    samples_.push_back(sample);
  }
}

uint64_t FrameQueue::frames() const {
  const uint64_t whole = samples_.size() / sound_.channels;
  return whole < left_ ? whole : left_;
}

void FrameQueue::drop_frames() {
  const uint64_t whole = samples_.size() / sound_.channels;
  left_ -= frames();
  samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(whole * sound_.channels));
}

void FrameQueue::drop_frames(uint64_t n) {
  left_ -= n;
  samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(n * sound_.channels));
}
