#include "app/shape_text.h"

#include "app/track_facts.h"

std::string micros_text(int64_t micros) {
  std::string out = std::to_string(micros / 1000000);
  int64_t fraction = micros % 1000000;
  if (fraction == 0) return out;
  std::string digits = std::to_string(fraction);
  digits = std::string(6 - digits.size(), '0') + digits;
  while (digits.back() == '0') digits.pop_back();
  return out + "." + digits;
}

namespace {

std::string frames_text(int64_t frames) { return std::to_string(frames) + (frames == 1 ? " frame" : " frames"); }

std::string loop_sentence(const RunReport& r, const std::vector<RunFact>& f) {
  const LoopChoice& c = r.shape.loop;
  std::string own = fact(f, "file_has_loop") != 0
                        ? "the file's: " + std::to_string(fact(f, "file_loop_start_frame")) + " to " +
                              std::to_string(fact(f, "file_loop_end_frame"))
                        : "the file had none";
  return "the loop is frames " + std::to_string(c.start) + " to " + std::to_string(c.end) + ", from " + c.list +
         " line " + std::to_string(c.line) + " (" + own + ")";
}

std::string length_sentence(const RunReport& r, const std::vector<RunFact>& f) {
  const ShapeRequest& s = r.shape;
  std::string text = s.target_micros >= 0 ? "the loop repeated to " + micros_text(s.target_micros) + " s"
                                          : std::to_string(r.loop_count) + (r.loop_count == 1 ? " pass" : " passes");
  if (s.delay_micros > 0) text += ", " + micros_text(s.delay_micros) + " s more";
  if (s.fade_micros > 0) text += ", a " + micros_text(s.fade_micros) + " s fade";
  if (s.to_end) text += ", then on to the end of the data";
  const int64_t frames = fact(f, "output_frames");
  const int64_t rate = fact(f, "sample_rate");
  text += ": " + frames_text(frames);
  if (rate > 0) text += " (" + micros_text(frames * 1000000 / rate) + " s)";
  return text;
}

}  // namespace

std::vector<std::string> shape_sentences(const RunReport& r) {
  std::vector<std::string> out;
  if (r.track.trk_mark == 0) return out;
  const std::vector<RunFact> f = run_facts(r);
  if (r.shape.loop.chosen) out.push_back(loop_sentence(r, f));
  const ShapeRequest& s = r.shape;
  const bool lengths = s.fade_micros > 0 || s.delay_micros > 0 || s.target_micros >= 0 || s.to_end;
  if (!lengths) return out;
  if (fact(f, "shaped") == 0) {
    out.push_back("no loop to repeat: the sound is heard once, not faded");
  } else {
    out.push_back(length_sentence(r, f));
  }
  return out;
}
