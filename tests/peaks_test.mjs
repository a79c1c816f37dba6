// The page's waveform peaks and loop markers, on PCM made here: known ramps
// and squares in every sample format give known minima and maxima.
//
//   node --test tests/peaks_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import * as KelvorPeaks from '../web/shared/peaks.js';

// PCM of `frames` frames whose channel c of frame f holds sample(f, c),
// stored in `bits` bits (8 unsigned, else signed), little-endian:
// { layout, data, frames }.
function pcm({ bits, channels, frames, sample, blockAlign = channels * bits / 8 }) {
  const data = Buffer.alloc(frames * blockAlign);
  for (let f = 0; f < frames; f++) {
    for (let c = 0; c < channels; c++) {
      const at = f * blockAlign + c * bits / 8;
      const v = sample(f, c);
      if (bits === 8) data.writeUInt8(v + 128, at);
      else data.writeIntLE(v, at, bits / 8);
    }
  }
  return { layout: { channels, bits, blockAlign, rate: 44100 }, data: new Uint8Array(data), frames };
}

// The peaks of all of `sound`, or of its first pass as `loop` says.
const peaksOf = (sound, columns, loop = null, frames = sound.frames) =>
  KelvorPeaks.pcmPeaks(sound.layout, sound.data, frames, columns, loop);

const FULL = { 8: 128, 16: 32768, 24: 8388608, 32: 2147483648 };

test('each sample format: a square of full swing and a ramp give their extremes', () => {
  for (const bits of [8, 16, 24, 32]) {
    const full = FULL[bits];
    // Channel 0: a square, -full then full - 1 in turn; channel 1: a ramp up from 0.
    const bytes = pcm({ bits, channels: 2, frames: 8,
      sample: (f, c) => (c === 0 ? (f % 2 ? full - 1 : -full) : f * Math.floor(full / 8)) });
    const whole = peaksOf(bytes, 1);
    assert.equal(whole.min[0], -1, `${bits} bits`);
    assert.equal(whole.max[0], Math.fround((full - 1) / full), `${bits} bits`);  // peaks are 32-bit floats
    // Four columns of two frames: each column holds one low and one high square sample.
    const four = peaksOf(bytes, 4);
    assert.deepEqual([...four.min], [-1, -1, -1, -1], `${bits} bits`);
    // The ramp alone, as mono: column k holds frames 2k and 2k + 1.
    const ramp = peaksOf(pcm({ bits, channels: 1, frames: 8, sample: (f) => f * Math.floor(full / 8) }), 4);
    const step = Math.floor(full / 8) / full;
    assert.deepEqual([...ramp.min].map((v) => Math.round(v / step)), [0, 2, 4, 6], `${bits} bits`);
    assert.deepEqual([...ramp.max].map((v) => Math.round(v / step)), [1, 3, 5, 7], `${bits} bits`);
    assert.equal(ramp.frames, 8);
    // Columns of an odd number of samples: the last of each counts too.
    const odd = peaksOf(pcm({ bits, channels: 1, frames: 9, sample: (f) => f * Math.floor(full / 9) }), 3);
    const step9 = Math.floor(full / 9) / full;
    assert.deepEqual([...odd.max].map((v) => Math.round(v / step9)), [2, 5, 8], `${bits} bits, odd columns`);
    // Every channel counts: silence on the left, the square on the right.
    const right = peaksOf(pcm({ bits, channels: 2, frames: 2, sample: (f, c) => (c === 0 ? 0 : f ? full - 1 : -full) }), 1);
    assert.deepEqual([right.min[0], right.max[0]], [-1, Math.fround((full - 1) / full)], `${bits} bits, right channel`);
  }
});

test('the layout comes from the run\'s facts; one it cannot draw gives no peaks', () => {
  const facts = { channels: 2, sample_bits: 16, block_align: 4, sample_rate: 44100 };
  assert.deepEqual(KelvorPeaks.layoutOf(facts), { channels: 2, bits: 16, blockAlign: 4, rate: 44100 });
  assert.equal(KelvorPeaks.layoutOf({ ...facts, block_align: 6 }), null, 'a block align of more than the samples');
  assert.equal(KelvorPeaks.layoutOf({ ...facts, sample_bits: 12, block_align: 3 }), null, '12 bits');
  assert.equal(KelvorPeaks.layoutOf({ ...facts, channels: 0, block_align: 0 }), null, 'no channel');
  const input = new Uint8Array(64);
  assert.equal(KelvorPeaks.sourcePeaks(input, { ...facts, block_align: 6, trk_offset: 0, data_offset: 0, data_bytes: 24,
    data_length: 24, loop_start: 0 }, 4), null);
});

