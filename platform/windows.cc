// The file system of Windows: names arrive as UTF-8 and are opened through
// the wide-character API, in the extended-length form when their absolute
// path is too long for the plain one.
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <new>

#include "platform/platform.h"
#include "platform/wide_names.h"

namespace {

std::wstring to_wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string to_u16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

std::wstring absolute_path(const std::wstring& name) {
  DWORD need = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (need == 0) return name;
  std::wstring full(need, L'\0');
  DWORD got = GetFullPathNameW(name.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return name;
  full.resize(got);
  return full;
}

// The name as the file API must be given it; empty when there is no memory
// for it. `is_device` tells whether it leads into the device namespace (NUL,
// CON, COM1, \\.\pipe\..., ...).
std::wstring api_name(const std::string& name, bool* is_device = nullptr) {
  try {
    const std::u16string utf16 = utf16_from_utf8(name);
    const std::wstring full = absolute_path(to_wide(utf16));
    if (is_device) *is_device = std::wcsncmp(full.c_str(), L"\\\\.\\", 4) == 0;
    return to_wide(api_path(utf16, to_u16(full)));
  } catch (const std::bad_alloc&) {
    return std::wstring();
  }
}

// Owner of one handle.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool identify(HANDLE h, BY_HANDLE_FILE_INFORMATION* info) {
  return h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, info) != 0;
}

// Opens `name` only to ask for its identity: no access to its data, sharing everything.
bool identify_name(const std::string& name, BY_HANDLE_FILE_INFORMATION* info) {
  const std::wstring path = api_name(name);
  if (path.empty()) return false;
  Handle h(CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return identify(h.get(), info);
}

// The console's own output code page, read once, before the run changes it,
// so that an interrupt puts back the same one.
UINT original_output_code_page() {
  static const UINT code_page = GetConsoleOutputCP();
  return code_page;
}

BOOL WINAPI restore_on_interrupt(DWORD) {
  SetConsoleOutputCP(original_output_code_page());
  return FALSE;  // the default handling goes on and ends the process
}

}  // namespace

std::filesystem::path path_from_utf8(const std::string& name) { return to_wide(utf16_from_utf8(name)); }
std::string utf8_from_path(const std::filesystem::path& path) { return utf8_from_utf16(to_u16(path.native())); }

std::string program_folder() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD got = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (got == 0) return ".";
    if (got < name.size()) {
      name.resize(got);
      return utf8_from_path(std::filesystem::path(name).parent_path());
    }
    name.resize(name.size() * 2);  // cut short: ask again with more room
  }
}

bool console_closes_at_exit() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

void wait_for_key() {
  std::printf("Press any key to continue . . . ");
  std::fflush(stdout);
  _getch();
}

Utf8Console::Utf8Console() {
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;  // redirected
  original_code_page_ = original_output_code_page();
  if (original_code_page_ == CP_UTF8) return;
  SetConsoleCtrlHandler(restore_on_interrupt, TRUE);
  changed_ = SetConsoleOutputCP(CP_UTF8) != 0;
}

Utf8Console::~Utf8Console() {
  if (!changed_) return;
  std::fflush(stdout);
  SetConsoleOutputCP(original_code_page_);
  SetConsoleCtrlHandler(restore_on_interrupt, FALSE);
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

int64_t tell64(FILE* f) { return _ftelli64(f); }
int seek64(FILE* f, int64_t at) { return _fseeki64(f, at, SEEK_SET); }

FILE* open_named(const std::string& name, const char* mode) {
  const std::wstring path = api_name(name);
  std::wstring wide_mode;
  for (const char* m = mode; *m != '\0'; ++m) wide_mode.push_back(static_cast<wchar_t>(*m));
  return path.empty() ? nullptr : _wfopen(path.c_str(), wide_mode.c_str());
}

bool is_same_file(FILE* open_file, const std::string& open_name, const std::string& name) {
  BY_HANDLE_FILE_INFORMATION target{};
  if (!identify_name(name, &target)) return false;  // nothing there yet: it will be created
  BY_HANDLE_FILE_INFORMATION open{};
  int fd = _fileno(open_file);
  HANDLE h = fd >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(fd)) : INVALID_HANDLE_VALUE;
  if (!identify(h, &open) && !identify_name(open_name, &open)) return false;
  return open.dwVolumeSerialNumber == target.dwVolumeSerialNumber &&
         open.nFileIndexHigh == target.nFileIndexHigh && open.nFileIndexLow == target.nFileIndexLow;
}

bool read_regular_file_head(const std::string& name, uint8_t* head, size_t n) {
  bool is_device = false;
  const std::wstring path = api_name(name, &is_device);
  // Device names are never opened: opening some of them has effects of its own.
  if (path.empty() || is_device) return false;
  Handle h(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!identify(h.get(), &info) || GetFileType(h.get()) != FILE_TYPE_DISK ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  while (n > 0) {
    DWORD got = 0;
    DWORD want = n > 0x10000 ? 0x10000 : static_cast<DWORD>(n);
    if (!ReadFile(h.get(), head, want, &got, nullptr) || got == 0) return false;
    head += got;
    n -= got;
  }
  return true;
}

namespace {

volatile LONG interrupt_seen = 0;  // set by the console's handler thread

BOOL WINAPI note_interrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  InterlockedExchange(&interrupt_seen, 1);
  return TRUE;
}

}  // namespace

bool stdout_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

FILE* open_scratch(const std::string& name) {
  const std::wstring path = api_name(name);
  if (path.empty()) return nullptr;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  FILE* f = _fdopen(fd, "wb");
  if (f == nullptr) _close(fd);
  return f;
}

bool move_file(const std::string& from, const std::string& to) {
  const std::wstring a = api_name(from), b = api_name(to);
  return !a.empty() && !b.empty() && MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool remove_named(const std::string& name) {
  const std::wstring path = api_name(name);
  return !path.empty() && DeleteFileW(path.c_str()) != 0;
}

void catch_interrupts() { SetConsoleCtrlHandler(note_interrupt, TRUE); }

bool interrupted() { return InterlockedCompareExchange(&interrupt_seen, 0, 0) != 0; }
