#include "web/core/run_json.h"

#include <cstdio>

#include "base/little_endian.h"
#include "app/shape_text.h"
#include "app/track_facts.h"
#include "wave/wavheader.h"
#include "wave/output_kinds.h"

namespace {

void put_string(std::string* out, const std::string& text) {
  *out += '"';
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      *out += escaped;
    } else {
      *out += c;  // UTF-8 passes as it is
    }
  }
  *out += '"';
}

void put_bytes(std::string* out, const uint8_t* bytes, uint32_t n) {
  *out += '[';
  for (uint32_t i = 0; i < n; ++i) {
    if (i > 0) *out += ',';
    *out += std::to_string(bytes[i]);
  }
  *out += ']';
}

// Whether common readers (and browsers) read the WAV as the track's frames:
// a full format block whose bits per sample fill its block align. The
// short format block of -x has no bits, and 24-bit samples in 32-bit slots
// under a 24-bit header are read as packed 24-bit frames, a third more.
bool read_as_written(const WavPlan& wav) {
  const uint32_t fmt = wav.head_bytes >= 4 && load_le32(wav.head) == load_le32(reinterpret_cast<const uint8_t*>("RF64"))
                           ? 36u  // past the ds64 chunk
                           : 0u;
  if (wav.full_format == 0 || wav.head_bytes < fmt + 36) return false;
  const uint32_t channels = load_le16(wav.head + fmt + 22), align = load_le16(wav.head + fmt + 32),
                 bits = load_le16(wav.head + fmt + 34);
  return bits > 0 && channels * bits == align * 8u;
}

// What an encoder is to be told of the file: its sound and its comments.
void put_encoding(std::string* out, const PlannedEncoding& e) {
  const EncodedSound& s = e.sound;
  *out += ",\"encoding\":{\"channels\":" + std::to_string(s.channels) + ",\"slot_bytes\":" +
          std::to_string(s.slot_bytes) + ",\"rate\":" + std::to_string(s.rate) +
          ",\"frames\":" + std::to_string(s.frames) + ",\"comments\":[";
  for (size_t i = 0; i < e.comments.size(); ++i) {
    if (i > 0) *out += ',';
    put_string(out, e.comments[i]);
  }
  *out += "]}";
}

// How a faded extent's frames are laid out, for the fade the page asks of
// the converter (web/core/page_api.cc's kelvor_fade).
void put_fade(std::string* out, const TrackInfo& t) {
  const uint32_t align = header_block_align(&t);
  *out += ",\"fade\":{\"channels\":" + std::to_string(t.channels) + ",\"slot_bytes\":" +
          std::to_string(t.channels > 0 ? align / t.channels : 0) + ",\"block_align\":" + std::to_string(align) + "}";
}

void put_wav(std::string* out, const TrackInfo& track, const std::string& name, const char* role, const WavPlan& wav,
             const PlannedEncoding& encoding = {}) {
  uint64_t bytes = uint64_t{wav.head_bytes} + wav.tail_bytes;
  for (const SourceExtent& e : wav.extents) bytes += uint64_t{e.length} * e.repeats;
  *out += "{\"name\":";
  put_string(out, name);
  *out += ",\"role\":";
  put_string(out, role);
  *out += ",\"playable\":";
  *out += read_as_written(wav) ? "true" : "false";
  *out += ",\"bytes\":" + std::to_string(bytes) + ",\"head\":";
  put_bytes(out, wav.head, wav.head_bytes);
  *out += ",\"extents\":[";
  bool faded = false;
  for (size_t i = 0; i < wav.extents.size(); ++i) {
    const SourceExtent& e = wav.extents[i];
    if (i > 0) *out += ',';
    *out += '[' + std::to_string(e.offset) + ',' + std::to_string(e.length) + ',' + std::to_string(e.repeats);
    if (e.fade_frames > 0) *out += ',' + std::to_string(e.fade_at) + ',' + std::to_string(e.fade_frames);
    *out += ']';
    faded = faded || e.fade_frames > 0;
  }
  *out += "],\"tail\":";
  put_bytes(out, wav.tail, wav.tail_bytes);
  if (encoding.encoded) put_encoding(out, encoding);
  if (faded) put_fade(out, track);
  *out += '}';
}

}  // namespace

