// A WAV made from its plan (web/core/run_json.h): the converter's own bytes
// for the header and the trailer, and for the rest slices of the file that
// was dropped, each extent's slice `repeats` times in a row. Nothing of the
// file is copied but a short loop section heard many times: a Blob holds
// each of its parts as an entry of its own, so such a section is first laid
// side by side in one chunk of about a MiB, from `bytes` (the file's bytes,
// already read for the waveform), and the chunk is repeated instead. The
// cost then follows the WAV's length in MiB, never the loop count.
const CHUNK_BYTES = 1024 * 1024;

// `source`: the file (a Blob); `bytes`: its bytes, or null, when no extent
// repeats a section shorter than a chunk.
export function wavBlob(wav, source, bytes) {
  const parts = [Uint8Array.from(wav.head)];
  for (const [offset, length, repeats] of wav.extents) parts.push(...repeated(source, bytes, offset, length, repeats));
  if (wav.tail.length > 0) parts.push(Uint8Array.from(wav.tail));
  return new Blob(parts, { type: 'audio/wav' });
}

function repeated(source, bytes, offset, length, repeats) {
  const slice = source.slice(offset, offset + length);
  if (repeats === 1 || length >= CHUNK_BYTES) return new Array(repeats).fill(slice);
  const side = Math.min(repeats, Math.floor(CHUNK_BYTES / length));  // sections a chunk holds
  const chunk = new Uint8Array(side * length);
  chunk.set(bytes.subarray(offset, offset + length));
  for (let held = length; held < chunk.length; held *= 2) chunk.copyWithin(held, 0, Math.min(held, chunk.length - held));
  const whole = new Blob([chunk]);
  const parts = new Array(Math.floor(repeats / side)).fill(whole);
  const rest = repeats % side;
  if (rest > 0) parts.push(new Blob([chunk.subarray(0, rest * length)]));
  return parts;
}

