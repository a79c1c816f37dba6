// Names as Windows holds them (UTF-16) and as the converter holds them
// (UTF-8 bytes). Plain string work, so that it is built and tested on every
// host; only the Windows build calls it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// UTF-16 to UTF-8. A lone surrogate, which Windows allows in file names, is
// kept as its own 3-byte sequence (the generalised form of UTF-8), so that
// every name read from the command line opens the very file it named.
// May throw std::bad_alloc.
std::string utf8_from_utf16(std::u16string_view text);

// UTF-8 (with lone surrogates as above) back to UTF-16. A byte that starts
// no valid sequence becomes U+FFFD. May throw std::bad_alloc.
std::u16string utf16_from_utf8(std::string_view text);

// The arguments of a wide-character main, each as UTF-8 as above. May throw
// std::bad_alloc.
std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv);

// Longest full path that the file API takes in its plain form: MAX_PATH,
// 260, less the terminating NUL.
inline constexpr size_t kLongestPlainPath = 259;

// The name to hand to the file API for `name`, whose absolute form is
// `full_path`: the name itself while the absolute path is short enough, else
// the extended-length form of the absolute path ("\\?\C:\...", or
// "\\?\UNC\server\share\..." for a network path). Paths already in the
// "\\?\" or device ("\\.\") namespace are kept as they are.
std::u16string api_path(const std::u16string& name, const std::u16string& full_path);
