#include "app/batch_main.h"

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/batch_inputs.h"
#include "app/batch_names.h"
#include "app/batch_options.h"
#include "app/batch_run.h"
#include "app/convert.h"
#include "app/loop_list.h"
#include "app/loop_list_read.h"
#include "app/version.h"
#include "base/error_lines.h"
#include "platform/platform.h"

namespace {

// A name kelvor would take for an option ("-x.zq") as "./-x.zq".
std::string not_an_option(const std::string& name) { return !name.empty() && name[0] == '-' ? "./" + name : name; }

// The files with their names settled, in the order given.
std::vector<BatchFile> settle_names(const BatchInputs& in, const BatchOptions& o, const char* program) {
  NameBook book(o.replace);
  std::vector<BatchFile> files;
  for (const BatchInput& input : in.files) {
    BatchFile f;
    f.source = not_an_option(input.file);
    f.shown = input.shown;
    f.bytes = input.bytes;
    const char* extension = output_format_row(o.format).extension;
    f.destination = not_an_option(batch_destination(input, o.out, extension));
    f.names = kind_names(f.destination, o.kind, extension);
    f.encode = EncodeRequest{o.format, o.quality_tenths, title_of_source(input.file), codec_of(o.format), o.shape};
    bool numbered = false;
    f.lands = book.claim(f.names, &numbered);
    if (numbered) {
      f.note = std::string(program) + ": " + f.names.front() + " is there already, and was kept: this one is " +
               f.lands.front() + (f.names.size() > 1 ? " (its other WAVs numbered alike)" : "") + ".\n";
    }
    files.push_back(std::move(f));
  }
  return files;
}

// A path as the loop list gives it: from the folder the WAVs went into
// when there is one, with "/" between the steps on every platform.
std::string list_name(const std::string& name, const std::string& out) {
  std::string text = name;
  if (!out.empty()) {
    const std::filesystem::path inside = path_from_utf8(name).lexically_relative(path_from_utf8(out));
    if (!inside.empty()) text = utf8_from_path(inside);
  }
  for (char& c : text) {
    if (is_separator(c)) c = '/';
  }
  return text;
}

std::vector<ListedFile> listed(const std::vector<BatchFile>& files, const BatchEnd& end, const std::string& out) {
  std::vector<ListedFile> list;
  for (size_t i = 0; i < files.size(); ++i) {
    const BatchOutcome& o = end.outcomes[i];
    if (!end.finished[i] || o.result != 0) continue;
    ListedFile f{list_name(files[i].shown, ""), {}, o.report, files[i].encode.format};
    for (size_t w = 0; w < o.written.size(); ++w) {
      if (o.sizes[w] > 0) f.wavs.push_back(ListedWav{list_name(o.written[w], out), o.roles[w]});  // created, never written: no WAV
    }
    list.push_back(std::move(f));
  }
  return list;
}

// The whole of the file `name`, at most 64 MiB: a loop list.
bool read_whole_file(const std::string& name, std::string* out) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(open_named(name, "rb"), std::fclose);
  if (!f) return false;
  char piece[65536];
  for (size_t n; (n = std::fread(piece, 1, sizeof piece, f.get())) > 0;) {
    out->append(piece, n);
    if (out->size() > (64u << 20)) return false;
  }
  return std::ferror(f.get()) == 0;
}

// The loop list to apply (--loops), read whole: false, having printed why,
// when it cannot be read.
bool read_loops(const BatchOptions& o, const char* program, LoopListRead* out) {
  std::string text;
  if (!read_whole_file(o.loops, &text)) {
    std::printf("%s: the loop list %s could not be read.\n", program, o.loops.c_str());
    return false;
  }
  *out = read_loop_list(text, o.loops_json);
  if (out->problem.empty()) return true;
  std::printf("%s: the loop list %s could not be used: %s.\n", program, o.loops.c_str(), out->problem.c_str());
  return false;
}

// Each file's line of the loop list, as its loop to convert with; the lines
// that name no file of the batch are printed, refused. Returns how many were.
size_t apply_loops(const LoopListRead& list, const std::string& name, std::vector<BatchFile>* files,
                   const char* program) {
  std::vector<bool> used(list.lines.size(), false);
  for (BatchFile& f : *files) {
    const std::string path = list_name(f.shown, "");
    for (size_t i = 0; i < list.lines.size(); ++i) {
      const ListedLoop& l = list.lines[i];
      if (l.path != path || used[i]) continue;
      used[i] = true;
      f.encode.shape.loop = loop_choice_of(l, name);
      break;
    }
  }
  size_t refused = 0;
  for (size_t i = 0; i < list.lines.size(); ++i) {
    if (used[i]) continue;
    const ListedLoop& l = list.lines[i];
    const std::string why = !l.problem.empty() ? l.problem : "no file of this batch is at \"" + l.path + "\"";
    std::printf("%s: %s line %d refused: %s.\n", program, name.c_str(), l.line, why.c_str());
    ++refused;
  }
  return refused;
}

