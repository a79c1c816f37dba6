// A WAV made from its plan (web/core/run_json.h): the converter's own bytes
// for the header and the trailer, and for the rest slices of the file that
// was dropped, each extent's slice `repeats` times in a row. Nothing of the
// file is copied but a short loop section heard many times: a Blob holds
// each of its parts as an entry of its own, so such a section is first laid
// side by side in one chunk of about a MiB, read through `read(offset,
// length)` (from the file's bytes where they are held, else from the file),
// and the chunk is repeated instead. The cost then follows the WAV's length
// in MiB, never the loop count.
const CHUNK_BYTES = 1024 * 1024;

// `source`: the file (a Blob); `read`: as above, or null, when no extent
// repeats a section shorter than a chunk and none is faded. A faded extent
// ([offset, length, repeats, fadeAt, fadeFrames]: the fade-out of
// wave/sound_shape.h) is laid side by side in chunks likewise, each chunk
// faded by `fade(bytes, fadeAt, fadeFrames, layout)` (the converter's:
// web/worker/core_bridge.js's fadeIn), the fade position running on from
// one repetition to the next: only the faded frames are read twice.
export function wavBlob(wav, source, read, fade = null) {
  const parts = [Uint8Array.from(wav.head)];
  for (const extent of wav.extents) {
    const [offset, length, repeats] = extent;
    parts.push(...(extent.length > 3 ? faded(wav, read, fade, extent) : repeated(source, read, offset, length, repeats)));
  }
  if (wav.tail.length > 0) parts.push(Uint8Array.from(wav.tail));
  return new Blob(parts, { type: 'audio/wav' });
}

function repeated(source, read, offset, length, repeats) {
  const slice = source.slice(offset, offset + length);
  if (repeats === 1 || length >= CHUNK_BYTES) return new Array(repeats).fill(slice);
  const side = Math.min(repeats, Math.floor(CHUNK_BYTES / length));  // sections a chunk holds
  const chunk = new Uint8Array(side * length);
  chunk.set(read(offset, length));
  for (let held = length; held < chunk.length; held *= 2) chunk.copyWithin(held, 0, Math.min(held, chunk.length - held));
  const whole = new Blob([chunk]);
  const parts = new Array(Math.floor(repeats / side)).fill(whole);
  const rest = repeats % side;
  if (rest > 0) parts.push(new Blob([chunk.subarray(0, rest * length)]));
  return parts;
}


// The chunks of a faded extent, each of whole repetitions (a repetition
// longer than a chunk in pieces of whole frames), faded as they are made.
function faded(wav, read, fade, [offset, length, repeats, fadeAt, fadeFrames]) {
  const frames = length / wav.fade.block_align;
  const parts = [];
  if (length >= CHUNK_BYTES) {
    const step = Math.max(1, Math.floor(CHUNK_BYTES / wav.fade.block_align)) * wav.fade.block_align;
    for (let round = 0; round < repeats; round++) {
      for (let at = 0; at < length; at += step) {
        const piece = read(offset + at, Math.min(step, length - at));
        parts.push(fade(piece, fadeAt + round * frames + at / wav.fade.block_align, fadeFrames, wav.fade));
      }
    }
    return parts;
  }
  const side = Math.max(1, Math.floor(CHUNK_BYTES / length));
  const section = read(offset, length);
  for (let round = 0; round < repeats; round += side) {
    const now = Math.min(side, repeats - round);
    const chunk = new Uint8Array(now * length);
    for (let i = 0; i < now; i++) chunk.set(section, i * length);
    parts.push(fade(chunk, fadeAt + round * frames, fadeFrames, wav.fade));
  }
  return parts;
}

// The seam for encoded formats in the page: the sound of a planned WAV, as
// its data would hold it, in pieces of at most `pieceBytes` bytes in order,
// each read from the source as it is needed, for an encoder to take as they
// come (into a Blob's parts, or a chosen folder's stream).
// A faded extent is read in pieces of whole frames and faded by `fade`, as
// wavBlob fades it.
export async function* soundPieces(wav, source, pieceBytes, fade = null) {
  for (const [offset, length, repeats, fadeAt, fadeFrames] of wav.extents) {
    const align = fadeFrames ? wav.fade.block_align : 1;
    const step = Math.max(1, Math.floor(pieceBytes / align)) * align;
    for (let round = 0; round < repeats; round++) {
      for (let at = 0; at < length; at += step) {
        const end = Math.min(length, at + step);
        const piece = new Uint8Array(await source.slice(offset + at, offset + end).arrayBuffer());
        yield fadeFrames ? fade(piece, fadeAt + (round * length + at) / align, fadeFrames, wav.fade) : piece;
      }
    }
  }
}

// A file of an encoded format, from a planned WAV's sound: `encoder` is {
// piece(bytes), end() }, each returning the Blob parts it wrote, and head(),
// the file's first bytes, final once it ended (an encoder may write them
// again then: FLAC's totals); `type` the file's type. `onSound(bytes)` is
// told of each piece handed over, and `signal` stops it between two: each
// piece is read from the source, which lets a stop be heard; `fade` fades
// the faded extents (soundPieces).
export async function encodedBlob(wav, source, encoder, pieceBytes, type, { signal, onSound, fade } = {}) {
  const parts = [];
  for await (const piece of soundPieces(wav, source, pieceBytes, fade)) {
    signal?.throwIfAborted();
    parts.push(...encoder.piece(piece));
    onSound?.(piece.length);
  }
  parts.push(...encoder.end());
  return new Blob([encoder.head(), ...parts], { type });
}

// The bytes of sound a planned WAV holds: what its encoder is handed.
export const soundBytes = (wav) => wav.extents.reduce((sum, [, length, repeats]) => sum + length * repeats, 0);
