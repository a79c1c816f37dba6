#include "app/batch_progress.h"

#include <cstdio>

namespace {

std::string clock_text(double seconds) {
  const uint64_t s = static_cast<uint64_t>(seconds + 0.5);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(s / 3600),
                  static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(s / 60),
                  static_cast<unsigned long long>(s % 60));
  }
  return text;
}

}  // namespace

std::string progress_text(const char* program, const BatchProgress& p) {
  char head[160];
  std::snprintf(head, sizeof head, "%s: %llu of %llu files, %.1f MB written", program,
                static_cast<unsigned long long>(p.files_done), static_cast<unsigned long long>(p.files),
                static_cast<double>(p.bytes_written) / 1e6);
  std::string text = head;
  if (p.seconds <= 0 || p.source_bytes_done == 0) return text + ", time left unknown";
  char rate[64];
  std::snprintf(rate, sizeof rate, ", %.1f MB/s, ", static_cast<double>(p.bytes_written) / 1e6 / p.seconds);
  const uint64_t left = p.source_bytes > p.source_bytes_done ? p.source_bytes - p.source_bytes_done : 0;
  const double seconds_left = p.seconds * static_cast<double>(left) / static_cast<double>(p.source_bytes_done);
  return text + rate + clock_text(seconds_left) + " left";
}
