#include "app/loop_list.h"

#include <cmath>
#include <cstdio>

#include "app/shape_text.h"
#include "app/track_facts.h"
#include "wave/wavheader.h"
#include "wave/output_kinds.h"

namespace {

constexpr const char* kColumns[] = {
    "path", "output", "loop_end_for", "wav", "wav_role", "wav_frames", "wav_2", "wav_2_role", "wav_2_frames",
    "rate", "channels", "bits", "kept_bits", "block_align", "sound_frames", "dropped_bytes", "loop_count",
    "loop_start_byte", "loop_start_frame", "loop_end_frame_exclusive", "smpl_loop_end_frame",
    "loop_start_seconds", "loop_end_seconds", "loop_length_frames", "godot_loop_offset", "loop_from", "loop_list_line",
    "fade_seconds", "fade_delay_seconds", "target_seconds", "play_to_end"};
constexpr const char* kJsonFormat = "kelvor loop list 5";
constexpr const char* kAbout =
    "loop.end_frame_exclusive is the frame after the loop's last; loop.smpl_end_frame is the end frame the WAV's "
    "smpl chunk holds: its last frame for loop_end_for \"riff\", the frame after it for \"godot\"; "
    "loop.godot_loop_offset is the value of Godot 4's loop_offset import setting (seconds) that lands on the loop start";

// A value of a line: a number, a text, or nothing (JSON's null, an empty
// cell).
struct Value {
  enum Type { kNull, kNumber, kText, kSeconds } type = kNull;
  int64_t number = 0;
  std::string text;  // kText; kSeconds: the number as the lists write it
};

Value null() { return Value{}; }
Value num(int64_t n) { return Value{Value::kNumber, n, {}}; }
Value text(std::string t) { return Value{Value::kText, 0, std::move(t)}; }
Value secs(int64_t frame, uint32_t rate) {
  return rate > 0 ? Value{Value::kSeconds, 0, list_seconds(frame, rate)} : null();
}
Value godot_offset(int64_t frame, uint32_t rate) {
  return rate > 0 ? Value{Value::kSeconds, 0, godot_loop_offset(frame, rate)} : null();
}

// The facts of a line, as web/shared/loop_list.js reads the run's.
struct Line {
  const ListedFile* file;
  std::vector<RunFact> facts;
  const OutputKindRow* kind;
  int64_t unrolled_frames;  // of an unrolled WAV, an RF64 one past 4 GiB included
  int64_t get(const char* name) const { return fact(facts, name); }
  bool smpl() const { return kind->loop_end && file->format == OutputFormat::kWav; }
};

int64_t frames_of(const std::string& role, const Line& l) {
  if (role == "intro") return l.get("loop_start_frame");
  if (role == "loop") return l.get("loop_end_frame") - l.get("loop_start_frame");
  if (role == "unrolled") return l.get("shaped") != 0 ? l.get("output_frames") : l.unrolled_frames;
  return l.get("frames");
}

// The line's loop, in the JSON's order, or nothing.
std::vector<std::pair<const char*, Value>> loop_of(const Line& l) {
  if (l.get("has_loop") == 0) return {};
  const uint32_t rate = static_cast<uint32_t>(l.get("sample_rate"));
  // A chosen loop's start is a frame: its byte is that frame's first.
  const int64_t byte = l.get("loop_chosen") != 0 ? l.get("loop_start_frame") * l.get("block_align") : l.get("loop_start");
  return {{"start_byte", num(byte)},
          {"start_frame", num(l.get("loop_start_frame"))},
          {"end_frame_exclusive", num(l.get("loop_end_frame"))},
          {"smpl_end_frame", l.smpl() ? num(l.get("smpl_loop_end")) : null()},
          {"start_seconds", secs(l.get("loop_start_frame"), rate)},
          {"end_seconds", secs(l.get("loop_end_frame"), rate)},
          {"length_frames", num(l.get("loop_end_frame") - l.get("loop_start_frame"))},
          {"godot_loop_offset", godot_offset(l.get("loop_start_frame"), rate)}};
}

// The line's fields after its WAVs, in the JSON's order.
std::vector<std::pair<const char*, Value>> numbers_of(const Line& l) {
  return {{"rate", num(l.get("sample_rate"))},
          {"channels", num(l.get("channels"))},
          {"bits", num(l.get("sample_bits"))},
          {"kept_bits", num(l.kind->whole_frames ? l.get("kept_bits") : l.get("sample_bits"))},
          {"block_align", num(l.get("block_align"))},
          {"sound_frames", num(l.get("frames"))},
          {"dropped_bytes", num(l.kind->whole_frames ? l.get("dropped_bytes") : 0)},
          // A target length is instead of a loop count.
          {"loop_count", l.get("target_micros") >= 0 && l.kind->loop_count ? null() : num(l.get("loop_count"))}};
}

Value micros(int64_t us) { return Value{Value::kSeconds, 0, micros_text(us)}; }

// Where the loop came from, and the lengths the unrolled sound was asked
// for, in the JSON's order: after the loop in the CSV, before it in the JSON.
std::vector<std::pair<const char*, Value>> request_of(const Line& l) {
  const bool unrolls = l.kind->loop_count;
  const bool chosen = l.get("loop_chosen") != 0;
  const int64_t target = l.get("target_micros");
  return {{"loop_from", l.get("has_loop") != 0 ? text(chosen ? "list" : "file") : null()},
          {"loop_list_line", chosen ? num(l.get("loop_list_line")) : null()},
          {"fade_seconds", unrolls ? micros(l.get("fade_micros")) : null()},
          {"fade_delay_seconds", unrolls ? micros(l.get("delay_micros")) : null()},
          {"target_seconds", unrolls && target >= 0 ? micros(target) : null()},
          {"play_to_end", unrolls ? num(l.get("to_end")) : null()}};
}

Value loop_end_for(const Line& l) {
  return l.smpl() ? text(loop_end_id(l.file->report.loop_end)) : null();
}

// The frames of the unrolled sound: its data's length in full over the
// header's block align (the sound's own frames where there is none).
int64_t unrolled_frames_of(const RunReport& r, const std::vector<RunFact>& facts) {
  Settings heard;
  heard.loop_count = r.loop_count;
  WavHeaderFields h{};
  uint64_t data = 0;
  if (derive_header_any_length(&r.track, &heard, &h, &data) != 0 || h.block_align == 0) return fact(facts, "frames");
  return static_cast<int64_t>(data / h.block_align);
}

Line line_of(const ListedFile& f) {
  std::vector<RunFact> facts = run_facts(f.report);
  const int64_t unrolled = unrolled_frames_of(f.report, facts);
  return Line{&f, std::move(facts), &output_kind_row(f.report.kind), unrolled};
}

// ---- CSV: RFC 4180, a name that reads as a formula written as ="NAME".

std::string quoted_if_needed(const std::string& t) {
  if (t.find_first_of(",\"\r\n") == std::string::npos) return t;
  std::string out = "\"";
  for (const char c : t) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string cell(const Value& v) {
  switch (v.type) {
    case Value::kNull:
      return "";
    case Value::kNumber:
      return std::to_string(v.number);
    case Value::kSeconds:
      return v.text;
    case Value::kText:
      break;
  }
  const std::string& t = v.text;
  if (!t.empty() && (t[0] == '=' || t[0] == '+' || t[0] == '-' || t[0] == '@' || t[0] == '\t' || t[0] == '\r')) {
    std::string formula = "=\"";
    for (const char c : t) formula += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted_if_needed(formula + "\"");
  }
  return quoted_if_needed(t);
}

std::vector<Value> csv_row(const Line& l) {
  const std::vector<ListedWav>& w = l.file->wavs;
  auto wav = [&](size_t i) -> std::vector<Value> {
    if (i >= w.size()) return {null(), null(), null()};
    return {text(w[i].name), text(w[i].role), num(frames_of(w[i].role, l))};
  };
  std::vector<Value> row = {text(l.file->path), text(l.kind->name), loop_end_for(l)};
  for (size_t i = 0; i < 2; ++i) {
    for (Value& v : wav(i)) row.push_back(std::move(v));
  }
  for (auto& [name, v] : numbers_of(l)) row.push_back(std::move(v));
  std::vector<std::pair<const char*, Value>> loop = loop_of(l);
  if (loop.empty()) loop.resize(8);
  for (auto& [name, v] : loop) row.push_back(std::move(v));
  for (auto& [name, v] : request_of(l)) row.push_back(std::move(v));
  return row;
}

// ---- JSON, as JSON.stringify(value, null, 2) writes it.

void put_json_string(std::string* out, const std::string& t) {
  *out += '"';
  for (const char c : t) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\b': *out += "\\b"; break;
      case '\f': *out += "\\f"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      default:
        if (u < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
          *out += escaped;
        } else {
          *out += c;
        }
    }
  }
  *out += '"';
}

