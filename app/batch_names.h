// Where each WAV of a batch lands. A run names its WAVs as kelvor derives
// them; the batch puts each under that name unless a file is already there
// that this run did not write, or another file of the run lands there too:
// then, unless told to replace, the new one is numbered as the page numbers
// it ("town (2).wav"), every WAV of one file with the same number.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/batch_inputs.h"
#include "wave/output_kinds.h"

// "town.wav" numbered n: "town (n).wav", the extension kept last; a name
// without one gets " (n)" at its end. Only the last step of a path changes.
std::string numbered_name(const std::string& name, int n);

// Every name a run of `kind` may write with `dst` as its destination, in
// the kinds table's order: `dst` itself, then each suffixed name
// ("NAME - intro.wav").
std::vector<std::string> kind_names(const std::string& dst, OutputKind kind, const char* extension = ".wav");

// The destination kelvor is given for `input`: derived from the source
// beside it, or under `out`, mirroring the input's path; its ".wav" as
// `extension`.
std::string batch_destination(const BatchInput& input, const std::string& out, const char* extension = ".wav");

// The names given so far in a run.
class NameBook {
 public:
  explicit NameBook(bool replace) : replace_(replace) {}
  // The names `wanted` land under: themselves, or all numbered alike with
  // the first number that frees every one of them. `*numbered` tells which.
  std::vector<std::string> claim(const std::vector<std::string>& wanted, bool* numbered);

 private:
  bool taken(const std::string& name) const;
  bool replace_;
  std::set<std::string> given_;
};
