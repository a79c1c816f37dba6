#include "app/convert.h"

#include "app/cmdline.h"

#include "base/error_lines.h"
#include "base/heap_buffer.h"
#include "platform/platform.h"
#include "container/analyze.h"
#include "wave/kept_loop.h"
#include "wave/marked_loop.h"
#include "wave/output_kinds.h"
#include "wave/wav_body.h"
#include "wave/wav_layout.h"
#include "wave/wav_plan.h"
#include "wave/wavheader.h"
#include "base/messages.h"

namespace {

// A destination that already holds a container is another source, as when a
// shell turns "kelvor *.zq" into two container names: it is never emptied.
bool holds_container(const std::string& name) {
  uint8_t head[4];
  return read_regular_file_head(name, head, sizeof head) && has_zq_magic(head);
}

// The layout of the unrolled kinds' file: the command line's, or, for the
// batch's request, one that may pass 4 GiB.
WavLayout sound_layout(const TrackInfo* t, const Settings* s, const LoopEnd* marked, const EncodeRequest* encode) {
  if (encode != nullptr && shape_asked(encode->shape)) return describe_shaped(t, s, marked, encode->shape);
  if (encode != nullptr) return marked != nullptr ? describe_marked_any_length(t, s, *marked) : describe_unrolled_any_length(t, s);
  return marked != nullptr ? describe_marked(t, s, *marked) : describe_unrolled(t, s);
}

// A destination must be neither the source itself nor another container.
int check_name(const OpenFile& src, const Settings* s, const std::string& name) {
  if (is_same_file(src.get(), s->src_name, name)) {
    return print_error(-13);
  }
  if (holds_container(name)) {
    return print_error(-14);
  }
  return 0;
}

// The checks made before the destination is touched, once the source has
// been opened and analysed: the destination's name, and a header that the
// track needs and that can be written. A refused run never creates or
// empties a file.
int check_destination(const OpenFile& src, const TrackInfo* t, const Settings* s, const LoopEnd* marked,
                      const EncodeRequest* encode) {
  int result = check_name(src, s, s->dst_name);
  if (result != 0 || t->trk_mark == 0) return result;  // no track: nothing will be written
  Settings heard = *s;
  heard.loop_count = loop_count_heard(t, s);
  if (encode == nullptr) {
    result = check_header(t, heard.loop_count);
    if (result == 0 && marked != nullptr) result = check_marked(t, &heard, *marked);
    return result;
  }
  // The batch's request: a WAV past 4 GiB becomes RF64, and FLAC and Ogg
  // have no such limit; a loop start past the data is refused still.
  WavHeaderFields any{};
  uint64_t data = 0;
  if (derive_header_any_length(t, &heard, &any, &data) != 0) return print_error(-32);
  if (shape_asked(encode->shape)) result = check_shape(t, encode->shape);
  if (result != 0) return result;
  if (encode->format == OutputFormat::kWav) return 0;
  return check_encodable(t, sound_layout(t, &heard, marked, encode), *encode);
}

// Creates or empties the destination `name`: 0 or -12.
int create_destination(OpenFile* dst, const std::string& name) {
  if (dst->open(name, "wb")) return 0;
  return print_error(-12);
}

// Closing writes out what the stream still holds: a failure there is a
// failed conversion, not a success. Returns `result`, or -53 in its place.
int close_destination(OpenFile* dst, int result) {
  if (dst->close() != 0 && result == 0) {
    return print_error(-53);
  }
  return result;
}

// The source's length, for a plan: where a copy from it must stop. The
// position is left at the end; every copy seeks before it reads.
uint64_t source_length(FILE* src) {
  if (std::fseek(src, 0, SEEK_END) != 0) return 0;
  const int64_t end = tell64(src);
  return end < 0 ? 0 : static_cast<uint64_t>(end);
}

// Whether the copy buffer that a writer would allocate can be had: the plan
// meets -41 where the writer would.
bool buffer_available(const Settings* s) {
  return static_cast<bool>(allocate_buffer<uint8_t>(static_cast<size_t>(s->buffer_size)));
}

// Adds `wav` to the plan under `name`, printing its failure's line as the
// writer would; returns its result.
int add_planned(OutputPlan* plan, const std::string& name, const char* role, const WavPlan& wav,
                PlannedEncoding encoding = {}) {
  plan->wavs.push_back(PlannedWav{name, role, wav, std::move(encoding)});
  if (wav.error != nullptr) say("%s", wav.error);
  return wav.result;
}

// The sound heard once under a plain header, for players.
void plan_sound_once(FILE* src, const TrackInfo* t, const Settings* s, OutputPlan* plan) {
  KeptPlan whole{};
  loop_frames(t, &whole.frames);
  const WavPiece once{0, t->data_bytes - whole.frames.dropped_bytes, false, "", "whole"};
  plan_layout(t, describe_kept(t, &whole, &once), s, source_length(src), true, &plan->sound_once);
}

// Carries `layout` out into the open destination, or (with a `plan`) adds
// its plan on this source under `name`.
int carry_out(FILE* src, FILE* dst, const TrackInfo* t, const WavLayout& layout, const Settings* s,
              OutputPlan* plan, const std::string& name, const char* role, const EncodeRequest* encode) {
  const bool encoded = encode != nullptr && encode->format != OutputFormat::kWav;
  if (plan == nullptr) return encoded ? encode_file(src, dst, t, layout, s, *encode) : write_layout(src, dst, t, layout, s);
  WavPlan wav{};
  plan_layout(t, layout, s, source_length(src), buffer_available(s), &wav);
  PlannedEncoding encoding{};
  if (encoded) {
    encoding.encoded = encoded_sound(t, layout, &encoding.sound);  // checked before: check_encodable
    encoding.comments = loop_comments(layout, encode->title);
  }
  return add_planned(plan, name, role, wav, std::move(encoding));
}

// Opens, writes (or plans) and closes one WAV of a kept loop.
int write_piece(const OpenFile& src, const FileOps& ops, const std::string& name, const TrackInfo* t,
                const KeptPlan& kept, const WavPiece& piece, const Settings* s, OutputPlan* plan,
                const EncodeRequest* encode) {
  OpenFile dst(ops);
  int result = create_destination(&dst, name);
  if (result == 0) {
    result = carry_out(src.get(), dst.get(), t, describe_kept(t, &kept, &piece), s, plan, name, piece.role, encode);
  }
  return close_destination(&dst, result);
}

// The writing half, written or planned: nothing for a container without a
// track; otherwise the no-loop-info rule and the WAV. The header's
// refusals (-32, -33) came before the destination was made; the command
// line's wavheader makes its check again, which prints nothing here.
int unrolled_wave(FILE* src, FILE* dst, const TrackInfo* t, Settings* s, const LoopEnd* marked, OutputPlan* plan,
                  const EncodeRequest* encode = nullptr) {
  if (t->trk_mark == 0) return 0;  // no track: the destination stays empty
  if (loop_count_heard(t, s) != s->loop_count) {
    say("warning : no loop info, reset loopcount to 1.\n");
    s->loop_count = 1;
  }
  int result = encode == nullptr ? check_header(t, s->loop_count) : 0;  // the batch's checked before
  if (result != 0) return result;
  const WavLayout layout = sound_layout(t, s, marked, encode);
  if (layout.rf64 && encode->format == OutputFormat::kWav) say("warning : the WAV passes 4 GiB: written as RF64.\n");
  result = carry_out(src, dst, t, layout, s, plan, s->dst_name, "unrolled", encode);
  if (result == 0 && plan != nullptr) plan_sound_once(src, t, s, plan);
  return result;
}

}  // namespace

