// libsndfile's reading of a sound file: its frame count, then its last N
// frames as 16-bit samples, in decimal (the same text on any host):
//   sndfile_tail FILE N   ->   "FRAMES\nS S S ...\n"
#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  SF_INFO info{};
  SNDFILE* file = sf_open(argv[1], SFM_READ, &info);
  if (file == nullptr) {
    std::printf("%s\n", sf_strerror(nullptr));
    return 1;
  }
  const sf_count_t n = std::atoll(argv[2]);
  std::vector<short> samples(static_cast<size_t>(n * info.channels));
  const bool read = sf_seek(file, info.frames - n, SEEK_SET) >= 0 && sf_readf_short(file, samples.data(), n) == n;
  sf_close(file);
  if (!read) return 1;
  std::printf("%lld\n", static_cast<long long>(info.frames));
  for (short s : samples) std::printf("%d ", s);
  std::printf("\n");
  return 0;
}
