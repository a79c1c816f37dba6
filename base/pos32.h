// File positions in this format are 32-bit quantities. A target of 2^31 or
// more is refused even where the platform could go further, so a container
// behaves the same on every host; a target past the end of the file is allowed
// (the read that follows then fails).
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr uint32_t kPositionLimit = 0x80000000u;  // 2^31

// Current position as a 32-bit value (mod 2^32). False when the stream cannot tell.
bool tell32(FILE* f, uint32_t* pos);

// Absolute seek to `target`. False when target >= 2^31 or the stream refuses.
bool seek_to32(FILE* f, uint32_t target);

// Relative seek: the target is the current position + delta, mod 2^32.
bool seek_by32(FILE* f, uint32_t delta);
