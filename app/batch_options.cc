#include "app/batch_options.h"

#include <climits>
#include <cstring>

#include "app/loop_list.h"

namespace {

// A positive decimal number no larger than `most`, or -1.
int64_t positive(const char* text, int64_t most) {
  if (text == nullptr || *text == '\0') return -1;
  int64_t n = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return -1;
    n = n * 10 + (*p - '0');
    if (n > most) return -1;
  }
  return n > 0 ? n : -1;
}

std::string kinds_list() {
  std::string list;
  for (const OutputKindRow& row : kOutputKindRows) list += std::string(list.empty() ? "" : ", ") + row.id;
  return list;
}

std::string set_kind(const char* v, BatchOptions* o) {
  for (const OutputKindRow& row : kOutputKindRows) {
    if (std::strcmp(v, row.id) == 0) {
      o->kind = row.kind;
      return {};
    }
  }
  return std::string("there is no kind \"") + v + "\": the kinds are " + kinds_list();
}

std::string set_format(const char* v, BatchOptions* o) {
  std::string list;
  for (const OutputFormatRow& row : kOutputFormatRows) {
    if (std::strcmp(v, row.id) == 0) {
      o->format = row.format;
      return {};
    }
    list += std::string(list.empty() ? "" : ", ") + row.id;
  }
  return std::string("there is no format \"") + v + "\": the formats are " + list;
}

// A quality from -1 to 10 in tenths at most: "5", "7.5", "-0.5".
std::string set_quality(const char* v, BatchOptions* o) {
  const std::string problem = std::string("the quality must be from -1 to 10, in tenths at most, not \"") + v + "\"";
  const char* p = v;
  const bool negative = *p == '-';
  if (negative) ++p;
  int tenths = 0, digits = 0;
  for (; *p >= '0' && *p <= '9'; ++p, ++digits) tenths = tenths * 10 + (*p - '0');
  if (digits == 0 || digits > 2) return problem;
  tenths *= 10;
  if (*p == '.') {
    if (p[1] < '0' || p[1] > '9' || p[2] != '\0') return problem;
    tenths += p[1] - '0';
    p += 2;
  }
  if (*p != '\0') return problem;
  if (negative) tenths = -tenths;
  if (tenths < -10 || tenths > 100) return problem;
  o->quality_tenths = tenths;
  o->quality_given = true;
  return {};
}

std::string set_loop_end(const char* v, BatchOptions* o) {
  o->loop_end_given = true;
  for (const LoopEnd end : {LoopEnd::kLastFrame, LoopEnd::kPastLast}) {
    if (std::strcmp(v, loop_end_id(end)) == 0) {
      o->loop_end = end;
      return {};
    }
  }
  return std::string("there is no loop end \"") + v + "\": it is " + loop_end_id(LoopEnd::kLastFrame) + " or " +
         loop_end_id(LoopEnd::kPastLast);
}

std::string set_loop_count(const char* v, BatchOptions* o) {
  const int64_t n = positive(v, INT32_MAX);
  if (n < 0) return std::string("the loop count must be a whole number from 1 to 2147483647, not \"") + v + "\"";
  o->loop_count = static_cast<int32_t>(n);
  o->loop_count_given = true;
  return {};
}

std::string set_buffer(const char* v, BatchOptions* o) {
  const int64_t n = positive(v, INT32_MAX);
  if (n < 0) return std::string("the copy buffer must be a whole number of bytes from 1 to 2147483647, not \"") + v + "\"";
  o->buffer_size = static_cast<int32_t>(n);
  return {};
}

std::string set_jobs(const char* v, BatchOptions* o) {
  const int64_t n = positive(v, 256);
  if (n < 0) return std::string("the number of files at once must be from 1 to 256, not \"") + v + "\"";
  o->jobs = static_cast<int>(n);
  return {};
}

std::string set_out(const char* v, BatchOptions* o) {
  if (*v == '\0') return "--out needs a folder";
  o->out = v;
  return {};
}

// Whether `v` ends in `tail`, any letter case.
bool ends_in(const char* v, const char* tail) {
  const size_t n = std::strlen(v), t = std::strlen(tail);
  if (n <= t) return false;
  for (size_t i = 0; i < t; ++i) {
    const char c = v[n - t + i];
    if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != tail[i]) return false;
  }
  return true;
}

