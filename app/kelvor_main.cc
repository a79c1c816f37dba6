#include "app/kelvor_main.h"

#include "app/cmdline.h"
#include "app/convert.h"
#include "base/messages.h"

#include <cstdio>

namespace {

// Whether the arguments give a loop count.
bool loop_count_given(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-' && argv[i][1] == 'l') return true;
  }
  return false;
}

// An option the kind's row does not take is refused, whoever asks: a kept
// loop is heard once (a loop count of 1 is what it is), only the command
// line's own WAV has the short format block, and only a kind with a smpl
// chunk has a loop end. Returns 0, or -4 having printed the line.
int refuse_options(int argc, const char* const* argv, const Settings& s, const OutputKindRow& row, LoopEnd end) {
  const char* refused = nullptr;
  if (!row.short_format && s.omit_fmt_tail != 0) {
    refused = "the short format block (-x)";
  } else if (!row.loop_count && loop_count_given(argc, argv) && s.loop_count != 1) {
    refused = "a loop count (-l) other than 1";
  } else if (!row.loop_end && end != LoopEnd::kLastFrame) {
    refused = "a loop end";
  }
  if (refused == nullptr) return 0;
  say("error-4 : %s is not for the %s\n", refused, row.name);
  return -4;
}

}  // namespace

int kelvor_run(int argc, const char* const* argv, RunReport* report, OutputKind kind, OutputPlan* plan, LoopEnd end,
               const FileOps& ops, const EncodeRequest* encode) {
  print_banner();
  if (argc < 2) {
    print_usage();
    return -1;
  }
  Settings settings;
  int result = settle_settings(argc, argv, &settings);
  if (result != 0) return result;
  print_settings(settings);
  result = refuse_options(argc, argv, settings, output_kind_row(kind), end);
  if (result != 0) return result;
  RunReport unread;
  RunReport* r = report != nullptr ? report : &unread;
  r->loop_end = end;
  r->kind = kind;
  r->shape = encode != nullptr ? encode->shape : ShapeRequest{};
  if (kind == OutputKind::kUnrolled || kind == OutputKind::kUnrolledMarked) {
    const LoopEnd* marked = kind == OutputKind::kUnrolledMarked ? &end : nullptr;
    result = convert_with(&settings, ops, &r->track, plan, marked, encode);
    r->loop_count = settings.loop_count;
  } else {
    result = convert_kept(&settings, ops, &r->track, kind == OutputKind::kIntroAndLoop, end, plan, encode);
    r->loop_count = 1;
  }
  return result;
}

int kelvor_main(int argc, const char* const* argv) { return kelvor_run(argc, argv, nullptr); }
