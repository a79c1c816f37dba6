#include "wave/sound_shape.h"

#include <algorithm>

bool shape_asked(const ShapeRequest& r) {
  return r.fade_micros > 0 || r.delay_micros > 0 || r.target_micros >= 0 || r.to_end || r.loop.chosen;
}

bool seconds_micros(const char* text, int64_t most, int64_t* micros) {
  const char* p = text;
  int64_t whole = 0;
  int digits = 0;
  for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
    whole = whole * 10 + (*p - '0');
    if (whole > most / 1000000 + 1) return false;
  }
  int64_t fraction = 0;
  int places = 0;
  if (*p == '.') {
    for (++p; *p >= '0' && *p <= '9'; ++p, ++places) {
      if (places == 6) return false;
      fraction = fraction * 10 + (*p - '0');
    }
    if (places == 0) return false;
  }
  if (digits == 0 || *p != '\0') return false;
  for (; places < 6; ++places) fraction *= 10;
  const int64_t value = whole * 1000000 + fraction;
  if (value > most) return false;
  *micros = value;
  return true;
}

uint64_t frames_of_micros(int64_t micros, uint32_t rate) {
  if (micros <= 0) return 0;
  // Below 2^37 microseconds times a 16-bit rate: far inside 64 bits.
  return static_cast<uint64_t>(micros) * rate / 1000000u;
}

std::string loop_choice_refusal(const LoopChoice& c, const LoopFrames& f, uint32_t rate) {
  const std::string n = std::to_string(f.frames);
  if (!c.problem.empty()) return c.problem;
  if (c.rate >= 0 && c.rate != rate) {
    return "the list's rate is " + std::to_string(c.rate) + " Hz, the file's " + std::to_string(rate) + " Hz";
  }
  if (c.frames >= 0 && static_cast<uint64_t>(c.frames) != f.frames) {
    return "the list says " + std::to_string(c.frames) + " frames, the file has " + n;
  }
  if (c.end <= c.start) {
    return "the loop's end (" + std::to_string(c.end) + ") is not after its start (" + std::to_string(c.start) + ")";
  }
  if (c.end > f.frames) {
    return "the loop ends at frame " + std::to_string(c.end) + ", past the data's " + n + " frames";
  }
  return {};
}

void apply_loop_choice(const LoopChoice& c, LoopFrames* f) {
  if (!c.chosen) return;
  f->has_loop = 1;
  f->loop_start = c.start;
  f->loop_end = c.end;
  f->start_moved = 0;
  f->start_dropped = 0;
}

ShapeFrames shape_frames(const LoopFrames& f, uint32_t rate, int32_t passes, const ShapeRequest& r) {
  ShapeFrames s{};
  s.looped = f.has_loop != 0 && f.loop_end > f.loop_start;
  s.data = f.frames;
  s.start = s.looped ? f.loop_start : f.frames;
  s.end = s.looped ? f.loop_end : f.frames;
  const uint64_t more = passes > 1 && s.looped ? static_cast<uint64_t>(passes) - 1u : 0u;
  s.body = r.target_micros >= 0 ? frames_of_micros(r.target_micros, rate) : s.end + more * (s.end - s.start);
  s.delay = frames_of_micros(r.delay_micros, rate);
  s.fade = frames_of_micros(r.fade_micros, rate);
  s.total = s.body + s.delay + s.fade;
  if (r.to_end && s.looped) {
    s.ending = s.data - s.end;
    s.total += s.ending;
  }
  // Without a loop there is nothing past the data to play.
  if (!s.looped) s.total = std::min(s.total, s.data);
  return s;
}

namespace {

struct RunList {
  const ShapeFrames& s;
  uint64_t fade_from;
  std::vector<ShapeRun> runs;

  void add(uint64_t source, uint64_t frames, uint64_t repeats, uint64_t k) {
    if (frames == 0 || repeats == 0) return;
    const bool faded = k >= fade_from;
    runs.push_back(ShapeRun{source, frames, repeats, faded, faded ? k - fade_from : 0});
  }

  // Output frames [k, to), all on one side of the fade's start.
  void span(uint64_t k, uint64_t to) {
    if (k < s.end) {
      const uint64_t n = std::min(to, s.end) - k;
      add(k, n, 1, k);
      k += n;
    }
    const uint64_t pass = s.end - s.start;
    while (k < to) {
      const uint64_t at = (k - s.start) % pass;
      if (at != 0 || to - k < pass) {
        const uint64_t n = std::min(pass - at, to - k);
        add(s.start + at, n, 1, k);
        k += n;
      } else {
        const uint64_t whole = (to - k) / pass;
        add(s.start, pass, whole, k);
        k += whole * pass;
      }
    }
  }
};

}  // namespace

std::vector<ShapeRun> shape_runs(const ShapeFrames& s) {
  const uint64_t sounded = s.total - s.ending;  // the body, the delay and the fade
  RunList list{s, s.body + s.delay, {}};
  list.span(0, std::min(sounded, list.fade_from));
  if (sounded > list.fade_from) list.span(list.fade_from, sounded);
  if (s.ending > 0) list.runs.push_back(ShapeRun{s.end, s.ending, 1, false, 0});
  return list.runs;
}

void fade_frames(uint8_t* bytes, uint64_t count, uint32_t channels, uint32_t slot_bytes, uint64_t fade_at,
                 uint64_t fade) {
  const uint32_t sign = 1u << (8 * slot_bytes - 1);
  for (uint64_t frame = 0; frame < count; ++frame) {
    const uint64_t j = fade_at + frame;
    const int64_t gain = j < fade ? static_cast<int64_t>(fade - j) : 0;
    const int64_t whole = fade > 0 ? static_cast<int64_t>(fade) : 1;
    for (uint32_t c = 0; c < channels; ++c, bytes += slot_bytes) {
      uint32_t v = 0;
      for (uint32_t b = 0; b < slot_bytes; ++b) v |= uint32_t{bytes[b]} << (8 * b);
      // The sample as a signed value: 8-bit ones around 128, the others
      // sign-extended from the slot's width.
      const int64_t sample = slot_bytes == 1 ? int64_t{v} - 128
                                             : static_cast<int64_t>(v ^ sign) - static_cast<int64_t>(sign);
      const int64_t scaled = sample * gain / whole;  // C++ division truncates toward zero
      const uint32_t out = static_cast<uint32_t>(slot_bytes == 1 ? scaled + 128 : scaled);  // two's complement, mod 2^32
      for (uint32_t b = 0; b < slot_bytes; ++b) bytes[b] = static_cast<uint8_t>(out >> (8 * b));
    }
  }
}
