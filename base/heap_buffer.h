// Buffers from the C heap, owned like any unique_ptr. A failed allocation is
// a null pointer on every platform, never an exception or an abort: the
// library's operator new(std::nothrow) aborts instead where C++ exceptions
// are compiled out, as in the WebAssembly builds.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

template <class T>
using HeapBuffer = std::unique_ptr<T[], FreeDeleter>;

// `bytes` bytes, untouched: a large buffer costs nothing until it is used.
template <class T>
HeapBuffer<T> allocate_buffer(size_t bytes) {
  return HeapBuffer<T>(static_cast<T*>(std::malloc(bytes)));
}
