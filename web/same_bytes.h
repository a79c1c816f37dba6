// Whether two runs of bytes are equal, for the page: a WAV's repetitions of
// its loop section are checked against the section as the run writes them.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the `n` bytes at `a` and at `b` are the same.
bool same_bytes(const uint8_t* a, const uint8_t* b, size_t n);
