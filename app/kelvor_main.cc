#include "app/kelvor_main.h"

#include "app/cmdline.h"
#include "app/convert.h"

int kelvor_run(int argc, const char* const* argv, RunReport* report, OutputKind kind, OutputPlan* plan, LoopEnd end) {
  print_banner();
  if (argc < 2) {
    print_usage();
    return -1;
  }
  Settings settings;
  int result = settle_settings(argc, argv, &settings);
  if (result != 0) return result;
  print_settings(settings);
  RunReport unread;
  RunReport* r = report != nullptr ? report : &unread;
  r->loop_end = end;
  r->kind = kind;
  if (kind == OutputKind::kUnrolled || kind == OutputKind::kUnrolledMarked) {
    const LoopEnd* marked = kind == OutputKind::kUnrolledMarked ? &end : nullptr;
    result = convert_with(&settings, system_file_ops(), &r->track, plan, marked);
    r->loop_count = settings.loop_count;
  } else {
    result = convert_kept(&settings, system_file_ops(), &r->track, kind == OutputKind::kIntroAndLoop, end, plan);
    r->loop_count = 1;
  }
  return result;
}

int kelvor_main(int argc, const char* const* argv) { return kelvor_run(argc, argv, nullptr); }
