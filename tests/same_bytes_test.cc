// The check of a WAV's repetitions: a single differing byte is found
// wherever it lies, in a whole block or in the tail after the last block.
#include "web/same_bytes.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SameBytes, EqualRunsAtEveryLengthAndAlignment) {
  std::vector<uint8_t> a(300), b(300);
  for (size_t i = 0; i < a.size(); ++i) a[i] = b[i] = static_cast<uint8_t>(i * 7 + 3);
  for (size_t offset = 0; offset < 9; ++offset) {
    for (size_t n = 0; n + offset <= 200; ++n) EXPECT_TRUE(same_bytes(a.data() + offset, b.data() + offset, n)) << n;
  }
}

TEST(SameBytes, OneDifferingByteAnywhereIsFound) {
  for (size_t n : {1u, 63u, 64u, 65u, 130u, 200u}) {
    for (size_t at = 0; at < n; ++at) {
      std::vector<uint8_t> a(n, 0x5a), b(n, 0x5a);
      b[at] = 0x5b;
      EXPECT_FALSE(same_bytes(a.data(), b.data(), n)) << n << " " << at;
      EXPECT_TRUE(same_bytes(a.data(), b.data(), at)) << n << " " << at;  // the bytes before it
    }
  }
}
