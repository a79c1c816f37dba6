#include "app/convert.h"

#include "base/error_lines.h"
#include "platform/platform.h"
#include "container/analyze.h"
#include "wave/kept_loop.h"
#include "wave/wav_body.h"
#include "wave/wavheader.h"

namespace {

// A destination that already holds a container is another source, as when a
// shell turns "kelvor *.zq" into two container names: it is never emptied.
bool holds_container(const std::string& name) {
  uint8_t head[4];
  return read_regular_file_head(name, head, sizeof head) && has_zq_magic(head);
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
int check_destination(const OpenFile& src, const TrackInfo* t, const Settings* s) {
  int result = check_name(src, s, s->dst_name);
  if (result != 0 || t->trk_mark == 0) return result;  // no track: nothing will be written
  return check_header(t, loop_count_heard(t, s));
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

// Opens, writes and closes one WAV of a kept loop.
int write_piece(const OpenFile& src, const FileOps& ops, const std::string& name, const TrackInfo* t,
                const KeptPlan& plan, const WavPiece& piece, const Settings* s) {
  OpenFile dst(ops);
  int result = create_destination(&dst, name);
  if (result == 0) result = write_kept_wav(src.get(), dst.get(), t, &plan, &piece, s);
  return close_destination(&dst, result);
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

std::string kept_output_name(const std::string& dst, const char* suffix) {
  if (suffix[0] == '\0') return dst;
  const size_t n = dst.size();
  const bool wav = n >= 4 && dst.compare(n - 4, 4, ".wav") == 0;
  return (wav ? dst.substr(0, n - 4) : dst) + suffix + ".wav";
}

int write_wave(FILE* src, FILE* dst, const TrackInfo* t, Settings* s) {
  if (t->trk_mark == 0) return 0;  // no track: the destination stays empty
  if (loop_count_heard(t, s) != s->loop_count) {
    std::printf("warning : no loop info, reset loopcount to 1.\n");
    s->loop_count = 1;
  }
  int result = wavheader(dst, t, s);
  if (result == 0) result = write_wav_body(src, dst, t, s);
  return result;
}

int convert_with(Settings* s, const FileOps& ops) {
  TrackInfo track{};
  return convert_with(s, ops, &track);
}

int convert_with(Settings* s, const FileOps& ops, TrackInfo* t) {
  OpenFile src(ops);
  OpenFile dst(ops);
  int result = open_source(&src, s, t);
  if (result == -11) return result;
  if (result == 0) result = check_destination(src, t, s);
  if (result == 0) result = create_destination(&dst, s->dst_name);
  if (result == 0) result = write_wave(src.get(), dst.get(), t, s);
  src.close();
  return close_destination(&dst, result);
}

int convert_kept(Settings* s, const FileOps& ops, TrackInfo* t, bool apart) {
  OpenFile src(ops);
  int result = open_source(&src, s, t);
  if (result == 0) result = check_name(src, s, s->dst_name);
  if (result != 0) return result;
  if (t->trk_mark == 0) {  // as a conversion: an empty destination
    OpenFile dst(ops);
    return close_destination(&dst, create_destination(&dst, s->dst_name));
  }
  KeptPlan plan{};
  result = plan_kept_loop(t, apart, &plan);
  std::string names[2];
  for (int i = 0; result == 0 && i < plan.count; ++i) {
    names[i] = kept_output_name(s->dst_name, plan.pieces[i].suffix);
    result = check_name(src, s, names[i]);
  }
  for (int i = 0; result == 0 && i < plan.count; ++i) result = write_piece(src, ops, names[i], t, plan, plan.pieces[i], s);
  return result;
}

int convert(Settings* s) { return convert_with(s, system_file_ops()); }
