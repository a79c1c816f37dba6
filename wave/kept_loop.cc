#include "wave/kept_loop.h"

#include "base/error_lines.h"
#include "base/little_endian.h"
#include "wave/output_kinds.h"
#include "wave/sound_shape.h"
#include "wave/wavheader.h"
#include "base/messages.h"

namespace {

constexpr uint32_t kMidiUnityNote = 60;

bool loop_within_data(const TrackInfo* t) { return t->loop_mark != 0 && t->loop_start < t->data_bytes; }

}  // namespace

uint32_t smpl_loop_end(const LoopFrames& f, LoopEnd end) {
  if (f.has_loop == 0) return 0;
  return end == LoopEnd::kPastLast ? f.loop_end : f.loop_end - 1u;
}

void encode_smpl(const TrackInfo* t, const LoopFrames& f, LoopEnd end, uint8_t out[kSmplChunkBytes]) {
  // The sample period in nanoseconds, rounded; 0 for a rate of 0.
  const uint32_t period = t->sample_rate == 0 ? 0u : static_cast<uint32_t>((2000000000ull / t->sample_rate + 1) / 2);
  const uint32_t fields[] = {kSmplChunkBytes - 8u, 0, 0, period, kMidiUnityNote, 0, 0, 0, 1, 0,
                             0, 0, f.loop_start, smpl_loop_end(f, end), 0, 0};
  static_assert(4 + sizeof fields == kSmplChunkBytes);
  out[0] = 's';
  out[1] = 'm';
  out[2] = 'p';
  out[3] = 'l';
  for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) store_le32(out + 4 + 4 * i, fields[i]);
}

uint32_t trailer_bytes(uint32_t data_bytes, bool smpl) { return (data_bytes & 1u) + (smpl ? kSmplChunkBytes : 0u); }

uint32_t trailer(uint32_t data_bytes, const KeptPlan* smpl, const TrackInfo* t, uint8_t out[kKeptTrailerMost]) {
  const uint32_t pad = data_bytes & 1u;
  if (pad != 0) out[0] = 0;
  if (smpl != nullptr) encode_smpl(t, smpl->frames, smpl->end, out + pad);
  return trailer_bytes(data_bytes, smpl != nullptr);
}

WavHeaderFields kept_header(const TrackInfo* t, const WavPiece& piece) {
  return derive_plain_header(t, piece.bytes, kept_trailer_bytes(piece));
}

void loop_frames(const TrackInfo* t, LoopFrames* out) {
  const uint32_t align = header_block_align(t);
  *out = LoopFrames{};
  out->block_align = align;
  if (align == 0) return;
  out->frames = t->data_bytes / align;
  out->dropped_bytes = t->data_bytes - out->frames * align;
  if (!loop_within_data(t)) return;
  const uint32_t start = t->loop_start / align;
  out->start_moved = t->loop_start % align != 0 ? 1u : 0u;
  if (start >= out->frames) {  // inside the partial frame that is left out
    out->start_dropped = 1;
    return;
  }
  out->has_loop = 1;
  out->loop_start = start;
  out->loop_end = out->frames;
}

int plan_kept_loop(const TrackInfo* t, bool apart, LoopEnd end, KeptPlan* plan, const LoopChoice* chosen) {
  loop_frames(t, &plan->frames);
  if (chosen != nullptr) apply_loop_choice(*chosen, &plan->frames);
  plan->end = end;
  if (chosen == nullptr && t->loop_mark != 0 && t->loop_start > t->data_bytes) {
    say("error-32 : loop start is beyond the data(plan_kept_loop)\n");
    return -32;
  }
  if ((chosen != nullptr || loop_within_data(t)) && plan->frames.block_align == 0) {
    say("error-34 : block align is 0(plan_kept_loop)\n");
    return -34;
  }
  const bool keep = plan->frames.has_loop != 0;
  const uint32_t align = plan->frames.block_align;
  // Whole frames only: a reader counts frames by the block align, and a
  // partial one at the end is noise to it. (Frames of 0 bytes drop nothing.)
  const uint32_t whole = t->data_bytes - plan->frames.dropped_bytes;
  const uint32_t at = plan->frames.loop_start * align;  // the loop on a whole frame
  const OutputKindRow& row = output_kind_row(apart ? OutputKind::kIntroAndLoop : OutputKind::kLoopPointsKept);
  plan->pieces.clear();
  if (!keep) {
    plan->pieces.push_back(WavPiece{0, whole, false, "", "whole"});
  } else if (!apart) {
    plan->pieces.push_back(WavPiece{0, whole, true, row.files[0].suffix, row.files[0].role});
  } else {
    if (at > 0) plan->pieces.push_back(WavPiece{0, at, false, row.files[0].suffix, row.files[0].role});
    const uint32_t to = plan->frames.loop_end * align;  // the end of the whole frames, or a chosen loop's end
    plan->pieces.push_back(WavPiece{at, to - at, false, row.files[1].suffix, row.files[1].role});
  }
  for (const WavPiece& p : plan->pieces) {
    if (!riff_fits(36u + uint64_t{p.bytes} + kept_trailer_bytes(p))) {
      say("error-33 : wav file too large(plan_kept_loop)\n");
      return -33;
    }
  }
  return 0;
}
