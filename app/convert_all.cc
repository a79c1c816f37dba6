#include "app/convert_all.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/kelvor_main.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

bool is_container_name(const std::string& name) {
  if (name.size() < 3) return false;
  const std::string tail = name.substr(name.size() - 3);
  return tail[0] == '.' && (tail[1] == 'z' || tail[1] == 'Z') && (tail[2] == 'q' || tail[2] == 'Q');
}

template <class Walk>
void collect(Walk walk, std::vector<std::string>* found) {
  std::error_code error;
  for (auto entry = walk; entry != Walk(); entry.increment(error)) {
    if (error) break;
    std::error_code type_error;
    if (!entry->is_regular_file(type_error)) continue;
    std::string name = utf8_from_path(entry->path());
    if (is_container_name(name)) found->push_back(std::move(name));
  }
}

bool is_folder(const std::string& name) {
  std::error_code error;
  return fs::is_directory(path_from_utf8(name), error);
}

// One kelvor run, as the command line `kelvor NAME OPTIONS...` would make it.
bool converted(const std::string& name, const std::vector<std::string>& options) {
  std::vector<const char*> argv = {"kelvor", name.c_str()};
  for (const std::string& o : options) argv.push_back(o.c_str());
  std::printf("\n");
  const int result = kelvor_main(static_cast<int>(argv.size()), argv.data());
  std::fflush(stdout);
  return result == 0;
}

}  // namespace

std::vector<std::string> containers_in(const std::string& folder, bool recursive) {
  std::vector<std::string> found;
  std::error_code error;
  const fs::path root = path_from_utf8(folder);
  if (recursive) {
    collect(fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error), &found);
  } else {
    collect(fs::directory_iterator(root, fs::directory_options::skip_permission_denied, error), &found);
  }
  std::sort(found.begin(), found.end());
  return found;
}

int convert_all(const std::vector<std::string>& args, const std::string& own_folder) {
  std::vector<std::string> options;
  std::vector<std::string> names;
  for (const std::string& a : args) {
    if (!a.empty()) (a[0] == '-' ? options : names).push_back(a);  // an empty name names nothing
  }
  std::vector<std::string> files;
  if (names.empty()) files = containers_in(own_folder, false);
  for (const std::string& name : names) {
    if (!is_folder(name)) {
      files.push_back(name);
      continue;
    }
    std::vector<std::string> inside = containers_in(name, true);
    files.insert(files.end(), inside.begin(), inside.end());
  }
  int done = 0;
  int failed = 0;
  for (const std::string& file : files) (converted(file, options) ? done : failed)++;
  std::printf("\nconvert-all: %d converted, %d failed.\n", done, failed);
  return failed;
}