test('the loop start and each repetition fall on their columns', () => {
  // The example heard three times: 66,150 frames, the loop from 22,050, 154,350 frames in all.
  const markers = KelvorPeaks.loopMarkers({ frames: 154350, dataFrames: 66150, loopFrame: 22050, loopCount: 3 }, 1000);
  assert.equal(markers.loopStart, 22050);
  assert.deepEqual(markers.repetitions, [66150, 110250]);
  assert.deepEqual(markers.columns, [142, 428, 714]);
  assert.deepEqual(KelvorPeaks.loopMarkers({ frames: 10, dataFrames: 10, loopFrame: 4, loopCount: 1 }, 5).columns, [2]);
  // A million repetitions: a few dozen listed, the rest shown as their span.
  const many = KelvorPeaks.loopMarkers({ frames: 8 + 4 * 1e6, dataFrames: 8, loopFrame: 4, loopCount: 1e6 + 1 }, 1000);
  assert.equal(many.marked, false);
  assert.equal(many.count, 1e6);
  assert.equal(many.repetitions.length, KelvorPeaks.MARKED_REPETITIONS);
  assert.deepEqual(many.span, [0, 999]);
});

test('an unrolled WAV\'s peaks read from its first pass equal those read from every frame', () => {
  // 37 frames of data whose loop starts at frame 11, heard 5 times: 141 frames.
  for (const bits of [8, 16, 24]) {
    const full = FULL[bits];
    const data = (f) => Math.round(Math.sin(f * 1.7) * (full - 1) * ((f % 7) / 7));
    const unrolledFrame = (f) => (f < 37 ? f : 11 + ((f - 37) % 26));
    const bytes = pcm({ bits, channels: 2, frames: 37 + 4 * 26, sample: (f, c) => data(unrolledFrame(f)) * (c ? -1 : 1) });
    for (const columns of [1, 3, 50, 141, 400]) {
      const plain = peaksOf(bytes, columns);
      const fast = peaksOf(bytes, columns, { dataFrames: 37, loopFrame: 11 });
      assert.deepEqual([...fast.min], [...plain.min], `${bits} bits, ${columns} columns`);
      assert.deepEqual([...fast.max], [...plain.max], `${bits} bits, ${columns} columns`);
    }
  }
  // Large enough for whole blocks of the first pass to count.
  // Silence with a spike every 97 frames, each of its own height: a range's extremes lie in one place.
  const spike = (f) => (f % 97 ? 0 : (((f / 97) * 7919) % 30000 + 1) * ((f / 97) % 2 ? 1 : -1));
  const big = pcm({ bits: 16, channels: 1, frames: 3000 + 5 * 2000, sample: (f) => spike(f < 3000 ? f : 1000 + ((f - 3000) % 2000)) });
  const heard = (f) => spike(f < 3000 ? f : 1000 + ((f - 3000) % 2000)) / 32768;
  for (const columns of [7, 64, 1000]) {
    // Every frame of each column, one by one.
    const expected = { min: [], max: [] };
    for (let c = 0; c < columns; c++) {
      const frames = [];
      for (let f = Math.ceil(c * 13000 / columns); f < Math.ceil((c + 1) * 13000 / columns); f++) frames.push(heard(f));
      expected.min.push(Math.min(...frames));
      expected.max.push(Math.max(...frames));
    }
    for (const loop of [null, { dataFrames: 3000, loopFrame: 1000 }]) {
      const { min, max } = peaksOf(big, columns, loop);
      assert.deepEqual({ min: [...min], max: [...max] }, expected, `${columns} columns, ${loop ? 'first pass' : 'every frame'}`);
    }
  }
});

