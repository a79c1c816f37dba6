// A build without libFLAC, or without libvorbis: the format is refused
// before any file is made, in the same words wherever it is asked for.
#include "base/error_lines.h"
#include "wave/encoded_formats.h"

namespace {

[[maybe_unused]] int refused(FILE*, FILE*, const TrackInfo*, const WavLayout&, const Settings*, const EncodeRequest&,
                             const EncodedSound&) {
  return print_error(-35);
}

}  // namespace

#if !KELVOR_HAVE_FLAC
const Codec& flac_codec() {
  static constexpr Codec kCodec{
      "FLAC", [](const EncodedSound&) { return "is not in this build (it was built without libFLAC)"; }, refused};
  return kCodec;
}
#endif

#if !KELVOR_HAVE_VORBIS
const Codec& vorbis_codec() {
  static constexpr Codec kCodec{
      "Ogg Vorbis", [](const EncodedSound&) { return "is not in this build (it was built without libvorbis)"; }, refused};
  return kCodec;
}
#endif