void put_json_value(std::string* out, const Value& v) {
  if (v.type == Value::kNull) {
    *out += "null";
  } else if (v.type == Value::kNumber) {
    *out += std::to_string(v.number);
  } else if (v.type == Value::kSeconds) {
    *out += v.text;
  } else {
    put_json_string(out, v.text);
  }
}

// Fields of an object at `indent` (its own braces one step out).
void put_fields(std::string* out, const std::vector<std::pair<const char*, Value>>& fields, const std::string& indent) {
  for (size_t i = 0; i < fields.size(); ++i) {
    *out += indent;
    put_json_string(out, fields[i].first);
    *out += ": ";
    put_json_value(out, fields[i].second);
    *out += i + 1 < fields.size() ? ",\n" : "\n";
  }
}

void put_json_line(std::string* out, const Line& l) {
  const std::string in = "      ";
  *out += "    {\n";
  put_fields(out, {{"path", text(l.file->path)}, {"output", text(l.kind->name)}, {"loop_end_for", loop_end_for(l)}}, in);
  out->back() = ',';
  *out += "\n";
  *out += in + "\"wavs\": ";
  if (l.file->wavs.empty()) *out += "[]";
  for (size_t i = 0; i < l.file->wavs.size(); ++i) {
    const ListedWav& w = l.file->wavs[i];
    *out += i == 0 ? "[\n" : "";
    *out += in + "  {\n";
    put_fields(out, {{"name", text(w.name)}, {"role", text(w.role)}, {"frames", num(frames_of(w.role, l))}}, in + "    ");
    *out += in + "  }";
    *out += i + 1 < l.file->wavs.size() ? ",\n" : "\n" + in + "]";
  }
  *out += ",\n";
  put_fields(out, numbers_of(l), in);
  out->back() = ',';
  *out += "\n";
  put_fields(out, request_of(l), in);
  out->back() = ',';
  *out += "\n";
  *out += in + "\"loop\": ";
  const std::vector<std::pair<const char*, Value>> loop = loop_of(l);
  if (loop.empty()) {
    *out += "null\n";
  } else {
    *out += "{\n";
    put_fields(out, loop, in + "  ");
    *out += in + "}\n";
  }
  *out += "    }";
}

}  // namespace

