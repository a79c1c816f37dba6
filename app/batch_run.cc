#include "app/batch_run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>

#include "app/batch_progress.h"
#include "app/shape_text.h"
#include "base/error_lines.h"
#include "base/messages.h"
#include "platform/platform.h"
#include "wave/kept_loop.h"
#include "wave/output_kinds.h"

namespace {

// What every job shares: the scratch files open now, the outcomes, and
// whether the run is stopping. One lock guards them all.
struct Shared {
  std::mutex lock;
  std::condition_variable changed;
  std::set<std::string> scratch;
  bool stopping = false;
  std::vector<BatchOutcome>* outcomes;
  std::vector<bool>* finished;
  size_t next = 0;  // the next file to start
  uint64_t bytes_written = 0;
  uint64_t source_bytes_done = 0;
  uint64_t files_done = 0;
};

// One WAV opened by a run: the name it lands under and its scratch name.
struct Opened {
  size_t index;  // among the file's names
  std::string scratch;
};

// The file-system calls of one run: the source opened as it is, each WAV
// under a scratch name beside where it lands, its folders made first.
struct JobFiles {
  const BatchFile* file;
  Shared* shared;
  std::vector<Opened> opened;
};

FILE* job_open(void* ctx, const char* name, const char* mode) {
  JobFiles* job = static_cast<JobFiles*>(ctx);
  if (mode[0] == 'r') return open_named(name, mode);
  size_t index = 0;
  while (index < job->file->names.size() && job->file->names[index] != name) ++index;
  if (index == job->file->names.size()) return nullptr;  // not a name the batch settled
  const std::string& lands = job->file->lands[index];
  std::error_code error;
  std::filesystem::create_directories(path_from_utf8(lands).parent_path(), error);
  std::lock_guard<std::mutex> hold(job->shared->lock);
  if (job->shared->stopping) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string scratch = lands + ".part" + (attempt > 0 ? std::to_string(attempt) : std::string());
    FILE* f = open_scratch(scratch);
    if (f == nullptr) continue;
    job->shared->scratch.insert(scratch);
    job->opened.push_back(Opened{index, scratch});
    return f;
  }
  return nullptr;
}

int job_close(void*, FILE* f) { return std::fclose(f); }

uint64_t size_of(const std::string& name) {
  std::error_code error;
  const uintmax_t n = std::filesystem::file_size(path_from_utf8(name), error);
  return error ? 0 : static_cast<uint64_t>(n);
}

// The role of the WAV named names[index] in a run of `kind`.
std::string role_of(OutputKind kind, size_t index) {
  const OutputKindRow& row = output_kind_row(kind);
  size_t suffixed = 0;
  for (int i = 0; i < row.file_count; ++i) {
    const OutputFile& f = row.files[static_cast<size_t>(i)];
    if (f.suffix[0] == '\0') {
      if (index == 0) return f.role;
    } else if (++suffixed == index) {
      return f.role;
    }
  }
  return "whole";  // a kind of suffixed names writes its plain name with the sound once
}

// Under the lock, the run over: its WAVs moved into place when it
// succeeded, or removed. A WAV that cannot be moved fails the file, and
// the others of the file are taken back.
void settle(JobFiles* job, BatchOutcome* out, Shared* shared) {
  for (const Opened& o : job->opened) shared->scratch.erase(o.scratch);
  bool placed = out->result == 0;
  for (const Opened& o : job->opened) {
    const std::string& lands = job->file->lands[o.index];
    const uint64_t size = size_of(o.scratch);
    if (placed && move_file(o.scratch, lands)) {
      out->written.push_back(lands);
      out->roles.push_back(role_of(out->report.kind, o.index));
      out->sizes.push_back(size);
      continue;
    }
    if (placed) out->lines += "error-12 : can not create .wav file.\n";
    placed = false;
    remove_named(o.scratch);
  }
  if (placed || out->written.empty()) return;
  for (const std::string& name : out->written) remove_named(name);
  out->written.clear();
  out->roles.clear();
  out->sizes.clear();
  out->result = -12;
}

// For a FLAC or Ogg file of a kind that keeps the loop, when the track has
// none to keep: that its file has no loop comments, which an engine would
// otherwise be thought to have missed.
std::string loop_comment_note(const BatchFile& file, const BatchOptions& o, const RunReport& report) {
  if (file.encode.format == OutputFormat::kWav || !output_kind_row(o.kind).loop_end || report.track.trk_mark == 0) return {};
  LoopFrames frames{};
  loop_frames(&report.track, &frames);
  if (frames.has_loop != 0) return {};
  return std::string("kelvor-batch: no loop to keep: the ") + output_format_row(file.encode.format).name +
         " file has no LOOPSTART or LOOPLENGTH.\n";
}

