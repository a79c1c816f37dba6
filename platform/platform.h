// What the converter asks of the platform: names, files by name, 64-bit
// stream positions and a console that shows UTF-8. Each platform answers in a file of its own (posix.cc,
// windows.cc). Names are the bytes of the command line: UTF-8 on Windows,
// opened there through the wide-character API; bytes as they stand elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

// fopen of `name`; null when it cannot be opened.
FILE* open_named(const std::string& name, const char* mode);

// True when `name` is the file already open as `open_file`: the same device
// and inode (volume and file index on Windows), so "./x", symbolic and hard
// links are all caught. `open_name` is used when the stream has no
// descriptor of its own.
bool is_same_file(FILE* open_file, const std::string& open_name, const std::string& name);

// Reads the first `n` bytes of `name` into `head` when `name` is a regular
// file (links followed) at least `n` bytes long. Nothing else is ever opened
// for reading: a missing file, a directory, a FIFO or a device gives false
// without being touched.
bool read_regular_file_head(const std::string& name, uint8_t* head, size_t n);

// True for the platform's directory separators: '/' on POSIX hosts, '\\' and
// '/' on Windows.
bool is_separator(char c);

// A name as the file system library takes it, and back: the bytes as they
// stand on POSIX hosts, UTF-16 held as UTF-8 on Windows. May throw
// std::bad_alloc.
std::filesystem::path path_from_utf8(const std::string& name);
std::string utf8_from_path(const std::filesystem::path& path);

// The folder that holds the running program, as a UTF-8 name; "." when it
// cannot be told.
std::string program_folder();

// True when the console that standard output goes to was made for this
// process alone and closes as soon as it ends, as when Explorer starts a
// program: what it printed last can then only be read while it waits.
bool console_closes_at_exit();

// "Press any key to continue . . . ", then waits for a key.
void wait_for_key();

// The stream's position and an absolute seek, in 64 bits even where long has
// 32, so that a stream already past 2^31 still tells where it is. tell64 gives
// -1 and seek64 nonzero on failure.
int64_t tell64(FILE* f);
int seek64(FILE* f, int64_t at);

// While alive, a console on standard output shows the UTF-8 that the
// messages are printed in (on Windows its output code page is switched and
// put back when the run returns or is interrupted); redirected output, and
// every other platform, receive the bytes as they are.
class Utf8Console {
 public:
  Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;
  ~Utf8Console();

 private:
  [[maybe_unused]] unsigned original_code_page_ = 0;  // used where the platform has code pages
  [[maybe_unused]] bool changed_ = false;
};

// What the batch command asks besides: a terminal to redraw a line on,
// files written under a scratch name and moved into place once whole, and
// a user's interrupt (Ctrl-C), noted rather than obeyed at once.

// True when standard output is a terminal (a console on Windows).
bool stdout_is_terminal();

// Creates `name`, which must not exist yet, for writing bytes; null when it
// cannot be made. The file can be removed by name while it is still open
// (Windows otherwise refuses that), and is gone once the last handle closes.
FILE* open_scratch(const std::string& name);

// Moves the file `from` to `to`, in place of a file `to` if there is one;
// false when it could not be moved.
bool move_file(const std::string& from, const std::string& to);

// Removes the file `name`; false when it could not be removed.
bool remove_named(const std::string& name);

// From the first call on, Ctrl-C (and a request to terminate) no longer ends
// the process: interrupted() becomes true instead, for the program to end
// the way it chooses.
void catch_interrupts();
bool interrupted();