// A loop list's name, written or applied: a .csv, or a .json (`*json`).
std::string set_list(const char* v, const char* what, std::string* name, bool* json) {
  *json = ends_in(v, ".json");
  if (!ends_in(v, ".csv") && !*json) return std::string(what) + " \"" + v + "\" must end in .csv or .json";
  *name = v;
  return {};
}

std::string set_loop_list(const char* v, BatchOptions* o) {
  return set_list(v, "the loop list", &o->loop_list, &o->loop_list_json);
}

std::string set_loops(const char* v, BatchOptions* o) {
  return set_list(v, "the loop list to apply", &o->loops, &o->loops_json);
}

// A length in seconds into `*field`, no longer than `most`.
std::string set_seconds(const char* v, int64_t most, const char* what, int64_t* field) {
  if (!seconds_micros(v, most, field)) {
    return std::string(what) + " must be seconds from 0 to " + std::to_string(most / 1000000) +
           ", six digits after the point at most, not \"" + v + "\"";
  }
  return {};
}

std::string set_fade(const char* v, BatchOptions* o) {
  return set_seconds(v, kLongestFadeMicros, "the fade (--fade)", &o->shape.fade_micros);
}
std::string set_delay(const char* v, BatchOptions* o) {
  return set_seconds(v, kLongestFadeMicros, "the fade delay (--fade-delay)", &o->shape.delay_micros);
}
std::string set_target(const char* v, BatchOptions* o) {
  return set_seconds(v, kLongestTargetMicros, "the target length (--target)", &o->shape.target_micros);
}
std::string set_to_end(const char*, BatchOptions* o) {
  o->shape.to_end = true;
  return {};
}

// A switch: the option sets its flag.
template <bool BatchOptions::*Flag>
std::string set_flag(const char*, BatchOptions* o) {
  o->*Flag = true;
  return {};
}

const std::vector<BatchOptionRow> kRows = {
    {"out", 'o', "DIR",
     "Write the WAVs into DIR, the folders under it mirroring the inputs: Game/bgm/town.zq becomes "
     "DIR/Game/bgm/town.wav. Without it each WAV goes beside its source.",
     set_out},
    {"kind", 'k', "KIND",
     "What to write: unrolled (the loop heard the loop count's times, as kelvor writes it; the default), kept "
     "(the sound once, its loop points in a smpl chunk), apart (NAME - intro.wav and NAME - loop.wav), marked "
     "(unrolled, the loop's first pass in a smpl chunk).",
     set_kind},
    {"format", 'f', "FORMAT",
     "The files' format: wav (the default), flac (lossless: it decodes to the samples of the WAV of the same kind) "
     "or ogg (Ogg Vorbis). In FLAC and Ogg the loop that kept and marked mark is in the LOOPSTART and LOOPLENGTH "
     "comments, in samples, after TITLE.",
     set_format},
    {"quality", 0, "Q", "Ogg Vorbis's quality, -1 to 10 as oggenc -q takes it (default 5, about 160 kbit/s for stereo "
     "at 44.1 kHz); for ogg only.", set_quality},
    {"loop-count", 'l', "N", "Hear the loop N times in all (default 2); for unrolled and marked only.", set_loop_count},
    {"fade", 0, "S",
     "Fade the unrolled sound out over its last S seconds (default 0: no fade, the unrolled sound exactly); for "
     "unrolled and marked only. The fade scales each sample by the frames left over the fade's frames.",
     set_fade},
    {"fade-delay", 0, "S", "Play S seconds more of the loop after the passes (or the target) before the fade; for "
     "unrolled and marked only.", set_delay},
    {"target", 0, "S",
     "Instead of a loop count, repeat the loop until the sound is S seconds long, then the delay and the fade; for "
     "unrolled and marked only.",
     set_target},
    {"to-end", 0, nullptr,
     "After the passes, play the sound on past the loop's end to the end of its data (a loop list's loop that ends "
     "before the data), instead of a fade; for unrolled and marked only.",
     set_to_end},
    {"loops", 0, "FILE",
     "Convert each file with the loop a loop list gives it (a .csv or .json as --loop-list writes them, perhaps "
     "edited): its loop_start_frame and loop_end_frame_exclusive (or loop_length_frames), found by its path. A line "
     "that names no file, or whose loop, rate or frame count does not fit its file, is refused, and nothing is "
     "written for it.",
     set_loops},
    {"loop-end", 0, "END",
     "Where a smpl chunk's loop ends: riff (its last frame, as samplers, FMOD, Unreal, Wwise and libsndfile read "
     "it; the default) or godot (the frame after it); for kept and marked only.",
     set_loop_end},
    {"short-format", 'x', nullptr, "Write the short format block, as kelvor -x; for unrolled only.",
     set_flag<&BatchOptions::short_format>},
    {"replace", 0, nullptr,
     "Replace a WAV that is already there. Without it both are kept: the new one is numbered, as in "
     "\"town (2).wav\", and the file's lines say so.",
     set_flag<&BatchOptions::replace>},
    {"loop-list", 0, "FILE",
     "Write the run's loop list to FILE, a .csv or a .json: each converted file, its WAVs and where its loop lies.",
     set_loop_list},
    {"jobs", 'j', "N", "Convert N files at once (default: one per processor). The WAVs and the lines are the same "
     "whatever N.", set_jobs},
    {"quiet", 'q', nullptr,
     "Print the lines of the files that failed, had a warning or were numbered, and the closing lines; not those "
     "of every file.",
     set_flag<&BatchOptions::quiet>},
    {"buffer", 'b', "N", "The copy buffer in bytes, as kelvor -b.", set_buffer},
    {"help", 'h', nullptr, "Print this help and exit.", set_flag<&BatchOptions::help>},
    {"version", 0, nullptr, "Print the version and exit.", set_flag<&BatchOptions::version>},
};

