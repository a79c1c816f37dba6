// Enough of JSON for the loop lists read back (app/loop_list_read.h): every
// value, each knowing the line it starts on, so that a list's entries can be
// named by line. Numbers are kept as their text.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct Json {
  enum Type { kNull, kBool, kNumber, kText, kArray, kObject } type = kNull;
  std::string text;  // kText, and a number's own text
  std::vector<std::unique_ptr<Json>> items;
  std::vector<std::pair<std::string, std::unique_ptr<Json>>> fields;
  int line = 0;
  const Json* field(const std::string& name) const {
    for (const auto& [key, value] : fields) {
      if (key == name) return value.get();
    }
    return nullptr;
  }
};

// The value `text` holds, whole; null with the problem and its line in
// `*problem` when it is not JSON (or nests deeper than 64).
std::unique_ptr<Json> read_json(const std::string& text, std::string* problem);
