// Where a run's messages go. A run prints its lines as it goes; a program
// that makes several runs at once (the batch command) needs each run's
// lines kept together, so a thread may gather its messages into a string of
// its own while a MessageCapture lives on it. Without one they go to
// standard output, as they always have.
#pragma once

#include <string>

// printf to this thread's messages.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void say(const char* format, ...);

// While alive, the messages of the thread that made it are appended to
// `*into` instead of going to standard output. Captures nest: the one made
// last is used, and the one before it comes back when it ends.
class MessageCapture {
 public:
  explicit MessageCapture(std::string* into);
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;
  ~MessageCapture();

 private:
  std::string* previous_;
};
