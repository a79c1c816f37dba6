// The file-system calls of a conversion, gathered behind one seam so that
// tests can stand in for them (and make any one of them fail).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "base/heap_buffer.h"

struct FileOps {
  FILE* (*open)(void* ctx, const char* name, const char* mode);
  int (*close)(void* ctx, FILE* file);
  void* ctx;
  // Size of a stream buffer of our own given to each opened stream; 0 keeps
  // the stream's own.
  size_t stream_buffer;
};

// fopen and fclose, with large stream buffers: small copy pieces then cost a
// memory copy each rather than a system call each.
inline constexpr size_t kStreamBufferBytes = 128 * 1024;
const FileOps& system_file_ops();

// Owner of one open stream and of its stream buffer: closes the stream, then
// frees the buffer, on every path. `close` reports the outcome for the caller
// that needs it.
class OpenFile {
 public:
  explicit OpenFile(const FileOps& ops) : ops_(ops) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() { close(); }

  bool open(const std::string& name, const char* mode);
  FILE* get() const { return file_; }
  // 0 when the stream closed cleanly or was never open.
  int close();

 private:
  const FileOps& ops_;
  FILE* file_ = nullptr;
  HeapBuffer<char> buffer_;  // outlives the stream that uses it
};
