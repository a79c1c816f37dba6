// kelvor: turns a ".zq" container into a RIFF WAVE file with its loop unrolled.
#include "app/kelvor_main.h"

int main(int argc, char** argv) { return kelvor_main(argc, argv); }
