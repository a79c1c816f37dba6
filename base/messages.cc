#include "base/messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

// The one piece of state the core keeps outside its records: it belongs to
// a thread and to the capture that set it, which puts it back.
thread_local std::string* captured = nullptr;

}  // namespace

void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (captured == nullptr) {
    std::vprintf(format, args);
    va_end(args);
    return;
  }
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    captured->append(text.data(), static_cast<size_t>(length));
  }
  va_end(again);
}

MessageCapture::MessageCapture(std::string* into) : previous_(captured) { captured = into; }
MessageCapture::~MessageCapture() { captured = previous_; }
