// The page's one reader of RIFF/WAVE files: their chunks, where the samples
// lie, the PCM layout, and the lengths a header announces. Used in the page
// and in the workers alike.
'use strict';

const KelvorWav = (() => {
  const tag = (bytes, at) => String.fromCharCode(bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]);
  const viewOf = (bytes) => new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);

  function isRiffWave(bytes) {
    return bytes.length >= 12 && tag(bytes, 0) === 'RIFF' && tag(bytes, 8) === 'WAVE';
  }

  // The chunks, in order: { tag, at, size, view }, `at` being where the
  // chunk's 8-byte header starts. Nothing for other bytes.
  function* chunks(bytes) {
    if (!isRiffWave(bytes)) return;
    const view = viewOf(bytes);
    for (let at = 12; at + 8 <= bytes.length;) {
      const size = view.getUint32(at + 4, true);
      yield { tag: tag(bytes, at), at, size, view };
      at += 8 + size + (size & 1);
    }
  }

  // Where the sample data lies: { at, size }, `at` just after the "data"
  // chunk's header and `size` the length it announces; null when `bytes` (at
  // least the WAV's header) holds no such chunk.
  function dataChunk(bytes) {
    for (const chunk of chunks(bytes)) if (chunk.tag === 'data') return { at: chunk.at + 8, size: chunk.size };
    return null;
  }

  // The format block and where the samples lie; null for anything but PCM
  // of 8 (unsigned), 16, 24 or 32 bits (signed, little-endian) whose block
  // align is the channels' bytes.
  function pcmLayout(bytes) {
    let format = null;
    for (const { tag: name, at, size, view } of chunks(bytes)) {
      if (name === 'fmt ' && size >= 16) {
        format = { tag: view.getUint16(at + 8, true), channels: view.getUint16(at + 10, true),
                   rate: view.getUint32(at + 12, true), blockAlign: view.getUint16(at + 20, true),
                   bits: view.getUint16(at + 22, true) };
      } else if (name === 'data') {
        if (!format || format.tag !== 1 || ![8, 16, 24, 32].includes(format.bits) || format.channels === 0 ||
            format.blockAlign !== format.channels * format.bits / 8) return null;
        const length = Math.min(size, bytes.length - at - 8);
        return { ...format, dataAt: at + 8, frames: Math.floor(length / format.blockAlign) };
      }
    }
    return null;
  }

  // True when a browser can play the file: a format block with the bits per
  // sample, which the short block of -x leaves out.
  function playable(bytes) {
    for (const { tag: name, size } of chunks(bytes)) if (name === 'fmt ') return size >= 16;
    return false;
  }

  // The file length that the RIFF header at the start of `bytes` announces, or 0.
  function announcedLength(bytes) {
    if (bytes.length < 8 || tag(bytes, 0) !== 'RIFF') return 0;
    return viewOf(bytes).getUint32(4, true) + 8;
  }

  return { dataChunk, pcmLayout, playable, announcedLength };
})();

if (typeof module === 'object') module.exports = KelvorWav;