void convert_one(size_t i, const std::vector<BatchFile>& files, const BatchOptions& options, Shared* shared) {
  const BatchFile& file = files[i];
  BatchOutcome out;
  JobFiles job{&file, shared, {}};
  const FileOps ops{job_open, job_close, &job, kStreamBufferBytes};
  const std::vector<std::string> args = kelvor_arguments(file, options);
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  try {
    MessageCapture capture(&out.lines);
    out.result = kelvor_run(static_cast<int>(argv.size()), argv.data(), &out.report, options.kind, nullptr,
                            options.loop_end, ops, &file.encode);
  } catch (const std::bad_alloc&) {  // a thread's exception would end the process
    out.result = -3;
    out.lines += error_line(-3);
  }
  std::lock_guard<std::mutex> hold(shared->lock);
  if (shared->stopping) return;  // its scratch files are the stop's to remove
  settle(&job, &out, shared);
  if (out.result == 0 && !file.note.empty()) out.lines += file.note;
  if (out.result == 0) out.lines += loop_comment_note(file, options, out.report);
  if (out.result == 0) {
    for (const std::string& sentence : shape_sentences(out.report)) out.lines += "kelvor-batch: " + sentence + ".\n";
  }
  out.remarkable = out.result != 0 || !file.note.empty() || out.lines.find("\nwarning : ") != std::string::npos ||
                   out.lines.find("no loop to keep") != std::string::npos;
  for (const uint64_t size : out.sizes) shared->bytes_written += size;
  shared->source_bytes_done += file.bytes;
  ++shared->files_done;
  (*shared->outcomes)[i] = std::move(out);
  (*shared->finished)[i] = true;
  shared->changed.notify_all();
}

// Erases the progress line drawn last (`shown` characters).
void erase(size_t* shown) {
  if (*shown == 0) return;
  std::printf("\r%*s\r", static_cast<int>(*shown), "");
  *shown = 0;
}

}  // namespace

std::vector<std::string> kelvor_arguments(const BatchFile& file, const BatchOptions& o) {
  const OutputKindRow& row = output_kind_row(o.kind);
  std::vector<std::string> args = {"kelvor", file.source, file.destination,
                                   "-l" + std::to_string(row.loop_count ? o.loop_count : 1)};
  if (row.short_format && o.short_format) args.push_back("-x");
  if (o.buffer_size > 0) args.push_back("-b" + std::to_string(o.buffer_size));
  return args;
}

BatchEnd run_batch(const std::vector<BatchFile>& files, const BatchOptions& options, int jobs, bool progress,
                   const char* program) {
  BatchEnd end;
  end.outcomes.resize(files.size());
  end.finished.assign(files.size(), false);
  // Left alive after an interrupt, when runs may still be in their middle:
  // they find it stopping, and the process ends soon after.
  auto owner = std::make_unique<Shared>();
  Shared* shared = owner.get();
  shared->outcomes = &end.outcomes;
  shared->finished = &end.finished;
  auto work = [shared, &files, &options] {
    for (;;) {
      size_t i;
      {
        std::lock_guard<std::mutex> hold(shared->lock);
        if (shared->stopping || shared->next >= files.size()) return;
        i = shared->next++;
      }
      convert_one(i, files, options, shared);
    }
  };
  std::vector<std::thread> workers;
  const size_t count = std::min(files.size(), static_cast<size_t>(jobs > 0 ? jobs : 1));
  try {
    for (size_t w = 0; w < count; ++w) workers.emplace_back(work);
  } catch (const std::system_error&) {  // fewer threads than asked: those made share the files
  }
  if (workers.empty()) work();  // none at all: every file here, one after another

  uint64_t source_bytes = 0;
  for (const BatchFile& f : files) source_bytes += f.bytes;
  const auto began = std::chrono::steady_clock::now();
  size_t printed = 0, shown = 0;
  std::unique_lock<std::mutex> hold(shared->lock);
  while (printed < files.size()) {
    shared->changed.wait_for(hold, std::chrono::milliseconds(100));
    if (interrupted()) {
      shared->stopping = true;
      for (const std::string& name : shared->scratch) remove_named(name);
      shared->scratch.clear();
      end.interrupted = true;
      break;
    }
    // What to print is taken under the lock and printed without it, so
    // that a slow terminal never holds up a run that is finishing.
    std::string blocks;
    for (; printed < files.size() && end.finished[printed]; ++printed) {
      if (!options.quiet || end.outcomes[printed].remarkable) blocks += "\n" + end.outcomes[printed].lines;
    }
    std::string line;
    if (progress) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      line = progress_text(program, BatchProgress{shared->files_done, files.size(), shared->bytes_written,
                                                  shared->source_bytes_done, source_bytes, seconds});
    }
    hold.unlock();
    if (!blocks.empty() || !line.empty()) erase(&shown);
    std::printf("%s%s", blocks.c_str(), line.c_str());
    shown = line.size();
    std::fflush(stdout);
    hold.lock();
  }
  erase(&shown);
  std::fflush(stdout);
  if (end.interrupted) {
    // The outcomes are copied out under the lock; runs still going are left
    // to the end of the process, which the caller brings about.
    BatchEnd copy = end;
    hold.unlock();
    for (std::thread& t : workers) t.detach();
    owner.release();
    return copy;
  }
  hold.unlock();
  for (std::thread& t : workers) t.join();
  return end;
}
