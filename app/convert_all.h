// convert-all: many files at once, one kelvor run per file, each under the
// name kelvor derives. What the Windows kit offers for dropping files and
// folders on, or naming them in a console.
#pragma once

#include <string>
#include <vector>

// The containers in `folder` (names ending in ".zq" in any letter case),
// and in its subfolders when `recursive`, as UTF-8 paths sorted by their
// bytes. A folder that cannot be read gives what could be read of it.
std::vector<std::string> containers_in(const std::string& folder, bool recursive);

// Runs kelvor once for each name in `args` (the program name excluded) that
// does not begin with "-": a file by itself, a folder for every container in
// it and its subfolders; with no name at all, for the containers of
// `own_folder`. The arguments that begin with "-" are options given to every
// run. Each run prints its own messages after an empty line. The summary
// closes the output: the folders in which no container was found (with a
// hint when nothing at all was), each failed file with its error line (its
// path from the folder it was found through, or as given), then the counts.
// Returns the number of runs that failed.
int convert_all(const std::vector<std::string>& args, const std::string& own_folder);
