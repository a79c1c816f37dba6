// Writes the page's output kinds natively, for the readers test: the run of
// the command line's arguments with the kind and the loop end given first.
//
//   kinds_writer KIND LOOP_END src.zq [dst.wav] [options]
//
// KIND is OutputKind's number (wave/output_kinds.h), LOOP_END LoopEnd's
// (wave/kept_loop.h). Prints what the run prints; exits with its result.
#include <cstdlib>
#include <vector>

#include "app/kelvor_main.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const int kind = std::atoi(argv[1]);
  const int end = std::atoi(argv[2]);
  if (kind < 0 || kind >= kOutputKinds || end < 0 || end > 1) return 2;
  std::vector<const char*> args = {"kelvor"};
  for (int i = 3; i < argc; ++i) args.push_back(argv[i]);
  return kelvor_run(static_cast<int>(args.size()), args.data(), nullptr, static_cast<OutputKind>(kind), nullptr,
                    static_cast<LoopEnd>(end)) == 0 ? 0 : 1;
}
