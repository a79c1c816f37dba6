// Whether a name leads to a file that is already open: the same file, not
// merely the same spelling, so "./x", links and other paths are all caught.
#include "app/file_ops.h"

#ifdef _WIN32

#include <io.h>
#include <windows.h>

namespace {

bool identify(HANDLE h, BY_HANDLE_FILE_INFORMATION* info) {
  return h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, info) != 0;
}

// Opens `name` only to ask for its identity: no access to its data, sharing everything.
bool identify_name(const std::string& name, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = identify(h, info);
  CloseHandle(h);
  return ok;
}

}  // namespace

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

#else

#include <sys/stat.h>

bool is_same_file(FILE* open_file, const std::string& open_name, const std::string& name) {
  struct stat target {};
  if (::stat(name.c_str(), &target) != 0) return false;  // nothing there yet: it will be created
  struct stat open {};
  int fd = ::fileno(open_file);
  int got = fd >= 0 ? ::fstat(fd, &open) : ::stat(open_name.c_str(), &open);
  if (got != 0) return false;
  return open.st_dev == target.st_dev && open.st_ino == target.st_ino;
}

#endif
