// Little-endian loads: values are assembled byte by byte from uint8_t (never
// from a plain char, which may sign-extend), so the host's byte order never matters.
#pragma once

#include <cstdint>

inline uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint16_t load_le16(const uint8_t* p) {
  return static_cast<uint16_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8));
}
