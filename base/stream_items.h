// Whole-item transfers on a buffered stream: an item that moves only in part
// is a failure. glibc's fwrite can report a whole item written although the
// flush it made on the way failed and the bytes were dropped (when the item
// exactly fills the buffer); the stream's error indicator is set all the
// same, so a write or flush counts as done only while that indicator stays
// clear.
#pragma once

#include <cstddef>
#include <cstdio>

inline bool read_item(FILE* f, void* buf, size_t n) { return std::fread(buf, n, 1, f) == 1; }

inline bool write_item(FILE* f, const void* buf, size_t n) {
  return std::fwrite(buf, n, 1, f) == 1 && !std::ferror(f);
}

inline bool flush_stream(FILE* f) { return std::fflush(f) == 0 && !std::ferror(f); }
