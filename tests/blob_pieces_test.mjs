// A WAV handed back as Blob pieces holds exactly the bytes written, across
// the staging buffer's growth and its pieces and where its repetitions of a
// loop section are references to it; a finished file's buffers are let go.
//
//   node --test tests/blob_pieces_test.mjs
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { test } from 'node:test';

const { BlobPieces, release, HEAD_BYTES, STAGING_MOST } = createRequire(import.meta.url)('../web/blob_pieces.js');

// Bytes that differ from piece to piece and from write to write.
function pattern(length, seed) {
  const bytes = new Uint8Array(length);
  for (let i = 0; i < length; i++) bytes[i] = (i * 31 + seed) & 0xff;
  return bytes;
}

test('the Blob holds every byte in order, whatever the sizes of the writes', async () => {
  const cases = [
    { name: 'empty', writes: [] },
    { name: 'a header then a small body: one Blob', writes: [44, 1000, 1] },
    { name: 'just one full staging buffer', writes: [44, STAGING_MOST - 44] },
    { name: 'one byte past it', writes: [44, STAGING_MOST - 44, 1] },
    { name: 'writes that straddle two pieces', writes: [44, 128 * 1024, STAGING_MOST, STAGING_MOST + 7, 3] },
    // A RIFF header's length is taken at once, whether the run then writes
    // that much, less (the source ended early) or more.
    { name: 'a header that announces the length', writes: [44, 3 * 1024 * 1024 - 44], announce: 3 * 1024 * 1024 },
    { name: 'a header that announces more', writes: [44, 200 * 1024], announce: 3 * 1024 * 1024 },
    { name: 'a header that announces less', writes: [44, 300 * 1024, 5 * 1024 * 1024], announce: 256 * 1024 },
    { name: 'a header that announces past a piece', writes: [44, STAGING_MOST + 5], announce: STAGING_MOST + 49 },
  ];
  for (const { name, writes, announce } of cases) {
    const pieces = new BlobPieces();
    const chunks = writes.map((length, i) => pattern(length, i));
    if (announce) {
      chunks[0].set([0x52, 0x49, 0x46, 0x46]);  // "RIFF"
      new DataView(chunks[0].buffer).setUint32(4, announce - 8, true);
    }
    let at = 0;
    for (const chunk of chunks) {
      pieces.write(chunk, at);
      at += chunk.length;
    }
    const spent = [];
    const blob = pieces.blob('audio/wav', spent);
    const expected = new Uint8Array(at);
    chunks.reduce((offset, chunk) => { expected.set(chunk, offset); return offset + chunk.length; }, 0);
    assert.equal(blob.size, at, name);
    assert.equal(blob.type, 'audio/wav', name);
    assert.ok(Buffer.from(await blob.arrayBuffer()).equals(Buffer.from(expected)), name);
    assert.deepEqual(pieces.head(), expected.subarray(0, Math.min(at, HEAD_BYTES)), name);
    assert.equal(spent.length, 1, name);
  }
});

// A WAV as a run unrolls it: a 44-byte header whose "data" chunk announces
// the body, the sample data once, then its loop section `repeats` times.
function unrolledWav(dataBytes, loopStart, repeats) {
  const data = pattern(dataBytes, 5);
  const body = dataBytes + repeats * (dataBytes - loopStart);
  const wav = new Uint8Array(44 + body);
  const view = new DataView(wav.buffer);
  wav.set(new TextEncoder().encode('RIFF----WAVEfmt '));
  view.setUint32(4, 36 + body, true);
  view.setUint32(16, 16, true);
  wav.set(new TextEncoder().encode('data'), 36);
  view.setUint32(40, body, true);
  wav.set(data, 44);
  for (let r = 0; r < repeats; r++) wav.set(data.subarray(loopStart), 44 + dataBytes + r * (dataBytes - loopStart));
  return wav;
}

