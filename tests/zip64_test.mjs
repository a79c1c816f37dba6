// The page's zip writer past 4 GiB: an entry of 4 GiB + 1 byte, made by a
// stub stream that hands the same zero-filled piece over and over (nothing
// of that size is ever held or written), must come out with ZIP64 records:
// the sizes in the central directory at 0xFFFFFFFF with the real ones in a
// ZIP64 extra field, and a ZIP64 end of central directory that a reader can
// find. Only the archive's tail is kept.
//
//   node --test tests/zip64_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { makeZip } from 'client-zip';

const PIECE = new Uint8Array(64 * 1024 * 1024);
const SIZE = 2 ** 32 + 1;

async function* zeros(total) {
  for (let left = total; left > 0; left -= PIECE.length) yield left >= PIECE.length ? PIECE : PIECE.subarray(0, left);
}

test('an entry past 4 GiB is written with ZIP64 records', async () => {
  const entries = [{ name: 'small.wav', input: new Uint8Array([1, 2, 3]) },
    { name: 'bgm/large.wav', input: zeros(SIZE), size: SIZE }];
  const reader = makeZip(entries).getReader();
  let total = 0;
  let tail = new Uint8Array(0);
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    total += value.length;
    const joined = new Uint8Array(tail.length + value.length);
    joined.set(tail);
    joined.set(value, tail.length);
    tail = joined.subarray(Math.max(0, joined.length - 4096));
  }
  const view = new DataView(tail.buffer, tail.byteOffset, tail.byteLength);
  const at = (signature) => {
    for (let i = tail.length - 4; i >= 0; i--) if (view.getUint32(i, true) === signature) return i;
    return -1;
  };
  const end = at(0x06054b50);
  assert.equal(end, tail.length - 22, 'the end of central directory closes the archive');
  const end64 = at(0x06064b50);
  assert.ok(end64 >= 0, 'a ZIP64 end of central directory');
  const locator = at(0x07064b50);
  assert.equal(Number(view.getBigUint64(locator + 8, true)), total - (tail.length - end64), 'the locator points at it');
  assert.equal(Number(view.getBigUint64(end64 + 32, true)), 2, 'two entries');
  // The large entry's central header: 32-bit sizes saturated, the real ones in the extra field.
  const central = at(0x02014b50);
  const nameLength = view.getUint16(central + 28, true);
  assert.equal(new TextDecoder().decode(tail.subarray(central + 46, central + 46 + nameLength)), 'bgm/large.wav');
  assert.equal(view.getUint32(central + 20, true), 0xFFFFFFFF);
  assert.equal(view.getUint32(central + 24, true), 0xFFFFFFFF);
  const extra = central + 46 + nameLength;
  assert.equal(view.getUint16(extra, true), 1, 'a ZIP64 extra field');
  assert.equal(Number(view.getBigUint64(extra + 4, true)), SIZE);
  assert.equal(Number(view.getBigUint64(extra + 12, true)), SIZE);
});
