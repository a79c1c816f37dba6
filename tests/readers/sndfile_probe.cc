// What libsndfile reads of each WAV named: one line of JSON per file, with
// its frames, channels, rate and subformat, the instrument's first loop as
// SFC_GET_INSTRUMENT gives it, and an FNV-1a hash of every sample read with
// sf_readf_int, so that a test can compare the samples with its own reading
// of the source. A file libsndfile refuses gives its error.
#include <sndfile.h>

#include <cstdint>
#include <cstdio>

static uint64_t hash_samples(SNDFILE* f, const SF_INFO* info) {
  uint64_t h = 1469598103934665603ull;
  int buffer[4096];
  const sf_count_t per_read = static_cast<sf_count_t>(4096 / info->channels);
  sf_count_t got;
  while ((got = sf_readf_int(f, buffer, per_read)) > 0) {
    for (sf_count_t i = 0; i < got * info->channels; ++i) {
      const uint32_t v = static_cast<uint32_t>(buffer[i]);
      for (int b = 0; b < 4; ++b) {
        h ^= (v >> (8 * b)) & 0xFFu;
        h *= 1099511628211ull;
      }
    }
  }
  return h;
}

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    SF_INFO info{};
    SNDFILE* f = sf_open(argv[i], SFM_READ, &info);
    if (f == nullptr) {
      std::printf("{\"file\": \"%s\", \"error\": \"%s\"}\n", argv[i], sf_strerror(nullptr));
      continue;
    }
    SF_INSTRUMENT inst;
    const bool has_loop = sf_command(f, SFC_GET_INSTRUMENT, &inst, sizeof inst) == SF_TRUE && inst.loop_count > 0;
    std::printf("{\"file\": \"%s\", \"frames\": %lld, \"channels\": %d, \"rate\": %d, \"subformat\": %d, ", argv[i],
           static_cast<long long>(info.frames), info.channels, info.samplerate, info.format & SF_FORMAT_SUBMASK);
    if (has_loop) {
      std::printf("\"loop\": [%d, %u, %u], ", inst.loops[0].mode, inst.loops[0].start, inst.loops[0].end);
    } else {
      std::printf("\"loop\": null, ");
    }
    std::printf("\"hash\": \"%016llx\"}\n", static_cast<unsigned long long>(hash_samples(f, &info)));
    sf_close(f);
  }
  return 0;
}
