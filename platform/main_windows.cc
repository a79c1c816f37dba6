// kelvor on Windows: the arguments are taken in UTF-16, whatever the ANSI
// code page can spell, and handed on as UTF-8; a console shows the UTF-8
// messages as typed.
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/kelvor_main.h"
#include "platform/wide_names.h"

namespace {

// The console's own output code page, read once before it is changed.
UINT original_output_code_page() {
  static const UINT code_page = GetConsoleOutputCP();
  return code_page;
}

BOOL WINAPI restore_on_interrupt(DWORD) {
  SetConsoleOutputCP(original_output_code_page());
  return FALSE;  // the default handling goes on and ends the process
}

// While alive, a console on standard output takes UTF-8; its code page is put
// back when the run returns or is interrupted. Redirected output is left alone:
// it receives the UTF-8 bytes as they are.
class Utf8Console {
 public:
  Utf8Console() {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
    if (original_output_code_page() == CP_UTF8) return;
    SetConsoleCtrlHandler(restore_on_interrupt, TRUE);
    changed_ = SetConsoleOutputCP(CP_UTF8) != 0;
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;
  ~Utf8Console() {
    if (!changed_) return;
    std::fflush(stdout);
    SetConsoleOutputCP(original_output_code_page());
    SetConsoleCtrlHandler(restore_on_interrupt, FALSE);
  }

 private:
  bool changed_ = false;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Utf8Console console;
  std::vector<std::string> args;
  std::vector<const char*> pointers;
  try {
    for (int i = 0; i < argc; ++i) {
      const std::wstring wide(argv[i]);
      args.push_back(utf8_from_utf16(std::u16string(wide.begin(), wide.end())));
    }
    for (const std::string& a : args) pointers.push_back(a.c_str());
  } catch (const std::bad_alloc&) {
    print_banner();
    std::printf("error-3 : memory allocate faild(filename).\n");
    return -3;
  }
  return kelvor_main(argc, pointers.data());
}