int open_source(OpenFile* src, Settings* s, TrackInfo* t) {
  *t = TrackInfo{};
  if (!src->open(s->src_name, "rb")) {
    return print_error(-11);
  }
  return analyze(src->get(), t, s);
}

int32_t loop_count_heard(const TrackInfo* t, const Settings* s) {
  return t->loop_mark == 0 && s->loop_count > 1 ? 1 : s->loop_count;
}

std::string kept_output_name(const std::string& dst, const char* suffix, const char* extension) {
  if (suffix[0] == '\0') return dst;
  const std::string ext = extension;
  const size_t n = dst.size();
  const bool ends = n >= ext.size() && dst.compare(n - ext.size(), ext.size(), ext) == 0;
  return (ends ? dst.substr(0, n - ext.size()) : dst) + suffix + ext;
}

std::string derived_output_name(const std::string& src, const char* extension) {
  const std::string name = derive_dst_name(src);
  return name.substr(0, name.size() - 4) + extension;  // the derived name ends in ".wav"
}

std::string title_of_source(const std::string& src) { return utf8_from_path(path_from_utf8(src).stem()); }

int write_wave(FILE* src, FILE* dst, const TrackInfo* t, Settings* s, const LoopEnd* marked) {
  return unrolled_wave(src, dst, t, s, marked, nullptr);
}

int convert_with(Settings* s, const FileOps& ops) {
  TrackInfo track{};
  return convert_with(s, ops, &track);
}

int convert_with(Settings* s, const FileOps& ops, TrackInfo* t, OutputPlan* plan, const LoopEnd* marked,
                 const EncodeRequest* encode) {
  OpenFile src(ops);
  OpenFile dst(ops);
  int result = open_source(&src, s, t);
  if (result == -11) return result;
  if (result == 0) result = check_destination(src, t, s, marked, encode);
  if (result == 0) result = create_destination(&dst, s->dst_name);
  if (result == 0) result = unrolled_wave(src.get(), dst.get(), t, s, marked, plan, encode);
  src.close();
  return close_destination(&dst, result);
}

int convert_kept(Settings* s, const FileOps& ops, TrackInfo* t, bool apart, LoopEnd end, OutputPlan* plan,
                 const EncodeRequest* encode) {
  OpenFile src(ops);
  int result = open_source(&src, s, t);
  if (result == 0) result = check_name(src, s, s->dst_name);
  if (result != 0) return result;
  if (t->trk_mark == 0) {  // as a conversion: an empty destination
    OpenFile dst(ops);
    return close_destination(&dst, create_destination(&dst, s->dst_name));
  }
  KeptPlan kept{};
  const LoopChoice* chosen = encode != nullptr && encode->shape.loop.chosen ? &encode->shape.loop : nullptr;
  if (chosen != nullptr) result = check_shape(t, encode->shape);
  if (result == 0) result = plan_kept_loop(t, apart, end, &kept, chosen);
  std::vector<std::string> names;
  const char* extension = encode != nullptr ? output_format_row(encode->format).extension : ".wav";
  for (size_t i = 0; result == 0 && i < kept.pieces.size(); ++i) {
    names.push_back(kept_output_name(s->dst_name, kept.pieces[i].suffix, extension));
    result = check_name(src, s, names.back());
    if (result == 0 && encode != nullptr && encode->format != OutputFormat::kWav) {
      result = check_encodable(t, describe_kept(t, &kept, &kept.pieces[i]), *encode);
    }
  }
  for (size_t i = 0; result == 0 && i < kept.pieces.size(); ++i) {
    result = write_piece(src, ops, names.at(i), t, kept, kept.pieces[i], s, plan, encode);
  }
  if (result == 0 && plan != nullptr) plan_sound_once(src.get(), t, s, plan);
  return result;
}

int convert(Settings* s) { return convert_with(s, system_file_ops()); }
