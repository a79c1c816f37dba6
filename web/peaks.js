// The waveform of a WAV as the page draws it: per pixel column, the lowest
// and highest sample of any channel, computed from the PCM bytes while the
// worker holds them (nothing is kept but the peaks); and the columns where
// the loop starts and each repetition begins.
'use strict';

const KelvorPeaks = (() => {
  // The chunks of a RIFF/WAVE file, in order: { tag, at, size }, `at` being
  // where the chunk's 8-byte header starts. Nothing for other bytes.
  function* chunks(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const tag = (at) => String.fromCharCode(...bytes.subarray(at, at + 4));
    if (bytes.length < 12 || tag(0) !== 'RIFF' || tag(8) !== 'WAVE') return;
    for (let at = 12; at + 8 <= bytes.length;) {
      const size = view.getUint32(at + 4, true);
      yield { tag: tag(at), at, size, view };
      at += 8 + size + (size & 1);
    }
  }

  // Where the sample data begins: just after the "data" chunk's header; -1
  // when `bytes` (at least the WAV's header) holds no such chunk.
  function dataStart(bytes) {
    for (const chunk of chunks(bytes)) if (chunk.tag === 'data') return chunk.at + 8;
    return -1;
  }

  // The format block and where the samples lie, from the RIFF chunks; null
  // for anything but PCM of 8 (unsigned), 16, 24 or 32 bits (signed, little-
  // endian) whose block align is the channels' bytes.
  function pcmLayout(bytes) {
    let format = null;
    for (const { tag, at, size, view } of chunks(bytes)) {
      if (tag === 'fmt ' && size >= 16) {
        format = { tag: view.getUint16(at + 8, true), channels: view.getUint16(at + 10, true),
                   rate: view.getUint32(at + 12, true), blockAlign: view.getUint16(at + 20, true),
                   bits: view.getUint16(at + 22, true) };
      } else if (tag === 'data') {
        if (!format || format.tag !== 1 || ![8, 16, 24, 32].includes(format.bits) || format.channels === 0 ||
            format.blockAlign !== format.channels * format.bits / 8) return null;
        const length = Math.min(size, bytes.length - at - 8);
        return { ...format, dataAt: at + 8, frames: Math.floor(length / format.blockAlign) };
      }
    }
    return null;
  }

  // A sample as a number from -1 to just under 1.
  const readers = {
    8: (b, at) => (b[at] - 128) / 128,
    16: (b, at) => ((b[at] | (b[at + 1] << 8)) << 16 >> 16) / 32768,
    24: (b, at) => ((b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) << 8 >> 8) / 8388608,
    32: (b, at) => (b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24)) / 2147483648,
  };

  // Little-endian hosts may read 16-bit samples through a typed array, many
  // times faster; any other host reads them byte by byte like the rest.
  const littleEndianHost = new Uint8Array(Uint16Array.of(1).buffer)[0] === 1;

  // The samples of frames [from, to) as integers, their lowest and highest.
  // Two samples a step, each with its own pair of bounds: a third faster.
  function extremes16(samples, channels, from, to) {
    let low = 32767;
    let high = -32768;
    let low2 = 32767;
    let high2 = -32768;
    let i = from * channels;
    const end = to * channels;
    for (; i + 1 < end; i += 2) {
      const v = samples[i];
      const w = samples[i + 1];
      if (v < low) low = v;
      if (v > high) high = v;
      if (w < low2) low2 = w;
      if (w > high2) high2 = w;
    }
    if (i < end) {
      low = Math.min(low, samples[i]);
      high = Math.max(high, samples[i]);
    }
    return [Math.min(low, low2) / 32768, Math.max(high, high2) / 32768];
  }

  function extremes(bytes, layout, read, from, to) {
    let low = 1;
    let high = -1;
    const width = layout.bits / 8;
    for (let frame = from; frame < to; frame++) {
      const at = layout.dataAt + frame * layout.blockAlign;
      for (let c = 0; c < layout.channels; c++) {
        const v = read(bytes, at + c * width);
        if (v < low) low = v;
        if (v > high) high = v;
      }
    }
    return [low, high];
  }

  // { columns, min, max, frames, rate } for `columns` pixel columns, or null.
  // Frame f falls in column floor(f x columns / frames).
  function peaks(bytes, columns) {
    const layout = pcmLayout(bytes);
    if (!layout || layout.frames === 0) return null;
    const read = readers[layout.bits];
    const start = bytes.byteOffset + layout.dataAt;
    const samples = layout.bits === 16 && littleEndianHost && start % 2 === 0
      ? new Int16Array(bytes.buffer, start, layout.frames * layout.channels) : null;
    const min = new Float32Array(columns).fill(1);
    const max = new Float32Array(columns).fill(-1);
    for (let column = 0; column < columns; column++) {
      const from = Math.ceil(column * layout.frames / columns);
      const to = Math.min(layout.frames, Math.ceil((column + 1) * layout.frames / columns));
      if (from >= to) continue;
      [min[column], max[column]] = samples ? extremes16(samples, layout.channels, from, to)
        : extremes(bytes, layout, read, from, to);
    }
    return { columns, min, max, frames: layout.frames, rate: layout.rate };
  }

  // Where the loop starts and where each further repetition begins, in
  // sample frames and in columns, for a WAV of `frames` frames unrolled from
  // `dataFrames` frames whose loop starts at `loopFrame`, heard `loopCount`
  // times.
  function loopMarkers({ frames, dataFrames, loopFrame, loopCount }, columns) {
    const repetitions = [];
    for (let k = 1; k < loopCount; k++) repetitions.push(dataFrames + (k - 1) * (dataFrames - loopFrame));
    const column = (frame) => Math.min(columns - 1, Math.floor(frame * columns / frames));
    return { loopStart: loopFrame, repetitions, columns: [loopFrame, ...repetitions].map(column) };
  }

  return { dataStart, pcmLayout, peaks, loopMarkers };
})();

if (typeof module === 'object') module.exports = KelvorPeaks;
