#include "app/loop_list_read.h"

#include <map>
#include <memory>

#include "app/small_json.h"

namespace {

// ---- The cells: a text, a number's text, or nothing.

struct Cell {
  bool present = false;  // an empty CSV cell and JSON's null are not
  std::string text;
};

// A whole number of frames from `cell` into `*out`: "" when it is one or
// absent (`*given` false), else the problem.
std::string frames_cell(const Cell& cell, const char* column, bool* given, int64_t* out) {
  *given = false;
  std::string t = cell.text;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  while (!t.empty() && t.front() == ' ') t.erase(0, 1);
  if (!cell.present || t.empty()) return {};
  int64_t n = 0;
  for (const char c : t) {
    if (c < '0' || c > '9' || n > (INT64_C(1) << 40)) {
      return std::string(column) + " is not a whole number of frames: \"" + t + "\"";
    }
    n = n * 10 + (c - '0');
  }
  *given = true;
  *out = n;
  return {};
}

// One row as named cells: the loop it gives, checked on its own.
ListedLoop listed_loop(int line, const std::map<std::string, Cell>& row, const char* prefix) {
  auto at = [&](const std::string& name) {
    auto it = row.find(name);
    return it == row.end() ? Cell{} : it->second;
  };
  const std::string p = prefix;
  ListedLoop l{line, at("path").text, false, 0, 0, -1, -1, {}};
  bool start_given = false, end_given = false, length_given = false, rate_given = false, frames_given = false;
  int64_t length = 0;
  for (const std::string& why : {frames_cell(at(p + "start_frame"), (p + "start_frame").c_str(), &start_given, &l.start),
                                 frames_cell(at(p + "end_frame_exclusive"), (p + "end_frame_exclusive").c_str(), &end_given, &l.end),
                                 frames_cell(at(p + "length_frames"), (p + "length_frames").c_str(), &length_given, &length),
                                 frames_cell(at("rate"), "rate", &rate_given, &l.rate),
                                 frames_cell(at("sound_frames"), "sound_frames", &frames_given, &l.frames)}) {
    if (l.problem.empty()) l.problem = why;
  }
  if (!rate_given) l.rate = -1;
  if (!frames_given) l.frames = -1;
  if (l.path.empty() && l.problem.empty()) l.problem = "the line names no file (its path is empty)";
  if (!start_given && (end_given || length_given) && l.problem.empty()) l.problem = "the loop has an end but no start";
  if (start_given && !end_given && !length_given && l.problem.empty()) l.problem = "the loop has a start but no end or length";
  if (start_given && !end_given) l.end = l.start + length;
  l.has_loop = start_given && l.problem.empty();
  return l;
}

// ---- CSV.

struct CsvRow {
  int line;
  std::vector<Cell> cells;
};

// A cell written as ="NAME", so that a spreadsheet keeps it a text.
std::string unformula(const std::string& t) {
  if (t.size() >= 3 && t[0] == '=' && t[1] == '"' && t.back() == '"') {
    std::string inner;
    for (size_t i = 2; i + 1 < t.size(); ++i) {
      inner += t[i];
      if (t[i] == '"' && t[i + 1] == '"') ++i;
    }
    return inner;
  }
  return t;
}

bool read_csv(const std::string& text, std::vector<CsvRow>* rows, std::string* problem) {
  size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  int line = 1;
  CsvRow row{line, {}};
  Cell cell;
  bool quoted = false, was_quoted = false;
  auto end_cell = [&] {
    if (!was_quoted) cell.text = unformula(cell.text);
    cell.present = true;
    row.cells.push_back(cell);
    cell = Cell{};
    was_quoted = false;
  };
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell.text += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        cell.text += c;
      }
    } else if (c == '"' && cell.text.empty()) {
      quoted = was_quoted = true;
    } else if (c == ',') {
      end_cell();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      end_cell();
      rows->push_back(std::move(row));
      row = CsvRow{++line, {}};
    } else {
      cell.text += c;
    }
  }
  if (quoted) {
    *problem = "a quoted cell that starts on line " + std::to_string(row.line) + " never ends";
    return false;
  }
  if (!cell.text.empty() || !row.cells.empty()) {
    end_cell();
    rows->push_back(std::move(row));
  }
  return true;
}

