// kelvor-batch: many .zq files and folders of them at once (app/batch_main.h).
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/batch_main.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  int status = kBatchUsage;
  const char* program = argc > 0 && is_drop_tool(argv[0]) ? "convert-all" : "kelvor-batch";
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    status = batch_main(args, program, program_folder());
  } catch (const std::bad_alloc&) {
    std::printf("%s: out of memory.\n", program);
    status = kBatchSomeFailed;
  }
  std::fflush(stdout);
  if (status == kBatchInterrupted) std::_Exit(status);
  return status;
}
