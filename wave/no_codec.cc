// Which codec encodes a format, in the codecs' own library; and, for a build
// without libFLAC or without libvorbis, a codec that refuses its format
// before any file is made, in the same words wherever it is asked for.
#include "base/error_lines.h"
#include "wave/encoded_formats.h"
#include "wave/output_kinds.h"

namespace {

// Never asked for: the refusal comes first. Should it be, no state is had
// and the encoding fails plainly.
[[maybe_unused]] void* no_state(const EncodeRequest&, std::vector<std::string>, const EncodedSound&, const ByteSink&) {
  return nullptr;
}
[[maybe_unused]] int no_step(void*) { return print_error(-36); }
[[maybe_unused]] int no_piece(void*, const uint8_t*, uint32_t) { return print_error(-36); }
[[maybe_unused]] void no_release(void*) {}

}  // namespace

#if !KELVOR_HAVE_FLAC
const Codec& flac_codec() {
  static constexpr Codec kCodec{
      "FLAC", [](const EncodedSound&) { return "is not in this build (it was built without libFLAC)"; },
      no_state, no_step, no_piece, no_step, no_release};
  return kCodec;
}
#endif

#if !KELVOR_HAVE_VORBIS
const Codec& vorbis_codec() {
  static constexpr Codec kCodec{
      "Ogg Vorbis", [](const EncodedSound&) { return "is not in this build (it was built without libvorbis)"; },
      no_state, no_step, no_piece, no_step, no_release};
  return kCodec;
}
#endif

const Codec* codec_of(OutputFormat format) {
  if (format == OutputFormat::kFlac) return &flac_codec();
  if (format == OutputFormat::kVorbis) return &vorbis_codec();
  return nullptr;
}