const BatchOptionRow* row_named(const std::string& name) {
  for (const BatchOptionRow& row : kRows) {
    if (name == row.long_name) return &row;
  }
  return nullptr;
}

const BatchOptionRow* row_of(char letter) {
  for (const BatchOptionRow& row : kRows) {
    if (row.letter == letter) return &row;
  }
  return nullptr;
}

// What the kind of `o` does not take, as one line; empty when it takes all.
std::string refused_by_kind(const BatchOptions& o) {
  const OutputKindRow& row = output_kind_row(o.kind);
  const char* refused = nullptr;
  if (o.short_format && !row.short_format) {
    refused = "the short format block (-x)";
  } else if (o.loop_count_given && !row.loop_count && o.loop_count != 1) {
    refused = "a loop count (-l) other than 1";
  } else if (o.loop_end_given && !row.loop_end) {
    refused = "a loop end (--loop-end)";
  } else if (o.loop_end_given && o.format != OutputFormat::kWav) {
    return "a loop end (--loop-end) is for a smpl chunk, not for " + std::string(output_format_row(o.format).name) +
           ", whose loop is in its comments";
  }
  if (refused == nullptr && o.short_format && o.format != OutputFormat::kWav) {
    return "the short format block (-x) is not for " + std::string(output_format_row(o.format).name);
  }
  const ShapeRequest& shape = o.shape;
  if (refused == nullptr && !row.loop_count) {
    if (shape.fade_micros > 0) refused = "a fade (--fade)";
    else if (shape.delay_micros > 0) refused = "a fade delay (--fade-delay)";
    else if (shape.target_micros >= 0) refused = "a target length (--target)";
    else if (shape.to_end) refused = "the real ending (--to-end)";
  }
  if (refused == nullptr && shape.target_micros >= 0 && o.loop_count_given) {
    return "a target length (--target) is instead of a loop count (-l): give one of them";
  }
  if (refused == nullptr && shape.to_end && (shape.fade_micros > 0 || shape.delay_micros > 0 || shape.target_micros >= 0)) {
    return "the real ending (--to-end) is instead of a fade, a fade delay or a target length: give one of them";
  }
  if (refused == nullptr && o.quality_given && o.format != OutputFormat::kVorbis) {
    return "a quality (--quality) is for Ogg Vorbis only (--format ogg)";
  }
  if (refused == nullptr) return {};
  return std::string(refused) + " is not for the " + row.name + " kind (--kind " + row.id + ")";
}

}  // namespace

