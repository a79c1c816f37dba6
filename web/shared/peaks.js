// The waveform of a WAV as the page draws it: per column, the lowest and
// highest sample of any channel, computed from the source's PCM bytes while
// the worker holds them (nothing is kept but the peaks), in the layout the
// run's facts give; and where the loop starts and each repetition begins.

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

// The PCM layout the run's facts give ({ channels, bits, blockAlign,
// rate }), or null for one that is not drawn: bits per sample other than
// 8 (unsigned), 16, 24 or 32 (signed, little-endian), or a block align
// other than the channels' bytes.
export function layoutOf(facts) {
  const bits = facts.sample_bits;
  if (![8, 16, 24, 32].includes(bits) || facts.channels === 0 || facts.block_align !== facts.channels * bits / 8) {
    return null;
  }
  return { channels: facts.channels, bits, blockAlign: facts.block_align, rate: facts.sample_rate };
}

// { columns, min, max, frames, rate }: the peaks in `columns` columns of
// a sound of `frames` frames of the PCM `layout`, its samples in `pcm`
// from the first; frame f falls in column floor(f x columns / frames). With `loop` ({ dataFrames, loopFrame }: the sound is the first
// `dataFrames` frames, then the frames from `loopFrame` on, again and
// again) `pcm` need hold only that first pass: the cost grows with the
// source, not with the loop count. `blockExtremes`, when given, makes the
// table of each block's extremes (see scriptBlocks) faster than script
// can, or returns null to leave it to script. Null when `pcm` holds too
// few frames.
export function pcmPeaks(layout, pcm, frames, columns, loop = null, blockExtremes = null) {
  const repeated = loop && loop.loopFrame < loop.dataFrames && loop.dataFrames < frames;
  const tableFrames = repeated ? loop.dataFrames : frames;
  if (frames === 0 || pcm.length < tableFrames * layout.blockAlign) return null;
  const scan = scanOf(layout, pcm, tableFrames);
  // Where every column is narrower than two blocks no column would use the
  // table: the frames are scanned as they are (a short sound).
  const table = narrow(frames, columns) ? null
    : (blockExtremes && blockExtremes(pcm, layout, tableFrames, BLOCK)) || scriptBlocks(scan, tableFrames, BLOCK);
  if (table) table.block = BLOCK;
  return { columns, ...drawn(scan, table, frames, columns, repeated ? loop : null), frames, rate: layout.rate };
}

const narrow = (frames, columns) => frames < 2 * BLOCK * columns;

// The scan of frames [from, to) of the PCM `pcm`, which holds `frames` frames.
function scanOf(layout, pcm, frames) {
  const read = readers[layout.bits];
  const samples = layout.bits === 16 && littleEndianHost && pcm.byteOffset % 2 === 0
    ? new Int16Array(pcm.buffer, pcm.byteOffset, frames * layout.channels) : null;
  return (from, to, into) => (samples ? extremes16(samples, layout.channels, from, to, into)
    : extremes(pcm, layout, read, from, to, into));
}

// Each column's extremes, through `scan` and the block table (or none).
function drawn(scan, table, frames, columns, loop) {
  const within = table ? ranges(scan, table) : scan;
  const extremesOf = loop ? unrolled(within, loop) : within;
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
  return { min, max };
}

// The bytes of the sound read in pieces this long at most: a source of any
// length costs a piece and the block table.
const PIECE_BYTES = 4 * 1024 * 1024;
// The block table stays under this many blocks: a longer sound takes
// longer blocks, which change nothing drawn.
const MOST_BLOCKS = 1 << 20;

// pcmPeaks's peaks of a sound whose first pass is read through `read(from,
// length)` (a byte offset within it), in pieces: the same numbers, with the
// sound never held whole. The columns ask for the extremes of ranges of
// frames; which ranges they ask for does not depend on the samples, so the
// drawing is made twice: first to learn the ranges it scans, then, once one
// pass over the pieces has filled the block table and worked out each of
// those ranges, for the numbers.
export function piecewisePeaks(layout, read, frames, columns, loop = null, blockExtremes = null,
  { pieceBytes = PIECE_BYTES, mostBlocks = MOST_BLOCKS } = {}) {
  const repeated = loop && loop.loopFrame < loop.dataFrames && loop.dataFrames < frames;
  const tableFrames = repeated ? loop.dataFrames : frames;
  const align = layout.blockAlign;
  if (frames === 0) return null;
  if (tableFrames * align <= pieceBytes) {
    const pcm = read(0, tableFrames * align);
    return pcm.length < tableFrames * align ? null : pcmPeaks(layout, pcm, frames, columns, loop, blockExtremes);
  }
  const block = BLOCK * Math.max(1, Math.ceil(tableFrames / (BLOCK * mostBlocks)));
  const blocks = Math.ceil(tableFrames / block);
  const table = narrow(frames, columns) ? null
    : { low: new Float32Array(blocks).fill(1), high: new Float32Array(blocks).fill(-1), block };
  const asked = new Map();  // "from:to" -> [low, high]
  const key = (from, to) => `${from}:${to}`;
  drawn((from, to, into) => { asked.set(key(from, to), [from, to, 1, -1]); return into; }, table, frames, columns,
    repeated ? loop : null);
  const wanted = [...asked.values()].sort((a, b) => a[0] - b[0]);
  const pieceFrames = Math.max(block, Math.floor(pieceBytes / align / block) * block);
  let next = 0;  // the first range of `wanted` not yet wholly seen
  for (let first = 0; first < tableFrames; first += pieceFrames) {
    const n = Math.min(pieceFrames, tableFrames - first);
    const pcm = read(first * align, n * align);
    if (pcm.length < n * align) return null;
    const scan = scanOf(layout, pcm, n);
    if (table) {
      const made = (blockExtremes && blockExtremes(pcm, layout, n, block)) || scriptBlocks(scan, n, block);
      table.low.set(made.low, first / block);
      table.high.set(made.high, first / block);
    }
    for (let i = next; i < wanted.length && wanted[i][0] < first + n; i++) {
      const range = wanted[i];
      const from = Math.max(range[0], first);
      const to = Math.min(range[1], first + n);
      if (from < to) {
        const pair = scan(from - first, to - first, [range[2], range[3]]);
        range[2] = pair[0];
        range[3] = pair[1];
      }
      if (range[1] <= first + n && i === next) next++;
    }
  }
  const scanned = (from, to, into) => {
    const range = asked.get(key(from, to));
    return merge(into, range[2], range[3]);
  };
  return { columns, ...drawn(scanned, table, frames, columns, repeated ? loop : null), frames, rate: layout.rate };
}

