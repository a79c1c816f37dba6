#include "app/batch_inputs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

bool is_container_name(const std::string& name) {
  if (name.size() < 3) return false;
  const std::string tail = name.substr(name.size() - 3);
  return tail[0] == '.' && (tail[1] == 'z' || tail[1] == 'Z') && (tail[2] == 'q' || tail[2] == 'Q');
}

template <class Walk>
void collect(Walk walk, std::vector<std::string>* found, uint64_t* others) {
  std::error_code error;
  for (auto entry = walk; entry != Walk(); entry.increment(error)) {
    if (error) break;
    std::error_code type_error;
    if (!entry->is_regular_file(type_error)) continue;
    std::string name = utf8_from_path(entry->path());
    if (is_container_name(name)) {
      found->push_back(std::move(name));
    } else {
      ++*others;
    }
  }
}

bool is_folder(const std::string& name) {
  std::error_code error;
  return fs::is_directory(path_from_utf8(name), error);
}

// A path without "." and ".." steps or a separator at its end.
fs::path tidy(const fs::path& p) {
  fs::path n = p.lexically_normal();
  if (n.has_relative_path() && n.filename().empty()) n = n.parent_path();
  return n;
}

// How a container found in `folder` is named: from the folder's own name
// down (`named`, as a folder dropped or given), or from inside it (the
// program's own folder), which is where a person looks.
std::string shown_name(const std::string& file, const std::string& folder, bool named) {
  const fs::path root = tidy(path_from_utf8(folder));
  const fs::path inside = tidy(path_from_utf8(file)).lexically_relative(root);
  if (inside.empty()) return file;
  const fs::path top = root.filename();
  return utf8_from_path(named && top != "." && top != ".." && !top.empty() ? top / inside : inside);
}

// A path that stays inside the folder it is put under: no step up
// ("../a.zq" given by hand mirrors as "a.zq"), and a file named by its
// absolute path mirrors as its name alone.
std::string mirrored_path(const std::string& shown) {
  const fs::path p = tidy(path_from_utf8(shown));
  if (p.has_root_path()) return utf8_from_path(p.filename());
  fs::path kept;
  for (const fs::path& part : p) {
    if (part != ".." && part != ".") kept /= part;
  }
  return kept.empty() ? shown : utf8_from_path(kept);
}

uint64_t length_of(const std::string& name) {
  std::error_code error;
  const uintmax_t n = fs::file_size(path_from_utf8(name), error);
  return error ? 0 : static_cast<uint64_t>(n);
}

void add(BatchInputs* in, const std::string& file, const std::string& shown) {
  in->files.push_back(BatchInput{file, shown, mirrored_path(shown), length_of(file)});
}

// A folder named is searched with its subfolders, and its other files are
// counted; the program's own folder (the drop tool started without a name)
// is searched alone, and the kit's own files in it are nobody's business.
void add_folder(BatchInputs* in, const std::string& folder, bool named) {
  const std::vector<std::string> found = containers_in(folder, named, named ? &in->others : nullptr);
  for (const std::string& file : found) add(in, file, shown_name(file, folder, named));
  if (found.empty()) in->empty_folders.push_back(folder);
}

}  // namespace

std::vector<std::string> containers_in(const std::string& folder, bool recursive, uint64_t* others) {
  std::vector<std::string> found;
  uint64_t uncounted = 0;
  std::error_code error;
  const fs::path root = path_from_utf8(folder);
  if (recursive) {
    collect(fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error), &found,
            others != nullptr ? others : &uncounted);
  } else {
    collect(fs::directory_iterator(root, fs::directory_options::skip_permission_denied, error), &found,
            others != nullptr ? others : &uncounted);
  }
  std::sort(found.begin(), found.end());
  return found;
}

BatchInputs gather_inputs(const std::vector<std::string>& names, const std::string& own_folder) {
  BatchInputs in;
  if (names.empty()) add_folder(&in, own_folder, false);
  for (const std::string& name : names) {
    if (is_folder(name)) {
      add_folder(&in, name, true);
    } else {
      add(&in, name, name);  // named by hand: shown as given
    }
  }
  return in;
}