const std::vector<BatchOptionRow>& batch_option_rows() { return kRows; }

std::string parse_shape_options(const std::vector<std::string>& args, OutputKind kind, ShapeRequest* shape) {
  BatchOptions o;
  o.kind = kind;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const size_t eq = a.find('=');
    const std::string name = a.size() > 2 && a[0] == '-' && a[1] == '-' ? a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2) : "";
    const BatchOptionRow* row = row_named(name);
    if (row == nullptr || (row->apply != set_fade && row->apply != set_delay && row->apply != set_target &&
                           row->apply != set_to_end)) {
      return "there is no length option " + a;
    }
    const std::string value = eq == std::string::npos ? "" : a.substr(eq + 1);
    if ((row->value == nullptr) != (eq == std::string::npos)) return "the option " + a + (row->value ? " needs " + std::string(row->value) : " takes no value");
    const std::string problem = row->apply(value.c_str(), &o);
    if (!problem.empty()) return problem;
  }
  const std::string problem = refused_by_kind(o);
  if (problem.empty()) {
    const LoopChoice loop = shape->loop;
    *shape = o.shape;
    shape->loop = loop;
  }
  return problem;
}

std::string parse_batch_options(const std::vector<std::string>& args, BatchOptions* o) {
  bool names_only = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (names_only || a.size() < 2 || a[0] != '-') {
      if (!a.empty()) o->names.push_back(a);  // an empty name names nothing
      continue;
    }
    if (a == "--") {
      names_only = true;
      continue;
    }
    const BatchOptionRow* row = nullptr;
    std::string value;
    bool has_value = false;
    if (a[1] == '-') {
      const size_t eq = a.find('=');
      row = row_named(a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2));
      if (eq != std::string::npos) {
        value = a.substr(eq + 1);
        has_value = true;
      }
    } else {
      row = row_of(a[1]);
      if (a.size() > 2) {
        value = a.substr(2);
        has_value = true;
      }
    }
    if (row == nullptr) return "there is no option " + a + ": see --help";
    if (row->value == nullptr && has_value) return "the option " + a + " takes no value";
    if (row->value != nullptr && !has_value) {
      if (i + 1 >= args.size()) return "the option " + a + " needs " + row->value;
      value = args[++i];
    }
    const std::string problem = row->apply(row->value != nullptr ? value.c_str() : nullptr, o);
    if (!problem.empty()) return problem;
  }
  return refused_by_kind(*o);
}

std::string batch_help(const char* program) {
  std::string text = std::string("Usage: ") + program + " [OPTION]... FILE_OR_FOLDER...\n"
      "Converts .zq files, and the .zq files in folders and their subfolders (any letter case), as kelvor does,\n"
      "several at once. A file already there is never replaced unless --replace is given.\n\nOptions:\n";
  for (const BatchOptionRow& row : kRows) {
    std::string left = "  ";
    left += row.letter != 0 ? std::string("-") + row.letter + ", " : "    ";
    left += std::string("--") + row.long_name + (row.value != nullptr ? std::string(" ") + row.value : "");
    text += left + "\n      " + row.help + "\n";
  }
  text += "\nExit status: 0 when every file was converted; 1 when one or more failed, or none was found;\n"
          "2 for a usage error (nothing converted); 130 when stopped by Ctrl-C.\n";
  return text;
}

std::string batch_manual_options() {
  std::string text;
  for (const BatchOptionRow& row : kRows) {
    text += ".TP\n";
    if (row.letter != 0) text += std::string("\\fB\\-") + row.letter + "\\fR, ";
    text += std::string("\\fB\\-\\-") + row.long_name + "\\fR";
    if (row.value != nullptr) text += std::string(" \\fI") + row.value + "\\fR";
    text += "\n";
    for (const char* p = row.help; *p != '\0'; ++p) text += *p == '-' ? std::string("\\-") : std::string(1, *p);
    text += "\n";
  }
  return text;
}
