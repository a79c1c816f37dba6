// convert-all.exe: the Windows kit's way to convert many files at once.
// Explorer hands a program the names dropped on it exactly as they are,
// whatever they hold ("%", "!", "&", any script), which a batch file could
// not promise: cmd expands and splits its own command line first.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/convert_all.h"
#include "platform/platform.h"
#include "platform/wide_names.h"

int wmain(int argc, wchar_t** argv) {
  Utf8Console console;
  int failed = 0;
  try {
    std::vector<std::string> args = utf8_arguments(argc, argv);
    if (!args.empty()) args.erase(args.begin());  // the program's own name
    failed = convert_all(args, program_folder());
  } catch (const std::bad_alloc&) {
    std::printf("convert-all: out of memory.\n");
    failed = 1;
  }
  // Started from Explorer, its window would close before the summary is read.
  if (console_closes_at_exit()) wait_for_key();
  return failed;
}
