// kelvor-batch.exe, and the kit's drop tool convert-all.exe, the same
// program (app/batch_main.h). Explorer hands a program the names dropped on
// it exactly as they are, whatever they hold ("%", "!", "&", any script),
// which a batch file could not promise: cmd expands and splits its own
// command line first.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/batch_main.h"
#include "platform/platform.h"
#include "platform/wide_names.h"

int wmain(int argc, wchar_t** argv) {
  int status = kBatchUsage;
  const char* program = "kelvor-batch";
  {
    Utf8Console console;
    try {
      std::vector<std::string> args = utf8_arguments(argc, argv);
      if (!args.empty()) {
        if (is_drop_tool(args.front())) program = "convert-all";
        args.erase(args.begin());  // the program's own name
      }
      status = batch_main(args, program, program_folder());
    } catch (const std::bad_alloc&) {
      std::printf("%s: out of memory.\n", program);
      status = kBatchSomeFailed;
    }
    // Started from Explorer, its window would close before the summary is read.
    if (status != kBatchInterrupted && console_closes_at_exit()) wait_for_key();
    std::fflush(stdout);
  }
  if (status == kBatchInterrupted) std::_Exit(status);
  return status;
}
