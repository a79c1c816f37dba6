#include "app/file_ops.h"

#include "platform/platform.h"

namespace {

FILE* system_open(void*, const char* name, const char* mode) { return open_named(name, mode); }
int system_close(void*, FILE* f) { return std::fclose(f); }

constexpr FileOps kSystemOps = {system_open, system_close, nullptr, kStreamBufferBytes};

}  // namespace

const FileOps& system_file_ops() { return kSystemOps; }

bool OpenFile::open(const std::string& name, const char* mode) {
  close();
  file_ = ops_.open(ops_.ctx, name.c_str(), mode);
  if (file_ == nullptr) return false;
  if (ops_.stream_buffer > 0) {
    // glibc ignores the size unless it is given the buffer too. Without
    // memory for it the stream keeps its own, smaller one.
    buffer_ = allocate_buffer<char>(ops_.stream_buffer);
    if (buffer_ && std::setvbuf(file_, buffer_.get(), _IOFBF, ops_.stream_buffer) != 0) buffer_.reset();
  }
  return true;
}

int OpenFile::close() {
  if (file_ == nullptr) return 0;
  FILE* f = file_;
  file_ = nullptr;
  int result = ops_.close(ops_.ctx, f);
  buffer_.reset();
  return result;
}
