// A WAV handed back as Blob pieces holds exactly the bytes written, across
// the staging buffer's growth and its pieces; a finished file's buffers are
// let go.
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
