// The run of one command line: banner, usage or settings, one conversion.
#pragma once

// Returns the result code that becomes the exit status: 0, -1 for the usage,
// or the first failure's negative number. `argv` holds the arguments as
// bytes (UTF-8 on Windows), the program name first.
int kelvor_main(int argc, const char* const* argv);
