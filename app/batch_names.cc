#include "app/batch_names.h"

#include <filesystem>
#include <system_error>

#include "app/cmdline.h"
#include "app/convert.h"
#include "platform/platform.h"

namespace {

// Whether anything (a file, a folder, a link that leads nowhere) is there.
bool exists(const std::string& name) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(path_from_utf8(name), error);
  return !error && status.type() != std::filesystem::file_type::not_found;
}

}  // namespace

std::string numbered_name(const std::string& name, int n) {
  size_t start = 0;
  for (size_t i = name.size(); i-- > 0;) {
    if (is_separator(name[i])) {
      start = i + 1;
      break;
    }
  }
  const size_t dot = name.rfind('.');
  const std::string number = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot <= start) return name + number;
  return name.substr(0, dot) + number + name.substr(dot);
}

std::vector<std::string> kind_names(const std::string& dst, OutputKind kind, const char* extension) {
  std::vector<std::string> names = {dst};
  const OutputKindRow& row = output_kind_row(kind);
  for (int i = 0; i < row.file_count; ++i) {
    const char* suffix = row.files[static_cast<size_t>(i)].suffix;
    if (suffix[0] != '\0') names.push_back(kept_output_name(dst, suffix, extension));
  }
  return names;
}

std::string batch_destination(const BatchInput& input, const std::string& out, const char* extension) {
  const std::string name = derived_output_name(out.empty() ? input.file : input.mirrored, extension);
  if (out.empty()) return name;
  return utf8_from_path(path_from_utf8(out) / path_from_utf8(name));
}

bool NameBook::taken(const std::string& name) const {
  return given_.count(name) != 0 || (!replace_ && exists(name));
}

std::vector<std::string> NameBook::claim(const std::vector<std::string>& wanted, bool* numbered) {
  std::vector<std::string> names = wanted;
  *numbered = false;
  for (int n = 2;; ++n) {
    bool free = true;
    for (const std::string& name : names) free = free && !taken(name);
    if (free) break;
    *numbered = true;
    for (size_t i = 0; i < wanted.size(); ++i) names[i] = numbered_name(wanted[i], n);
  }
  given_.insert(names.begin(), names.end());
  return names;
}