const char* loop_end_id(LoopEnd end) { return end == LoopEnd::kPastLast ? "godot" : "riff"; }

namespace {

// `x` as the lists write seconds: its exact value rounded to the
// microsecond, a half up, as toFixed rounds; trailing zeros dropped.
std::string microseconds_text(double x) {
  int e = 0;
  const double m = std::frexp(x, &e);  // x = mantissa * 2^(e - 53)
  __extension__ typedef unsigned __int128 Wide;
  const uint64_t mantissa = static_cast<uint64_t>(std::ldexp(m, 53));
  const int shift = 53 - e;
  Wide micro = static_cast<Wide>(mantissa) * 1000000u;
  if (shift > 0 && shift < 127) {
    const Wide half = static_cast<Wide>(1) << (shift - 1);
    micro = (micro + half) >> shift;
  } else if (shift >= 127) {
    micro = 0;
  } else {
    micro <<= -shift;
  }
  const uint64_t whole = static_cast<uint64_t>(micro / 1000000u);
  uint64_t fraction = static_cast<uint64_t>(micro % 1000000u);
  std::string out = std::to_string(whole);
  if (fraction == 0) return out;
  int digits = 6;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --digits;
  }
  std::string tail = std::to_string(fraction);
  return out + "." + std::string(static_cast<size_t>(digits) - tail.size(), '0') + tail;
}

}  // namespace

// The double JavaScript divides to, then printed as Number(x.toFixed(6)).
std::string list_seconds(int64_t frame, uint32_t rate) { return microseconds_text(static_cast<double>(frame) / rate); }

std::string godot_loop_offset(int64_t frame, uint32_t rate) {
  return microseconds_text((static_cast<double>(frame) + 0.5) / rate);
}

std::string loop_list_csv(const std::vector<ListedFile>& files) {
  std::string out = "\xEF\xBB\xBF";
  for (size_t i = 0; i < std::size(kColumns); ++i) {
    if (i > 0) out += ',';
    out += kColumns[i];
  }
  out += "\r\n";
  for (const ListedFile& f : files) {
    const std::vector<Value> row = csv_row(line_of(f));
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) out += ',';
      out += cell(row[i]);
    }
    out += "\r\n";
  }
  return out;
}

std::string loop_list_json(const std::vector<ListedFile>& files) {
  std::string out = "{\n  \"format\": ";
  put_json_string(&out, kJsonFormat);
  out += ",\n  \"about\": ";
  put_json_string(&out, kAbout);
  out += ",\n  \"files\": ";
  if (files.empty()) out += "[]";
  for (size_t i = 0; i < files.size(); ++i) {
    out += i == 0 ? "[\n" : ",\n";
    put_json_line(&out, line_of(files[i]));
  }
  if (!files.empty()) out += "\n  ]";
  return out + "\n}\n";
}
