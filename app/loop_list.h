// The loop list of a batch: one line per converted file, with its WAVs and
// where its loop lies, for the engines and editors the WAVs go into. The
// page writes the same lists (web/shared/loop_list.js), column for column
// and byte for byte: loops.csv for spreadsheets, with a byte order mark and
// a name that a spreadsheet would take for a formula written as ="NAME";
// loops.json for scripts, laid out as JavaScript's JSON.stringify lays it
// out with an indent of two.
#pragma once

#include <string>
#include <vector>

#include "app/kelvor_main.h"

// One WAV a run wrote: its name as the list gives it, and its role as the
// kinds' table names it ("whole", "intro", "loop", "unrolled").
struct ListedWav {
  std::string name;
  std::string role;
};

// One converted file: its path as the list gives it, its WAVs in the order
// they were written, and its run's report (its kind and loop end among it).
struct ListedFile {
  std::string path;
  std::vector<ListedWav> wavs;
  RunReport report;
  OutputFormat format = OutputFormat::kWav;  // FLAC and Ogg files have no smpl chunk: no loop end of one
};

std::string loop_list_csv(const std::vector<ListedFile>& files);
std::string loop_list_json(const std::vector<ListedFile>& files);

// The id of a loop end as the lists and the options name it: "riff" (the
// last frame, as RIFF has it) or "godot" (the frame after it).
const char* loop_end_id(LoopEnd end);

// A frame count over a rate in seconds, as the lists write it: rounded to
// the microsecond, halves away from zero, trailing zeros dropped (what
// JavaScript's Number(x.toFixed(6)) prints). Exact: no double is printed.
std::string list_seconds(int64_t frame, uint32_t rate);

// The value of Godot 4's loop_offset import setting, in seconds as the lists
// write them, that lands on `frame`: Godot truncates the offset times the
// rate to a sample, so the middle of the frame is given, (frame + 0.5) / rate.
std::string godot_loop_offset(int64_t frame, uint32_t rate);
