// What a run's length and loop request made of its file, in the words the
// batch's lines and the page's rows both use: the loop a loop list chose,
// and the passes, delay, fade or real ending and the length they came to.
#pragma once

#include <string>
#include <vector>

#include "app/kelvor_main.h"

// Seconds given in microseconds as the lists and the lines write them:
// "10", "2.5", "0.000001".
std::string micros_text(int64_t micros);

// The sentences for `report`, each without its full stop; none when the run
// was asked nothing of its length or loop.
std::vector<std::string> shape_sentences(const RunReport& report);
