#include "app/small_json.h"

#include <cstdint>

namespace {

class JsonReader {
 public:
  explicit JsonReader(const std::string& t) : t_(t) {}
  std::unique_ptr<Json> value(int depth = 0);
  bool at_end() {
    space();
    return i_ == t_.size();
  }
  std::string problem;

 private:
  void space() {
    for (; i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r'); ++i_) {
      if (t_[i_] == '\n') ++line_;
    }
  }
  bool fail(const std::string& why) {
    if (problem.empty()) problem = why + " on line " + std::to_string(line_);
    return false;
  }
  bool string(std::string* out);
  void utf8(uint32_t code, std::string* out);
  const std::string& t_;
  size_t i_ = 0;
  int line_ = 1;
};

void JsonReader::utf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool JsonReader::string(std::string* out) {
  ++i_;  // the opening quote
  auto hex4 = [&](uint32_t* v) {
    if (i_ + 4 > t_.size()) return false;
    *v = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = t_[i_++];
      const int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
      if (d < 0) return false;
      *v = *v * 16 + static_cast<uint32_t>(d);
    }
    return true;
  };
  while (i_ < t_.size()) {
    const char c = t_[i_++];
    if (c == '"') return true;
    if (c == '\n') return fail("a text runs past its line");
    if (c != '\\') {
      *out += c;
      continue;
    }
    if (i_ >= t_.size()) break;
    const char e = t_[i_++];
    const char* plain = "\"\\/bfnrt";
    const char* as = "\"\\/\b\f\n\r\t";
    bool known = false;
    for (int k = 0; plain[k] != '\0'; ++k) {
      if (e == plain[k]) {
        *out += as[k];
        known = true;
      }
    }
    if (known) continue;
    uint32_t code = 0;
    if (e != 'u' || !hex4(&code)) return fail("a text has an escape JSON does not know");
    if (code >= 0xD800 && code < 0xDC00 && i_ + 1 < t_.size() && t_[i_] == '\\' && t_[i_ + 1] == 'u') {
      i_ += 2;
      uint32_t low = 0;
      if (!hex4(&low) || low < 0xDC00 || low >= 0xE000) return fail("a text has half a character");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    utf8(code, out);
  }
  return fail("a text never ends");
}

std::unique_ptr<Json> JsonReader::value(int depth) {
  space();
  auto v = std::make_unique<Json>();
  v->line = line_;
  if (depth > 64 || i_ >= t_.size()) return fail("the list ends too soon"), nullptr;
  const char c = t_[i_];
  if (c == '{' || c == '[') {
    const bool object = c == '{';
    v->type = object ? Json::kObject : Json::kArray;
    ++i_;
    space();
    if (i_ < t_.size() && t_[i_] == (object ? '}' : ']')) {
      ++i_;
      return v;
    }
    for (;;) {
      std::string key;
      if (object) {
        space();
        if (i_ >= t_.size() || t_[i_] != '"' || !string(&key)) return fail("an object's field has no name"), nullptr;
        space();
        if (i_ >= t_.size() || t_[i_++] != ':') return fail("a field's name has no colon after it"), nullptr;
      }
      std::unique_ptr<Json> item = value(depth + 1);
      if (!item) return nullptr;
      if (object) v->fields.emplace_back(key, std::move(item));
      else v->items.push_back(std::move(item));
      space();
      if (i_ < t_.size() && t_[i_] == ',') {
        ++i_;
        continue;
      }
      if (i_ < t_.size() && t_[i_] == (object ? '}' : ']')) {
        ++i_;
        return v;
      }
      return fail(object ? "an object does not end" : "an array does not end"), nullptr;
    }
  }
  if (c == '"') {
    v->type = Json::kText;
    return string(&v->text) ? std::move(v) : nullptr;
  }
  for (const char* word : {"null", "true", "false"}) {
    const std::string w = word;
    if (t_.compare(i_, w.size(), w) == 0) {
      i_ += w.size();
      v->type = w == "null" ? Json::kNull : Json::kBool;
      v->text = w;
      return v;
    }
  }
  const size_t from = i_;
  while (i_ < t_.size() && std::string("-+.eE0123456789").find(t_[i_]) != std::string::npos) ++i_;
  if (i_ == from) return fail("there is something JSON does not know"), nullptr;
  v->type = Json::kNumber;
  v->text = t_.substr(from, i_ - from);
  return v;
}

}  // namespace

std::unique_ptr<Json> read_json(const std::string& text, std::string* problem) {
  JsonReader reader(text);
  std::unique_ptr<Json> root = reader.value();
  if (root && !reader.at_end()) reader.problem = "there is more after the list's end";
  if (!reader.problem.empty()) root.reset();
  *problem = reader.problem;
  return root;
}