// The section kept and compared in script, as the worker does in its
// instance's memory; `compared` counts the bytes found the same.
function repeatOf(dataBytes, loopStart) {
  const kept = new Uint8Array(Math.max(0, dataBytes - loopStart));
  const repeat = { dataBytes, loopStart, compared: 0 };
  repeat.keep = (bytes, at) => kept.set(bytes, at);
  repeat.kept = (length) => kept.subarray(0, length);
  repeat.same = (bytes, at) => {
    const same = bytes.every((b, i) => b === kept[at + i]);
    if (same) repeat.compared += bytes.length;
    return same;
  };
  return repeat;
}

// Writes `wav` in pieces of the given sizes (the last repeated to the end).
async function written(wav, sizes, repeat) {
  const pieces = new BlobPieces(repeat);
  for (let at = 0, i = 0; at < wav.length; i++) {
    const n = Math.min(wav.length - at, sizes[Math.min(i, sizes.length - 1)]);
    pieces.write(wav.subarray(at, at + n), at);
    at += n;
  }
  return new Uint8Array(await pieces.blob('audio/wav', []).arrayBuffer());
}

test('each repetition of the loop section is the section written once, byte for byte', async () => {
  const D = 3000;
  const cases = [
    { name: 'writes that straddle the section and the repetitions', loopStart: 1000, repeats: 3, sizes: [44, 700] },
    { name: 'one write for the whole file', loopStart: 1000, repeats: 2, sizes: [1 << 20] },
    { name: 'a header in pieces, then bytes one at a time', loopStart: 2999, repeats: 4, sizes: [3, 5, 1] },
    { name: 'the loop from the first sample', loopStart: 0, repeats: 2, sizes: [44, 1024] },
    { name: 'no repetition', loopStart: 1000, repeats: 0, sizes: [512] },
  ];
  for (const { name, loopStart, repeats, sizes } of cases) {
    const wav = unrolledWav(D, loopStart, repeats);
    const repeat = repeatOf(D, loopStart);
    assert.deepEqual(await written(wav, sizes, repeat), wav, name);
    assert.equal(repeat.compared, repeats * (D - loopStart), name);  // none of them copied
  }
});

test('bytes that do not repeat the section are kept as written', async () => {
  const D = 3000;
  const L = 1000;
  const cases = [
    { name: 'a byte changed in the second repetition', change: (wav) => { wav[44 + D + 2000 + 1500] ^= 1; } },
    { name: 'a byte changed in the first byte of a repetition', change: (wav) => { wav[44 + D] ^= 0x80; } },
    { name: 'the file cut short inside a repetition', change: (wav) => wav.subarray(0, 44 + D + 2000 + 77) },
    { name: 'the file cut short inside the section', change: (wav) => wav.subarray(0, 44 + 1500) },
    { name: 'more bytes after the last repetition', change: (wav) => Uint8Array.of(...wav, 1, 2, 3) },
  ];
  for (const { name, change } of cases) {
    const original = unrolledWav(D, L, 3);
    const wav = change(original) || original;
    for (const sizes of [[44, 333], [4096]]) assert.deepEqual(await written(wav, sizes, repeatOf(D, L)), wav, name);
  }
  // A hint that does not fit the file changes nothing either.
  const wav = unrolledWav(D, L, 2);
  for (const [dataBytes, loopStart] of [[2000, 500], [3000, 3000], [3000, 4000], [1 << 20, 10]]) {
    assert.deepEqual(await written(wav, [100], repeatOf(dataBytes, loopStart)), wav, `${dataBytes} ${loopStart}`);
  }
});

test('a write anywhere but at the end is refused', () => {
  const pieces = new BlobPieces();
  pieces.write(pattern(10, 0), 0);
  assert.throws(() => pieces.write(pattern(4, 1), 4), /a write at 4 into a file of 10 bytes/);
  assert.throws(() => pieces.write(pattern(4, 1), 11), /a write at 11 into a file of 10 bytes/);
});

test('release lets go of each buffer once, and passes over what is already gone', () => {
  const a = new ArrayBuffer(1024);
  const b = new ArrayBuffer(16);
  const gone = new ArrayBuffer(8);
  structuredClone(gone, { transfer: [gone] });
  release([a, b, a, gone, null, undefined]);
  assert.equal(a.byteLength, 0);
  assert.equal(b.byteLength, 0);
  release([]);
});
