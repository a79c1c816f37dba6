// The command line: banner, usage, argument scan, derived output name, settings.
#pragma once

#include <cstdint>
#include <string>

#include "base/records.h"

void print_banner();
void print_usage();
void print_settings(const Settings& settings);

// The number after -l or -b: leading white space, one optional sign, then
// decimal digits accumulated in 32-bit arithmetic that wraps without a report.
// No digits give 0.
int32_t parse_number(const char* text);

// Applies the arguments after the program name to `settings`, printing a
// warning for each invalid option or out-of-range value. May throw
// std::bad_alloc while storing a name.
void scan_arguments(int argc, const char* const* argv, Settings* settings);

// The output name for a source given without one: its extension replaced by
// ".wav", or ".wav" appended where replacing would give the source name back.
// May throw std::bad_alloc.
std::string derive_dst_name(const std::string& src_name);

// Steps from the scan to settled names: scans the arguments, checks the
// source name and derives the destination. Returns 0, -2 or -3, having printed
// the error line.
int settle_settings(int argc, const char* const* argv, Settings* settings);
