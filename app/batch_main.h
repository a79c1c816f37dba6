// The batch command: many files and folders at once, every kind of output,
// mirrored into another folder or beside the sources, several files at
// once, never over a file it did not write. On Windows the same program is
// also the kit's drop tool, convert-all.exe: started without a name it
// converts the files beside it.
#pragma once

#include <string>
#include <vector>

// Exit statuses a script can tell apart.
inline constexpr int kBatchAllConverted = 0;
inline constexpr int kBatchSomeFailed = 1;  // or nothing was found to convert
inline constexpr int kBatchUsage = 2;
inline constexpr int kBatchInterrupted = 130;

// True when the program was started as the drop tool (its file's name
// "convert-all", any letter case, any extension).
bool is_drop_tool(const std::string& program_path);

// Runs the batch for `args` (the program's name left out), as the program
// `program` ("kelvor-batch" or "convert-all", which its lines begin with),
// the drop tool converting `own_folder` when no name is given. Returns the
// exit status. After an interrupt (kBatchInterrupted) runs may still be in
// their middle, reading what they were given: the caller then ends the
// process at once (std::_Exit) rather than returning from main.
int batch_main(const std::vector<std::string>& args, const char* program, const std::string& own_folder);
