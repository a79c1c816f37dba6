// The waveform of a WAV as the page draws it: per column, the lowest and
// highest sample of any channel, computed from the PCM bytes while the
// worker holds them (nothing is kept but the peaks); and where the loop
// starts and each repetition begins.
'use strict';

const KelvorPeaks = (() => {
  const Wav = typeof KelvorWav === 'object' ? KelvorWav : require('./wav.js');

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

  // Each scan merges the lowest and highest sample of frames [from, to) into
  // `into` ([lowest, highest]) and returns it: a waveform takes thousands of
  // scans, and a new pair for each had cost more than the scans themselves.

  // The samples as integers. Two samples a step, each with its own pair of
  // bounds: a third faster.
  function extremes16(samples, channels, from, to, into) {
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
    return merge(into, Math.min(low, low2) / 32768, Math.max(high, high2) / 32768);
  }

  function extremes(pcm, layout, read, from, to, into) {
    let low = into[0];
    let high = into[1];
    const width = layout.bits / 8;
    for (let frame = from; frame < to; frame++) {
      const at = frame * layout.blockAlign;
      for (let c = 0; c < layout.channels; c++) {
        const v = read(pcm, at + c * width);
        if (v < low) low = v;
        if (v > high) high = v;
      }
    }
    into[0] = low;
    into[1] = high;
    return into;
  }

  // { columns, min, max, frames, rate }: the peaks of the WAV `bytes` in
  // `columns` columns, or null. Frame f falls in column
  // floor(f x columns / frames).
  function peaks(bytes, columns, loop = null, blockExtremes = null) {
    const layout = Wav.pcmLayout(bytes);
    return layout && pcmPeaks(layout, bytes.subarray(layout.dataAt), layout.frames, columns, loop, blockExtremes);
  }

  // The same for a sound of `frames` frames of the PCM `layout`
  // ({ channels, bits, blockAlign, rate }), its samples in `pcm` from the
  // first. With `loop` ({ dataFrames, loopFrame }: the sound is the first
  // `dataFrames` frames, then the frames from `loopFrame` on, again and
  // again) `pcm` need hold only that first pass: the cost grows with the
  // source, not with the loop count. `blockExtremes`, when given, makes the
  // table of each block's extremes (see scriptBlocks) faster than script
  // can, or returns null to leave it to script. Null when `pcm` holds too
  // few frames.
  function pcmPeaks(layout, pcm, frames, columns, loop = null, blockExtremes = null) {
    const repeated = loop && loop.loopFrame < loop.dataFrames && loop.dataFrames < frames;
    const tableFrames = repeated ? loop.dataFrames : frames;
    if (frames === 0 || pcm.length < tableFrames * layout.blockAlign) return null;
    const read = readers[layout.bits];
    const samples = layout.bits === 16 && littleEndianHost && pcm.byteOffset % 2 === 0
      ? new Int16Array(pcm.buffer, pcm.byteOffset, tableFrames * layout.channels) : null;
    const scan = (from, to, into) => (samples ? extremes16(samples, layout.channels, from, to, into)
      : extremes(pcm, layout, read, from, to, into));
    // Where every column is narrower than two blocks no column would use the
    // table: the frames are scanned as they are (a short sound).
    const narrow = frames < 2 * BLOCK * columns;
    const table = narrow ? null
      : (blockExtremes && blockExtremes(pcm, layout, tableFrames, BLOCK)) || scriptBlocks(scan, tableFrames);
    const within = table ? ranges(scan, table) : scan;
    const extremesOf = repeated ? unrolled(within, loop) : within;
    const min = new Float32Array(columns).fill(1);
    const max = new Float32Array(columns).fill(-1);
    const pair = [1, -1];
    for (let column = 0; column < columns; column++) {
      const from = Math.ceil(column * frames / columns);
      const to = Math.min(frames, Math.ceil((column + 1) * frames / columns));
      if (from >= to) continue;
      pair[0] = 1;
      pair[1] = -1;
      extremesOf(from, to, pair);
      min[column] = pair[0];
      max[column] = pair[1];
    }
    return { columns, min, max, frames, rate: layout.rate };
  }

  // The peaks of a WAV that a run wrote, in the layout of its header
  // `head`, read from the source's bytes `input`: the WAV holds the
  // source's sample data once, then its loop section again and again, and
  // the run's facts say where that data lies and how long the WAV is. The
  // cost grows with the source, not with the loop count. Undefined where
  // the repetitions do not fall on whole frames: the WAV's own bytes must
  // be read then.
  function sourcePeaks(head, input, facts, columns, blockExtremes = null) {
    const layout = Wav.pcmLayout(head);
    if (!layout) return null;
    const align = layout.blockAlign;
    const frames = Math.floor(facts.data_length / align);
    const dataFrames = Math.floor(facts.data_bytes / align);
    let loop = null;
    if (frames > dataFrames) {
      if (facts.data_bytes % align || facts.loop_start % align) return undefined;
      loop = { dataFrames, loopFrame: facts.loop_start / align };
    }
    const start = (facts.trk_offset + facts.data_offset) >>> 0;  // where the run seeks to: the sum modulo 2^32
    return pcmPeaks(layout, input.subarray(start, start + facts.data_bytes), frames, columns, loop, blockExtremes);
  }

  // Frames a block: a range of frames takes the extremes of the blocks it
  // covers whole and scans only the frames at its ends.
  const BLOCK = 64;

  // The extremes of each BLOCK frames of the first `frames`, the last block
  // holding what is left: { low, high }, one entry a block.
  function scriptBlocks(scan, frames) {
    const blocks = Math.ceil(frames / BLOCK);
    const low = new Float32Array(blocks);
    const high = new Float32Array(blocks);
    const pair = [1, -1];
    for (let b = 0; b < blocks; b++) {
      pair[0] = 1;
      pair[1] = -1;
      scan(b * BLOCK, Math.min(frames, (b + 1) * BLOCK), pair);
      low[b] = pair[0];
      high[b] = pair[1];
    }
    return { low, high };
  }

  // The extremes of frames [from, to) of the table's frames merged into `into`.
  function ranges(scan, { low, high }) {
    return (from, to, into) => {
      if (to - from < 2 * BLOCK) return scan(from, to, into);
      const first = Math.ceil(from / BLOCK);
      const last = Math.floor(to / BLOCK);
      if (from < first * BLOCK) scan(from, first * BLOCK, into);
      for (let b = first; b < last; b++) {
        if (low[b] < into[0]) into[0] = low[b];
        if (high[b] > into[1]) into[1] = high[b];
      }
      if (last * BLOCK < to) scan(last * BLOCK, to, into);
      return into;
    };
  }

  // The extremes of frames [from, to) of the unrolled sound, read from its
  // first pass: a frame past it is a frame of the loop section.
  function unrolled(within, { dataFrames, loopFrame }) {
    const section = dataFrames - loopFrame;
    const wholeLoop = within(loopFrame, dataFrames, [1, -1]);
    return (from, to, into) => {
      let frame = from;
      if (frame < dataFrames) {
        within(frame, Math.min(to, dataFrames), into);
        frame = Math.min(to, dataFrames);
      }
      if (frame < to && to - frame >= section) return merge(into, wholeLoop[0], wholeLoop[1]);
      while (frame < to) {  // at most two pieces of the loop section
        const offset = (frame - dataFrames) % section;
        const length = Math.min(to - frame, section - offset);
        within(loopFrame + offset, loopFrame + offset + length, into);
        frame += length;
      }
      return into;
    };
  }

  function merge(into, low, high) {
    if (low < into[0]) into[0] = low;
    if (high > into[1]) into[1] = high;
    return into;
  }

  // Past this many repetitions a waveform shows their span, not each one: a
  // line per repetition would cost time and memory without end and could no
  // longer be told apart.
  const MARKED_REPETITIONS = 32;

  // Where the loop starts and where each further repetition begins, in
  // sample frames and in columns, for a WAV of `frames` frames unrolled from
  // `dataFrames` frames whose loop starts at `loopFrame`, heard `loopCount`
  // times. `repetitions` lists at most MARKED_REPETITIONS of them; `span`
  // gives the columns from the first repetition to the end.
  function loopMarkers({ frames, dataFrames, loopFrame, loopCount }, columns) {
    const count = Math.max(0, loopCount - 1);
    const at = (k) => dataFrames + (k - 1) * (dataFrames - loopFrame);
    const column = (frame) => Math.min(columns - 1, Math.floor(frame * columns / frames));
    const repetitions = [];
    for (let k = 1; k <= Math.min(count, MARKED_REPETITIONS); k++) repetitions.push(at(k));
    return { loopStart: loopFrame, loopColumn: column(loopFrame), count, repetitions,
             columns: [loopFrame, ...repetitions].map(column),
             span: count > 0 ? [column(at(1)), columns - 1] : null, marked: count <= MARKED_REPETITIONS };
  }

  return { peaks, sourcePeaks, loopMarkers, MARKED_REPETITIONS };
})();

if (typeof module === 'object') module.exports = KelvorPeaks;
