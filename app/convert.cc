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

// The destination is opened only now, after the source has been opened and
// analysed, so that a missing or malformed source never creates or empties it,
// and never when it is the source itself or another container.
int open_destination(const OpenFile& src, const Settings& s, OpenFile* dst) {
  if (is_same_file(src.get(), s.src_name, s.dst_name)) {
    std::printf("error-13 : .wav file is the .zq file.\n");
    return -13;
  }
  if (holds_container(s.dst_name)) {
    std::printf("error-14 : .wav file is a .zq file.\n");
    return -14;
  }
  if (!dst->open(s.dst_name, "wb")) {
    std::printf("error-12 : can not create .wav file.\n");
    return -12;
  }
  return 0;
}

}  // namespace

int write_wave(FILE* src, FILE* dst, const TrackInfo* t, Settings* s) {
  if (t->trk_mark == 0) return 0;  // no track: the destination stays empty
  if (t->loop_mark == 0 && s->loop_count > 1) {
    std::printf("warning : no loop info, reset loopcount to 1.\n");
    s->loop_count = 1;
  }
  int result = wavheader(dst, t, s);
  if (result == 0) result = write_wav_body(src, dst, t, s);
  return result;
}

int convert_with(Settings* s, const FileOps& ops) {
  TrackInfo track{};
  OpenFile src(ops);
  OpenFile dst(ops);
  if (!src.open(s->src_name, "rb")) {
    std::printf("error-11 : can not open .zq file.\n");
    return -11;
  }
  int result = analyze(src.get(), &track, s);
  if (result == 0) result = open_destination(src, *s, &dst);
  if (result == 0) result = write_wave(src.get(), dst.get(), &track, s);
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
