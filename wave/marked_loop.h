// The command line's unrolled WAV with its loop marked for the engines and
// samplers it goes into: the same header, data and bytes, followed by a pad
// byte when the data's length is odd and a smpl chunk (wave/kept_loop.h)
// whose one loop is the first pass of the loop section. Any player hears the
// loop the loop count's times; a program that reads the chunk loops that
// first pass. Only the RIFF length differs, counting what follows the data.
// A track without a loop gets no chunk, and so the command line's bytes. Its
// description is wave/wav_layout.h's describe_marked.
#pragma once

#include "base/records.h"
#include "wave/kept_loop.h"
#include "wave/wavheader.h"

inline constexpr const char* kMarkedTooLargeError = "error-33 : wav file too large(plan_marked_loop)\n";

// The marks of the track: `out` as a KeptPlan's loop, its end as `end` has it.
void marked_loop(const TrackInfo* track, LoopEnd end, KeptPlan* out);

// The header's fields for `settings`, whose loop count is the one heard and
// whose header check_header accepted, with the RIFF length counting the
// trailer. Returns 0, or -33 when that length would not fit 32 bits. Prints
// nothing.
int marked_header(const TrackInfo* track, const Settings* settings, const KeptPlan* marks, WavHeaderFields* out);

// Whether the marked WAV can be written: 0, or -33 having printed its line.
int check_marked(const TrackInfo* track, const Settings* settings, LoopEnd end);