// Repetitions that do not fall on whole frames are drawn from the sound
// laid out whole, up to this length; a longer one is not drawn.
const LAID_OUT_MOST = 64 * 1024 * 1024;

// The peaks of the sound a run made, read from the source's bytes
// `input`: the source's sample data once, then its loop section until
// the run's data length (facts.data_length, in the layout of its facts)
// is reached. The facts say where the data lies. The cost grows with the
// source, not with the loop count, wherever the repetitions fall on whole
// frames. Null when the layout is not drawn or the data is not there.
export function sourcePeaks(input, facts, columns, blockExtremes = null) {
  return peaksOfSource((offset, length) => input.subarray(offset, offset + length), input.length, facts, columns,
    blockExtremes);
}

// The same, the source read through `read(offset, length)` (its bytes from
// `offset`, fewer at its end) in pieces, `sourceBytes` long.
export function peaksOfSource(read, sourceBytes, facts, columns, blockExtremes = null) {
  const layout = layoutOf(facts);
  if (!layout) return null;
  const align = layout.blockAlign;
  const frames = Math.floor(facts.data_length / align);
  const dataFrames = Math.floor(facts.data_bytes / align);
  const start = (facts.trk_offset + facts.data_offset) >>> 0;  // where the run seeks to: the sum modulo 2^32
  if (start + facts.data_bytes > sourceBytes) return null;
  const data = (from, length) => read(start + from, length);
  if (frames <= dataFrames) return piecewisePeaks(layout, data, frames, columns, null, blockExtremes);
  if (facts.data_bytes % align === 0 && facts.loop_start % align === 0) {
    return piecewisePeaks(layout, data, frames, columns, { dataFrames, loopFrame: facts.loop_start / align }, blockExtremes);
  }
  if (facts.data_length > LAID_OUT_MOST) return null;
  const whole = data(0, facts.data_bytes);
  return pcmPeaks(layout, laidOut(whole, facts.loop_start, facts.data_length), frames, columns, null, blockExtremes);
}

// The data once, then its bytes from `loopStart` on again and again, to
// `length` bytes in all.
function laidOut(data, loopStart, length) {
  const sound = new Uint8Array(length);
  sound.set(data);
  for (let at = data.length; at < length;) {
    const n = Math.min(data.length - loopStart, length - at);
    sound.set(data.subarray(loopStart, loopStart + n), at);
    at += n;
  }
  return sound;
}

// Frames a block: a range of frames takes the extremes of the blocks it
// covers whole and scans only the frames at its ends.
const BLOCK = 64;

// The extremes of each `block` frames of the first `frames`, the last block
// holding what is left: { low, high }, one entry a block.
function scriptBlocks(scan, frames, block) {
  const blocks = Math.ceil(frames / block);
  const low = new Float32Array(blocks);
  const high = new Float32Array(blocks);
  const pair = [1, -1];
  for (let b = 0; b < blocks; b++) {
    pair[0] = 1;
    pair[1] = -1;
    scan(b * block, Math.min(frames, (b + 1) * block), pair);
    low[b] = pair[0];
    high[b] = pair[1];
  }
  return { low, high };
}

// The extremes of frames [from, to) of the table's frames merged into `into`.
function ranges(scan, { low, high, block }) {
  return (from, to, into) => {
    if (to - from < 2 * block) return scan(from, to, into);
    const first = Math.ceil(from / block);
    const last = Math.floor(to / block);
    if (from < first * block) scan(from, first * block, into);
    for (let b = first; b < last; b++) {
      if (low[b] < into[0]) into[0] = low[b];
      if (high[b] > into[1]) into[1] = high[b];
    }
    if (last * block < to) scan(last * block, to, into);
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
export const MARKED_REPETITIONS = 32;

// Where the loop starts and where each further repetition begins, in
// sample frames and in columns, for a WAV of `frames` frames unrolled from
// `dataFrames` frames whose loop starts at `loopFrame`, heard `loopCount`
// times. `repetitions` lists at most MARKED_REPETITIONS of them; `span`
// gives the columns from the first repetition to the end.
export function loopMarkers({ frames, dataFrames, loopFrame, loopCount }, columns) {
  const count = Math.max(0, loopCount - 1);
  const at = (k) => dataFrames + (k - 1) * (dataFrames - loopFrame);
  const column = (frame) => Math.min(columns - 1, Math.floor(frame * columns / frames));
  const repetitions = [];
  for (let k = 1; k <= Math.min(count, MARKED_REPETITIONS); k++) repetitions.push(at(k));
  return { loopStart: loopFrame, loopColumn: column(loopFrame), count, repetitions,
           columns: [loopFrame, ...repetitions].map(column),
           span: count > 0 ? [column(at(1)), columns - 1] : null, marked: count <= MARKED_REPETITIONS };
}

