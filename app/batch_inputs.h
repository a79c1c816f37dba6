// The files a batch converts: the names given, each folder searched with its
// subfolders for containers (names ending in ".zq" in any letter case), in
// the order given and, inside a folder, sorted by their bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The containers in `folder`, and in its subfolders when `recursive`, as
// UTF-8 paths sorted by their bytes; `*others` (if given) counts the other
// files seen. A folder that cannot be read gives what could be read of it.
std::vector<std::string> containers_in(const std::string& folder, bool recursive, uint64_t* others = nullptr);

// One file to convert: its name as it is opened, and its path as the run
// shows it and mirrors it under --out: from a folder given, the folder's own
// name down (Game/bgm/town.zq); from the program's own folder, from inside
// it; a file named by hand, as given.
struct BatchInput {
  std::string file;
  std::string shown;
  std::string mirrored;  // the path under --out: `shown` without a root, "..", or a drive
  uint64_t bytes = 0;    // its length, for the progress line
};

struct BatchInputs {
  std::vector<BatchInput> files;
  std::vector<std::string> empty_folders;  // folders in which no container was found
  uint64_t others = 0;                     // files in the folders named that are not containers
};

// The inputs of `names`; with no name at all, the containers directly in
// `own_folder` (the Windows drop tool, started without any).
BatchInputs gather_inputs(const std::vector<std::string>& names, const std::string& own_folder);
