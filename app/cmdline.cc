#include "app/cmdline.h"

#include <cstdio>
#include <new>

#include "app/version.h"
#include "base/error_lines.h"
#include "platform/platform.h"
#include "base/messages.h"

namespace {

constexpr const char* kProgram = "kelvor";
constexpr const char* kAuthor = "the kelvor developers";
constexpr const char* kContact = "kelvor@example.org";

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void store_if_positive(char option, const char* text, int32_t* field) {
  int32_t value = parse_number(text);
  if (value > 0) {
    *field = value;
  } else {
    say("warning : value of option '%c' is out of range.\n", option);
  }
}

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool ends_with_wav(const std::string& name) {
  static constexpr char kWav[] = ".wav";
  if (name.size() < 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (lower_ascii(name[name.size() - 4 + i]) != kWav[i]) return false;
  }
  return true;
}

}  // namespace

void print_banner() { say("%s ver. %s\nby %s(%s)\n", kProgram, kKelvorVersion, kAuthor, kContact); }

void print_usage() {
  say(
      "\nusage : %s.exe [zq name] {wav name} {options}\n"
      "        [zq name]  : .zq file\n"
      "        {wav name} : output wav file name(option)\n"
      "        {options}  : -ln ... loop count(n = 1...). default is %d.\n",
      kProgram, kDefaultLoopCount);
}

void print_settings(const Settings& s) {
  say("setting : loop %d\n    src[%s]\n    dst[%s]\n", s.loop_count, s.src_name.c_str(),
              s.dst_name.c_str());
}

int32_t parse_number(const char* p) {
  while (is_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  uint32_t value = 0;  // unsigned so that the wraparound is defined
  for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);  // modular conversion
}

void scan_arguments(int argc, const char* const* argv, Settings* s) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-') {
      // An empty argument leaves its slot free for the next name; a third
      // name is ignored without a message.
      if (s->src_name.empty()) {
        s->src_name = arg;
      } else if (s->dst_name.empty()) {
        s->dst_name = arg;
      }
      continue;
    }
    switch (arg[1]) {
      case 'l':
        store_if_positive('l', arg + 2, &s->loop_count);
        break;
      case 'b':
        store_if_positive('b', arg + 2, &s->buffer_size);
        break;
      case 'x':
        s->omit_fmt_tail = 1;  // anything after the x is ignored
        break;
      default:
        // A lone "-" names the NUL that ends it; the byte is printed as it is.
        say("warning : '%c' is invalid option.\n", arg[1]);
        break;
    }
  }
}

std::string derive_dst_name(const std::string& src) {
  size_t dot = src.rfind('.');
  size_t sep = std::string::npos;
  for (size_t i = src.size(); i-- > 0;) {
    if (is_separator(src[i])) {
      sep = i;
      break;
    }
  }
  bool has_extension = dot != std::string::npos && (sep == std::string::npos || dot > sep);
  // Replacing the extension of a name without one, or of a name that already
  // ends in ".wav", would name the source itself; append instead.
  if (!has_extension || ends_with_wav(src)) return src + ".wav";
  return src.substr(0, dot) + ".wav";
}

int settle_settings(int argc, const char* const* argv, Settings* s) {
  try {
    scan_arguments(argc, argv, s);
    if (s->src_name.empty()) {
      return print_error(-2);
    }
    if (s->dst_name.empty()) s->dst_name = derive_dst_name(s->src_name);
  } catch (const std::bad_alloc&) {
    return print_error(-3);
  }
  return 0;
}