namespace {

void put_strings(std::string* out, const std::vector<std::string>& texts) {
  *out += '[';
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) *out += ',';
    put_string(out, texts[i]);
  }
  *out += ']';
}

// The loop list the run was given, as the converter read it: its problem,
// and each line's path and problem, for the page to tell the lines that
// name no file it converted.
void put_loop_list(std::string* out, const LoopListRead& list) {
  *out += ",\"loop_list\":{\"problem\":";
  put_string(out, list.problem);
  *out += ",\"lines\":[";
  for (size_t i = 0; i < list.lines.size(); ++i) {
    const ListedLoop& l = list.lines[i];
    if (i > 0) *out += ',';
    *out += "{\"line\":" + std::to_string(l.line) + ",\"path\":";
    put_string(out, l.path);
    *out += ",\"problem\":";
    put_string(out, l.problem);
    *out += '}';
  }
  *out += "]}";
}

}  // namespace

std::string run_json(const RunReport& report, const OutputPlan& plan, int result, const LoopListRead* list) {
  std::string out = "{\"facts\":{";
  bool first = true;
  for (const RunFact& f : run_facts(report)) {
    if (!first) out += ',';
    first = false;
    put_string(&out, f.name);
    out += ':' + std::to_string(f.value);
  }
  out += "},\"lengths\":";
  put_strings(&out, result == 0 ? shape_sentences(report) : std::vector<std::string>{});
  if (list != nullptr) put_loop_list(&out, *list);
  out += ",\"wavs\":[";
  for (size_t i = 0; i < plan.wavs.size(); ++i) {
    if (i > 0) out += ',';
    put_wav(&out, report.track, plan.wavs[i].name, plan.wavs[i].role, plan.wavs[i].wav, plan.wavs[i].encoding);
  }
  out += "],\"once\":";
  if (result == 0 && !plan.wavs.empty()) {
    put_wav(&out, report.track, "", "whole", plan.sound_once);
  } else {
    out += "null";
  }
  out += '}';
  return out;
}

std::string output_kinds_json() {
  auto flag = [](bool b) { return b ? "true" : "false"; };
  std::string out = "[";
  for (const OutputKindRow& row : kOutputKindRows) {
    if (out.size() > 1) out += ',';
    out += "{\"code\":" + std::to_string(static_cast<int>(row.kind)) + ",\"id\":";
    put_string(&out, row.id);
    out += ",\"name\":";
    put_string(&out, row.name);
    out += ",\"format\":\"wav\",\"loop_count\":";
    out += flag(row.loop_count);
    out += ",\"short_format\":";
    out += flag(row.short_format);
    out += ",\"loop_end\":";
    out += flag(row.loop_end);
    out += ",\"whole_frames\":";
    out += flag(row.whole_frames);
    out += ",\"files\":[";
    for (int i = 0; i < row.file_count; ++i) {
      if (i > 0) out += ',';
      out += "{\"suffix\":";
      put_string(&out, row.files[static_cast<size_t>(i)].suffix);
      out += ",\"role\":";
      put_string(&out, row.files[static_cast<size_t>(i)].role);
      out += '}';
    }
    out += "]}";
  }
  return out + "]";
}

std::string output_formats_json() {
  std::string out = "[";
  for (const OutputFormatRow& row : kOutputFormatRows) {
    if (out.size() > 1) out += ',';
    out += "{\"code\":" + std::to_string(static_cast<int>(row.format)) + ",\"id\":";
    put_string(&out, row.id);
    out += ",\"name\":";
    put_string(&out, row.name);
    out += ",\"extension\":";
    put_string(&out, row.extension);
    // Whether this build encodes it: a codec built without its library
    // refuses every sound, and says why.
    const Codec* codec = codec_of(row.format);
    const char* refusal = codec != nullptr ? codec->refusal(EncodedSound{2, 44100, 2, 16, 0}) : nullptr;
    out += ",\"refusal\":";
    if (refusal != nullptr) {
      put_string(&out, std::string(codec->name) + " " + refusal + ".");
    } else {
      out += "null";
    }
    out += '}';
  }
  return out + "]";
}