test('a run\'s peaks read from the source where its facts say equal those of the sound it made', () => {
  // 40 frames of 16-bit stereo whose loop starts at frame 12, heard 4 times.
  const data = (f, c) => ((f * 7919 + c * 104729) % 60000) - 30000;
  const heard = (f) => (f < 40 ? f : 12 + ((f - 40) % 28));
  const made = pcm({ bits: 16, channels: 2, frames: 40 + 3 * 28, sample: (f, c) => data(heard(f), c) });
  // The source: its sample data after 5 bytes of the track and 9 of its own
  // header, between bytes of full swing that must not count.
  const input = new Uint8Array(14 + 160 + 6).fill(0x80);
  input.set(made.data.subarray(0, 160), 14);
  const facts = { channels: 2, sample_bits: 16, block_align: 4, sample_rate: 44100, trk_offset: 5, data_offset: 9,
    data_bytes: 160, loop_start: 48, data_length: made.data.length };
  for (const columns of [1, 9, 128, 500]) {
    assert.deepEqual(KelvorPeaks.sourcePeaks(input, facts, columns), peaksOf(made, columns), `${columns} columns`);
  }
  // Heard once: the data alone.
  assert.deepEqual(KelvorPeaks.sourcePeaks(input, { ...facts, data_length: 160 }, 7), peaksOf(made, 7, null, 40));
  // Data cut short in the source: nothing to draw.
  assert.equal(KelvorPeaks.sourcePeaks(input.subarray(0, 100), facts, 7), null);
});

test('repetitions inside frames, and data of no whole number of frames, are drawn as the sound is heard', () => {
  // 16-bit mono: 41 bytes of data (20 whole frames and a byte), the loop from
  // byte 7 (inside frame 3), heard 3 times: 41 + 2 x 34 = 109 bytes, 54 frames.
  const source = new Uint8Array(8 + 41);
  for (let i = 0; i < 41; i++) source[8 + i] = (i * 37 + 11) & 0xff;
  const facts = { channels: 1, sample_bits: 16, block_align: 2, sample_rate: 8000, trk_offset: 3, data_offset: 5,
    data_bytes: 41, loop_start: 7, data_length: 109 };
  const data = source.subarray(8);
  const sound = new Uint8Array(109);
  sound.set(data);
  sound.set(data.subarray(7), 41);
  sound.set(data.subarray(7), 75);
  const layout = { channels: 1, bits: 16, blockAlign: 2, rate: 8000 };
  for (const columns of [1, 5, 54, 200]) {
    assert.deepEqual(KelvorPeaks.sourcePeaks(source, facts, columns), KelvorPeaks.pcmPeaks(layout, sound, 54, columns),
      `${columns} columns`);
  }
  // Heard once: the 20 whole frames; the byte left over is in none.
  const once = KelvorPeaks.sourcePeaks(source, { ...facts, data_length: 41 }, 20);
  assert.equal(once.frames, 20);
  assert.deepEqual(once, KelvorPeaks.pcmPeaks(layout, data.subarray(0, 40), 20, 20));
});

test('read in pieces, the peaks are those of the sound held whole: any layout, loop, column count, piece and block size', () => {
  let seed = 20261210;
  const random = (n) => {
    seed = (seed * 1103515245 + 12345) >>> 0;
    return seed % n;
  };
  for (let round = 0; round < 200; round++) {
    const bits = [8, 16, 24, 32][random(4)];
    const channels = 1 + random(3);
    const dataFrames = 1 + random(3000);
    const sound = pcm({ bits, channels, frames: dataFrames,
      sample: () => random(2 * FULL[bits]) - FULL[bits] });
    const loopFrame = random(dataFrames);
    const frames = random(3) === 0 ? dataFrames : dataFrames + random(5 * dataFrames);
    const loop = frames > dataFrames ? { dataFrames, loopFrame } : null;
    const columns = 1 + random(200);
    const reads = [];
    const read = (from, length) => {
      reads.push(length);
      return sound.data.subarray(from, from + length);
    };
    const options = { pieceBytes: 1 + random(4000), mostBlocks: 1 + random(40) };
    const what = `round ${round}: ${bits} bit, ${channels} ch, ${frames} of ${dataFrames} frames from ${loopFrame}, ` +
      `${columns} columns, ${JSON.stringify(options)}`;
    assert.deepEqual(KelvorPeaks.piecewisePeaks(sound.layout, read, frames, columns, loop, null, options),
      KelvorPeaks.pcmPeaks(sound.layout, sound.data, frames, columns, loop), what);
    const piece = Math.max(...reads);
    const wholePass = sound.data.length <= options.pieceBytes;
    assert.ok(wholePass || piece <= Math.max(options.pieceBytes, 64 * sound.layout.blockAlign * Math.ceil(dataFrames /
      (64 * options.mostBlocks))), `${what}: a read of ${piece} bytes`);
  }
});
