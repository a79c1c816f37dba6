#include "app/convert.h"

#include "platform/platform.h"
#include "container/analyze.h"
#include "wave/wav_body.h"
#include "wave/wavheader.h"

namespace {

// A destination that already holds a container is another source, as when a
// shell turns "kelvor *.zq" into two container names: it is never emptied.
bool holds_container(const std::string& name) {
  uint8_t head[4];
  return read_regular_file_head(name, head, sizeof head) && has_zq_magic(head);
}

// The loop count a track is heard with: lowered to 1 when the container holds
// no loop information.
int32_t loop_count_heard(const TrackInfo* t, const Settings* s) {
  return t->loop_mark == 0 && s->loop_count > 1 ? 1 : s->loop_count;
}

// The checks made before the destination is touched, once the source has
// been opened and analysed: the destination must be neither the source
// itself nor another container, and the header that the track needs must be
// one that can be written. A refused run never creates or empties a file.
int check_destination(const OpenFile& src, const TrackInfo* t, const Settings* s) {
  if (is_same_file(src.get(), s->src_name, s->dst_name)) {
    std::printf("error-13 : .wav file is the .zq file.\n");
    return -13;
  }
  if (holds_container(s->dst_name)) {
    std::printf("error-14 : .wav file is a .zq file.\n");
    return -14;
  }
  if (t->trk_mark == 0) return 0;  // nothing will be written
  return check_header(t, loop_count_heard(t, s));
}

}  // namespace

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
  *t = TrackInfo{};
  OpenFile src(ops);
  OpenFile dst(ops);
  if (!src.open(s->src_name, "rb")) {
    std::printf("error-11 : can not open .zq file.\n");
    return -11;
  }
  int result = analyze(src.get(), t, s);
  if (result == 0) result = check_destination(src, t, s);
  if (result == 0 && !dst.open(s->dst_name, "wb")) {
    std::printf("error-12 : can not create .wav file.\n");
    result = -12;
  }
  if (result == 0) result = write_wave(src.get(), dst.get(), t, s);
  src.close();
  // Closing writes out what the stream still holds: a failure there is a
  // failed conversion, not a success.
  if (dst.close() != 0 && result == 0) {
    std::printf("error-53 : write error(convert)\n");
    result = -53;
  }
  return result;
}

int convert(Settings* s) { return convert_with(s, system_file_ops()); }
