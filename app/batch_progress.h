// The batch's progress line, which a terminal shows redrawn in place: files
// done of all, megabytes written, the rate, and the time left, estimated
// from the bytes of the sources converted so far.
#pragma once

#include <cstdint>
#include <string>

struct BatchProgress {
  uint64_t files_done = 0;  // converted or failed
  uint64_t files = 0;
  uint64_t bytes_written = 0;
  uint64_t source_bytes_done = 0;
  uint64_t source_bytes = 0;
  double seconds = 0;  // since the run began
};

// "kelvor-batch: 37 of 150 files, 298.4 MB written, 150.2 MB/s, 0:05 left".
std::string progress_text(const char* program, const BatchProgress& p);
