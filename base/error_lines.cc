#include "base/error_lines.h"

#include "base/messages.h"

#include <cstdio>

namespace {

struct ErrorLine {
  int code;
  const char* line;
};

// The spelling is part of the interface: scripts match these lines.
constexpr ErrorLine kLines[] = {
    {-2, "error-2 : no .zq filename.\n"},
    {-3, "error-3 : memory allocate faild(filename).\n"},
    {-11, "error-11 : can not open .zq file.\n"},
    {-12, "error-12 : can not create .wav file.\n"},
    {-13, "error-13 : .wav file is the .zq file.\n"},
    {-14, "error-14 : .wav file is a .zq file.\n"},
    {-22, "error-22 : read error(analyze)\n"},
    {-23, "error-23 : invalid .zq file(analyze)\n"},
    {-24, "error-24 : invalid cunk(analyze)\n"},
    {-31, "error-31 : write error(wavheader)\n"},
    {-32, "error-32 : loop start is beyond the data(wavheader)\n"},
    {-33, "error-33 : wav file too large(wavheader)\n"},
    {-35, "error-35 : format can not hold the track(encoder)\n"},
    {-36, "error-36 : encode error(encoder)\n"},
    {-37, "error-37 : length or loop refused(shape)\n"},
    {-41, "error-41 : memory allocate faild(write_wav_body)\n"},
    {-42, "error-42 : seek error(go_datahead)\n"},
    {-43, "error-43 : seek error(skip_loophead)\n"},
    {-51, "error-51 : read error(transfar)\n"},
    {-52, "error-52 : write error(transfar)\n"},
    {-53, "error-53 : write error(convert)\n"},
};

}  // namespace

const char* error_line(int code) {
  for (const ErrorLine& e : kLines) {
    if (e.code == code) return e.line;
  }
  return nullptr;
}

int print_error(int code) {
  const char* line = error_line(code);
  if (line != nullptr) say("%s", line);
  return code;
}
