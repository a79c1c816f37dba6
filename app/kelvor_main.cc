#include "app/kelvor_main.h"

#include "app/cmdline.h"
#include "app/convert.h"

int kelvor_main(int argc, const char* const* argv) {
  print_banner();
  if (argc < 2) {
    print_usage();
    return -1;
  }
  Settings settings;
  int result = settle_settings(argc, argv, &settings);
  if (result != 0) return result;
  print_settings(settings);
  return convert(&settings);
}