LoopListRead loops_of_csv(const std::string& text) {
  LoopListRead out;
  std::vector<CsvRow> rows;
  if (!read_csv(text, &rows, &out.problem)) return out;
  if (rows.empty()) {
    out.problem = "the list is empty";
    return out;
  }
  const std::vector<Cell>& head = rows.front().cells;
  bool has_path = false, has_start = false;
  for (const Cell& c : head) {
    has_path = has_path || c.text == "path";
    has_start = has_start || c.text == "loop_start_frame";
  }
  if (!has_path || !has_start) {
    out.problem = "its first line has no path or no loop_start_frame column: it is not a loop list";
    return out;
  }
  for (size_t r = 1; r < rows.size(); ++r) {
    const CsvRow& row = rows[r];
    if (row.cells.size() == 1 && row.cells[0].text.empty()) continue;  // an empty line
    std::map<std::string, Cell> named;
    for (size_t c = 0; c < head.size() && c < row.cells.size(); ++c) {
      Cell cell = row.cells[c];
      cell.present = !cell.text.empty();
      named[head[c].text] = cell;
    }
    out.lines.push_back(listed_loop(row.line, named, "loop_"));
  }
  return out;
}

Cell cell_of(const Json* v) {
  if (v == nullptr || v->type == Json::kNull) return Cell{};
  return Cell{true, v->text};
}

LoopListRead loops_of_json(const std::string& text) {
  LoopListRead out;
  std::string problem;
  const std::unique_ptr<Json> root = read_json(text, &problem);
  if (!root) {
    out.problem = "it is not JSON: " + problem;
    return out;
  }
  const Json* files = root->type == Json::kObject ? root->field("files") : nullptr;
  if (files == nullptr || files->type != Json::kArray) {
    out.problem = "it has no \"files\" array: it is not a loop list";
    return out;
  }
  for (const std::unique_ptr<Json>& f : files->items) {
    std::map<std::string, Cell> named;
    if (f->type != Json::kObject) {
      out.lines.push_back(ListedLoop{f->line, "", false, 0, 0, -1, -1, "the entry is not an object"});
      continue;
    }
    const Json* path = f->field("path");
    if (path != nullptr && path->type == Json::kText) named["path"] = cell_of(path);
    named["rate"] = cell_of(f->field("rate"));
    named["sound_frames"] = cell_of(f->field("sound_frames"));
    const Json* loop = f->field("loop");
    if (loop != nullptr && loop->type == Json::kObject) {
      for (const char* name : {"start_frame", "end_frame_exclusive", "length_frames"}) named[name] = cell_of(loop->field(name));
    }
    out.lines.push_back(listed_loop(f->line, named, ""));
  }
  return out;
}

}  // namespace

LoopListRead read_loop_list(const std::string& text, bool json) {
  LoopListRead out = json ? loops_of_json(text) : loops_of_csv(text);
  // A second line for the same file would leave it unclear which loop is meant.
  for (size_t i = 0; i < out.lines.size(); ++i) {
    for (size_t k = 0; k < i; ++k) {
      if (out.lines[k].path == out.lines[i].path && !out.lines[i].path.empty() && out.lines[i].problem.empty()) {
        out.lines[i].problem = "a second line for this file (the first is line " + std::to_string(out.lines[k].line) + ")";
        out.lines[i].has_loop = false;
      }
    }
  }
  return out;
}

LoopChoice loop_choice_of(const ListedLoop& l, const std::string& list) {
  if (!l.has_loop && l.problem.empty()) return LoopChoice{};
  LoopChoice c{true, static_cast<uint32_t>(l.start), static_cast<uint32_t>(l.end), l.rate, l.frames, list, l.line, l.problem};
  if (c.problem.empty() && (l.start > UINT32_MAX || l.end > UINT32_MAX)) c.problem = "the loop lies past any data a file can hold";
  return c;
}

const ListedLoop* loop_for_path(const std::vector<ListedLoop>& lines, const std::string& path) {
  for (const ListedLoop& l : lines) {
    if (l.path == path) return &l;
  }
  return nullptr;
}
