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
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
      const std::wstring wide(argv[i]);
      args.push_back(utf8_from_utf16(std::u16string(wide.begin(), wide.end())));
    }
    failed = convert_all(args, program_folder());
  } catch (const std::bad_alloc&) {
    std::printf("convert-all: out of memory.\n");
    failed = 1;
  }
  // Started from Explorer, its window would close before the summary is read.
  if (console_closes_at_exit()) wait_for_key();
  return failed;
}
