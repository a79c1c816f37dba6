#include "platform/wide_names.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void put_utf8(std::string* out, char32_t cp) {
  auto byte = [out](char32_t v) { out->push_back(static_cast<char>(static_cast<uint8_t>(v))); };
  if (cp < 0x80) {
    byte(cp);
  } else if (cp < 0x800) {
    byte(0xC0 | (cp >> 6));
    byte(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    byte(0xE0 | (cp >> 12));
    byte(0x80 | ((cp >> 6) & 0x3F));
    byte(0x80 | (cp & 0x3F));
  } else {
    byte(0xF0 | (cp >> 18));
    byte(0x80 | ((cp >> 12) & 0x3F));
    byte(0x80 | ((cp >> 6) & 0x3F));
    byte(0x80 | (cp & 0x3F));
  }
}

void put_utf16(std::u16string* out, char32_t cp) {
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes the sequence at text[*at], moving *at past it. Overlong forms and
// values past U+10FFFF are refused; surrogates are let through one by one. A
// sequence cut short, by the end or by a byte that cannot continue it, is one
// replacement, and that byte starts the next sequence.
char32_t next_code_point(std::string_view text, size_t* at) {
  const auto lead = static_cast<uint8_t>(text[*at]);
  ++*at;
  if (lead < 0x80) return lead;
  const size_t length = (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0) return kReplacement;
  static constexpr uint8_t kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  char32_t cp = lead & kLeadBits[length];
  for (size_t i = 1; i < length; ++i, ++*at) {
    if (*at >= text.size() || (static_cast<uint8_t>(text[*at]) & 0xC0) != 0x80) return kReplacement;
    cp = (cp << 6) | (static_cast<uint8_t>(text[*at]) & 0x3F);
  }
  return (cp < kSmallest[length] || cp > 0x10FFFF) ? kReplacement : cp;
}

bool starts_with(const std::u16string& s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && std::u16string_view(s).substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string utf8_from_utf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t u = text[i];
    if (is_high_surrogate(u) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      u = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    put_utf8(&out, u);
  }
  return out;
}

std::u16string utf16_from_utf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) put_utf16(&out, next_code_point(text, &at));
  return out;
}

std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const std::wstring_view wide(argv[i]);
    args.push_back(utf8_from_utf16(std::u16string(wide.begin(), wide.end())));  // wchar_t is UTF-16 on Windows
  }
  return args;
}

std::u16string api_path(const std::u16string& name, const std::u16string& full_path) {
  if (full_path.size() <= kLongestPlainPath) return name;
  if (starts_with(full_path, u"\\\\?\\") || starts_with(full_path, u"\\\\.\\")) return full_path;
  if (starts_with(full_path, u"\\\\")) return u"\\\\?\\UNC\\" + full_path.substr(2);
  return u"\\\\?\\" + full_path;
}
