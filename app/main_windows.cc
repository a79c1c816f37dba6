// kelvor on Windows: the arguments are taken in UTF-16, whatever the ANSI
// code page can spell, and handed on as UTF-8; a console shows the UTF-8
// messages as typed.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/kelvor_main.h"
#include "base/error_lines.h"
#include "platform/platform.h"
#include "platform/wide_names.h"

int wmain(int argc, wchar_t** argv) {
  Utf8Console console;
  std::vector<std::string> args;
  std::vector<const char*> pointers;
  try {
    args = utf8_arguments(argc, argv);
    for (const std::string& a : args) pointers.push_back(a.c_str());
  } catch (const std::bad_alloc&) {
    print_banner();
    return print_error(-3);
  }
  return kelvor_main(argc, pointers.data());
}
