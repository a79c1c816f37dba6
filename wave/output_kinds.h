// The kinds of output a run can make, one row each: everything the
// converter, the page and any other front end know of a kind but its words
// on screen. A new kind is a row here and a description of its files
// (wave/wav_layout.h).
#pragma once

#include <array>
#include <cstdint>

// The kinds, numbered as the rows of kOutputKindRows.
enum class OutputKind { kUnrolled = 0, kLoopPointsKept = 1, kIntroAndLoop = 2, kUnrolledMarked = 3 };

// The format of a kind's files: WAV, whose layouts the kinds describe, or
// an encoded format that takes a layout's sound (wave/encoded_formats.h).
enum class OutputFormat { kWav, kFlac, kVorbis };

struct OutputFormatRow {
  OutputFormat format;
  const char* id;         // how front ends name it: "wav", "flac", "ogg"
  const char* name;       // how rows and lines name it
  const char* extension;  // of its files
};

inline constexpr std::array<OutputFormatRow, 3> kOutputFormatRows = {{
    {OutputFormat::kWav, "wav", "WAV", ".wav"},
    {OutputFormat::kFlac, "flac", "FLAC", ".flac"},
    {OutputFormat::kVorbis, "ogg", "Ogg Vorbis", ".ogg"},
}};

// The row of `format`.
const OutputFormatRow& output_format_row(OutputFormat format);

// One file a kind writes for a track with a loop: the text that goes between
// the destination's name and its ".wav", and what the file holds: the sound
// once ("whole"), the intro, the loop section, or the sound with the loop
// repeated ("unrolled").
struct OutputFile {
  const char* suffix;
  const char* role;
};

struct OutputKindRow {
  OutputKind kind;
  const char* id;         // how front ends name it: "unrolled", "kept", "apart", "marked"
  const char* name;       // how rows and loop lists name it
  OutputFormat format;
  bool loop_count;        // takes the loop count (-l): the loop is heard that many times
  bool short_format;      // takes the short format block (-x)
  bool loop_end;          // takes a loop end: its files mark the loop in a smpl chunk
  bool whole_frames;      // its files hold the data in whole frames, a sample's slot as its bits
  int file_count;
  std::array<OutputFile, 2> files;
};

inline constexpr std::array<OutputKindRow, 4> kOutputKindRows = {{
    {OutputKind::kUnrolled, "unrolled", "loop unrolled", OutputFormat::kWav, true, true, false, false, 1,
     {{{"", "unrolled"}, {"", ""}}}},
    {OutputKind::kLoopPointsKept, "kept", "loop points kept", OutputFormat::kWav, false, false, true, true, 1,
     {{{"", "whole"}, {"", ""}}}},
    {OutputKind::kIntroAndLoop, "apart", "intro and loop apart", OutputFormat::kWav, false, false, false, true, 2,
     {{{" - intro", "intro"}, {" - loop", "loop"}}}},
    {OutputKind::kUnrolledMarked, "marked", "loop unrolled and marked", OutputFormat::kWav, true, false, true, false, 1,
     {{{"", "unrolled"}, {"", ""}}}},
}};
inline constexpr int kOutputKinds = static_cast<int>(kOutputKindRows.size());

// The row of `kind`.
const OutputKindRow& output_kind_row(OutputKind kind);
