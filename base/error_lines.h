// The command line's error lines, one for each result code it can end with:
// the stages print them from here, and whatever reports a run afterwards
// (convert-all's list of failed files) names a failure by the same line.
// Only the page's kept loop prints lines of its own, naming its functions,
// the encoded formats (-35, -36) and the shaped lengths and chosen loops
// (-37), which the command line never writes.
#pragma once

// The line printed for `code`, its line break included, as in
// "error-51 : read error(transfar)\n"; nullptr for 0, -1 (the usage) and any
// code the command line never ends with.
const char* error_line(int code);

// Prints the line of `code` on standard output and returns `code`.
int print_error(int code);
