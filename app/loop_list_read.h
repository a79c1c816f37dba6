// A loop list read back (app/loop_list.h writes them; so does the page),
// perhaps edited in a spreadsheet or a script: for each line, the file's
// path and the loop to convert it with. The CSV is taken as RFC 4180 has
// it, with or without its byte order mark, a cell written as ="NAME" read
// as NAME, lines ended by CRLF or LF; the JSON as the lists lay it out,
// "files" an array of objects. A loop is loop_start_frame with
// loop_end_frame_exclusive, or, where that is empty, loop_length_frames
// (in the JSON: loop.start_frame, loop.end_frame_exclusive, loop.length_frames).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wave/sound_shape.h"

struct ListedLoop {
  int line;            // the line the file's row starts on, from 1
  std::string path;
  bool has_loop;       // a loop is given; else the line leaves the file's own loop
  int64_t start;
  int64_t end;
  int64_t rate;        // -1 when the line gives none
  int64_t frames;      // sound_frames, likewise
  std::string problem; // why the line cannot be used, in plain words; empty when it can
};

struct LoopListRead {
  std::vector<ListedLoop> lines;
  std::string problem;  // why the list as a whole cannot be read; empty when it can
};

LoopListRead read_loop_list(const std::string& text, bool json);

// The loop a line gives its file, to convert with (wave/sound_shape.h): the
// line's problem with it, found on reading it, or that its frames lie past
// any data; `list` names the list in the lines. A line that gives no loop
// (and has no problem) chooses none: the file keeps its own.
LoopChoice loop_choice_of(const ListedLoop& line, const std::string& list);

// The line of `lines` for the file at `path` (as the lists write paths,
// "/" between the steps); null when none.
const ListedLoop* loop_for_path(const std::vector<ListedLoop>& lines, const std::string& path);
