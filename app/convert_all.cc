#include "app/convert_all.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/kelvor_main.h"
#include "base/error_lines.h"
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

// A path without "." and ".." steps or a separator at its end.
fs::path tidy(const fs::path& p) {
  fs::path n = p.lexically_normal();
  if (n.has_relative_path() && n.filename().empty()) n = n.parent_path();
  return n;
}

// How a container found in `folder` is named in the closing list: from the
// folder's own name down (`named`, as a folder dropped or given), or from
// inside it (the program's own folder), which is where a person looks.
std::string shown_name(const std::string& file, const std::string& folder, bool named) {
  const fs::path root = tidy(path_from_utf8(folder));
  const fs::path inside = tidy(path_from_utf8(file)).lexically_relative(root);
  if (inside.empty()) return file;
  const fs::path top = root.filename();
  return utf8_from_path(named && top != "." && !top.empty() ? top / inside : inside);
}

// One file to convert and the name the closing list gives it.
struct Job {
  std::string file;
  std::string shown;
};

// One kelvor run, as the command line `kelvor NAME OPTIONS...` would make it.
int run_kelvor(const std::string& name, const std::vector<std::string>& options) {
  std::vector<const char*> argv = {"kelvor", name.c_str()};
  for (const std::string& o : options) argv.push_back(o.c_str());
  std::printf("\n");
  const int result = kelvor_main(static_cast<int>(argv.size()), argv.data());
  std::fflush(stdout);
  return result;
}

// The containers of `folder` as jobs; a folder that gives none is noted in
// `empty`, for the closing lines.
void add_folder(const std::string& folder, bool named, std::vector<Job>* jobs, std::vector<std::string>* empty) {
  const std::vector<std::string> found = containers_in(folder, named);
  for (const std::string& file : found) jobs->push_back(Job{file, shown_name(file, folder, named)});
  if (found.empty()) empty->push_back(folder);
}

// What a person reads last, when every run has scrolled by: the folders
// where nothing was found, each failed file with its error line, then the
// counts.
void print_summary(const std::vector<std::string>& empty, bool own_folder, bool nothing_found,
                   const std::vector<std::pair<std::string, int>>& failures, int done) {
  std::printf("\n");
  for (const std::string& folder : empty) {
    std::printf("convert-all: no .zq file in %s%s.\n", folder.c_str(),
                own_folder ? "" : " or its subfolders");
  }
  if (nothing_found) {
    std::printf("convert-all: drop .zq files, or folders that hold them, on convert-all.\n"
                "convert-all: if it is still inside its zip, extract the zip first.\n");
  }
  if (!failures.empty()) std::printf("convert-all: these files failed:\n");
  for (const auto& [shown, code] : failures) {
    const char* line = error_line(code);
    if (line != nullptr) {
      std::printf("  %s: %s", shown.c_str(), line);
    } else {
      std::printf("  %s: result code %d\n", shown.c_str(), code);
    }
  }
  std::printf("convert-all: %d converted, %d failed.\n", done, static_cast<int>(failures.size()));
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
  std::vector<Job> jobs;
  std::vector<std::string> empty;
  if (names.empty()) add_folder(own_folder, false, &jobs, &empty);
  for (const std::string& name : names) {
    if (is_folder(name)) {
      add_folder(name, true, &jobs, &empty);
    } else {
      jobs.push_back(Job{name, name});  // named by hand: shown as given
    }
  }
  int done = 0;
  std::vector<std::pair<std::string, int>> failures;
  for (const Job& job : jobs) {
    const int result = run_kelvor(job.file, options);
    if (result == 0) {
      ++done;
    } else {
      failures.emplace_back(job.shown, result);
    }
  }
  print_summary(empty, names.empty(), jobs.empty(), failures, done);
  return static_cast<int>(failures.size());
}
