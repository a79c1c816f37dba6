// The batch's conversions, several at once. Each file's run is kelvor's own
// (app/kelvor_main.h), its lines gathered and printed together, in the
// order the files were given whatever the number at once. Each WAV is
// written under a scratch name beside where it lands and moved into place
// once the run has succeeded: a failed run, a failed write or an interrupt
// leaves no part of a WAV behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/batch_options.h"
#include "app/kelvor_main.h"
#include "app/loop_list.h"

// One file of a batch, its names settled before any run starts.
struct BatchFile {
  std::string source;             // as kelvor is given it: a name that begins with "-" as "./name"
  std::string shown;              // as the lines and the loop list name it
  std::string destination;        // as kelvor is given it, likewise
  std::vector<std::string> names;  // every name the run may write (app/batch_names.h)
  std::vector<std::string> lands;  // where each of them lands
  std::string note;               // the batch's own line about the names, if any
  EncodeRequest encode{};         // the format (OutputFormat::kWav: none)
  uint64_t bytes = 0;             // the source's length
};

// What became of one file.
struct BatchOutcome {
  int result = 0;         // kelvor's result, or -12 when a WAV could not be put in place
  std::string lines;      // what its run printed, then the batch's lines
  bool remarkable = false;  // it failed, had a warning, or the batch said something of it
  std::vector<std::string> written;  // the names landed, in the order written
  std::vector<std::string> roles;    // the role of each, as the kinds table names it
  std::vector<uint64_t> sizes;       // the bytes of each
  RunReport report;
};

// How the run ended.
struct BatchEnd {
  std::vector<BatchOutcome> outcomes;  // one per file, in order; those not run are left empty
  std::vector<bool> finished;          // which files ran to their end
  bool interrupted = false;
};

// Converts `files` as `options` says, `jobs` at once, printing each file's
// lines as its turn comes (each after an empty line), and, when `progress`,
// a progress line on the terminal, redrawn in place, erased at the end.
// Returns when every file has been converted, or when an interrupt
// (platform/platform.h) has been seen: then the scratch files are removed
// before it returns, and no file is started or moved into place after; the
// runs still in their middle are left to the end of the process, which the
// caller then ends without returning (`files` and `options` stay theirs).
BatchEnd run_batch(const std::vector<BatchFile>& files, const BatchOptions& options, int jobs, bool progress,
                   const char* program);

// kelvor's arguments for `file`: the program's name, the source, the
// destination, the loop count and the options the kind takes.
std::vector<std::string> kelvor_arguments(const BatchFile& file, const BatchOptions& options);