// Writes the loop list as `o` asks, whole or not at all, beside a file of
// its name that this run did not write unless told to replace it.
void write_loop_list(const std::vector<ListedFile>& list, const BatchOptions& o, const char* program) {
  const std::string& name = o.loop_list;
  const std::string text = o.loop_list_json ? loop_list_json(list) : loop_list_csv(list);
  NameBook book(o.replace);
  bool numbered = false;
  const std::string lands = book.claim({name}, &numbered).front();
  const std::string scratch = lands + ".part";
  FILE* f = open_scratch(scratch);
  bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f != nullptr) ok = std::fclose(f) == 0 && ok;
  ok = ok && move_file(scratch, lands);
  if (!ok) {
    remove_named(scratch);
    std::printf("%s: the loop list could not be written to %s.\n", program, lands.c_str());
    return;
  }
  if (numbered) std::printf("%s: %s is there already, and was kept: the loop list is %s.\n", program, name.c_str(), lands.c_str());
}

// What a person reads last, when every run has scrolled by: the folders
// where nothing was found, each failed file with its error line, then the
// counts.
void print_summary(const BatchInputs& in, const std::vector<BatchFile>& files, const BatchEnd& end, bool drop_tool,
                   bool own_folder, size_t refused_lines, const char* program) {
  std::printf("\n");
  for (const std::string& folder : in.empty_folders) {
    std::printf("%s: no .zq file in %s%s.\n", program, folder.c_str(), own_folder ? "" : " or its subfolders");
  }
  if (in.others > 0) {
    std::printf("%s: %llu other file%s in the folders, not .zq, left alone.\n", program,
                static_cast<unsigned long long>(in.others), in.others == 1 ? "" : "s");
  }
  if (files.empty() && drop_tool) {
    std::printf("%s: drop .zq files, or folders that hold them, on convert-all.\n"
                "%s: if it is still inside its zip, extract the zip first.\n", program, program);
  }
  int done = 0, failed = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    if (!end.finished[i]) continue;
    const int code = end.outcomes[i].result;
    if (code == 0) {
      ++done;
      continue;
    }
    if (failed++ == 0) std::printf("%s: these files failed:\n", program);
    const char* line = error_line(code);
    if (line != nullptr) {
      std::printf("  %s: %s", files[i].shown.c_str(), line);
    } else {
      std::printf("  %s: result code %d\n", files[i].shown.c_str(), code);
    }
  }
  if (end.interrupted) {
    const size_t left = files.size() - static_cast<size_t>(done + failed);
    std::printf("%s: stopped: %d converted, %d failed, %llu not converted; no WAV was left half written.\n", program,
                done, failed, static_cast<unsigned long long>(left));
    if (done > 0) std::printf("%s: these files were converted:\n", program);
    for (size_t i = 0; i < files.size(); ++i) {
      if (end.finished[i] && end.outcomes[i].result == 0) std::printf("  %s\n", files[i].shown.c_str());
    }
    return;
  }
  std::printf("%s: %d converted, %d failed", program, done, failed);
  if (refused_lines > 0) {
    std::printf("; %llu line%s of the loop list refused", static_cast<unsigned long long>(refused_lines),
                refused_lines == 1 ? "" : "s");
  }
  std::printf(".\n");
}

int exit_status(size_t files, const BatchEnd& end) {
  if (end.interrupted) return kBatchInterrupted;
  if (files == 0) return kBatchSomeFailed;
  for (const BatchOutcome& o : end.outcomes) {
    if (o.result != 0) return kBatchSomeFailed;
  }
  return kBatchAllConverted;
}

}  // namespace

bool is_drop_tool(const std::string& program_path) {
  std::string stem = utf8_from_path(path_from_utf8(program_path).stem());
  for (char& c : stem) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return stem == "convert-all";
}

int batch_main(const std::vector<std::string>& args, const char* program, const std::string& own_folder) {
  // Held apart from this frame: after an interrupt, runs still in their
  // middle read them until the process ends.
  auto options = std::make_unique<BatchOptions>();
  BatchOptions& o = *options;
  const std::string problem = parse_batch_options(args, &o);
  const bool drop_tool = std::string(program) == "convert-all";
  if (!problem.empty()) {
    std::printf("%s: %s.\n", program, problem.c_str());
    return kBatchUsage;
  }
  if (o.help) {
    std::printf("%s", batch_help(program).c_str());
    return kBatchAllConverted;
  }
  if (o.version) {
    std::printf("%s %s (kelvor %s)\n", program, kKelvorRelease, kKelvorVersion);
    return kBatchAllConverted;
  }
  if (o.names.empty() && !drop_tool) {
    std::printf("%s: name the .zq files, or the folders that hold them, to convert: see --help.\n", program);
    return kBatchUsage;
  }
  catch_interrupts();
  const BatchInputs in = gather_inputs(o.names, own_folder);
  std::vector<BatchFile> settled = settle_names(in, o, program);
  size_t refused_lines = 0;
  if (!o.loops.empty()) {
    LoopListRead loops;
    if (!read_loops(o, program, &loops)) return kBatchUsage;
    refused_lines = apply_loops(loops, o.loops, &settled, program);
  }
  auto files = std::make_unique<const std::vector<BatchFile>>(std::move(settled));
  const int jobs = o.jobs > 0 ? o.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const BatchEnd end = run_batch(*files, o, jobs, stdout_is_terminal(), program);
  if (!o.loop_list.empty() && !end.interrupted) write_loop_list(listed(*files, end, o.out), o, program);
  print_summary(in, *files, end, drop_tool, o.names.empty(), refused_lines, program);
  std::fflush(stdout);
  int status = exit_status(files->size(), end);
  if (status == kBatchAllConverted && refused_lines > 0) status = kBatchSomeFailed;
  if (end.interrupted) {
    (void)files.release();
    (void)options.release();
  }
  return status;
}
