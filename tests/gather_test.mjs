// The files of a drop: folders walked to the end of every listing, files
// dropped on their own taken whatever their name.
//
//   node --test tests/gather_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { fromDrop, fromFilePicker, fromFolderPicker } from '../web/page/gather.js';

// A folder entry that lists `names` 100 at a time, as Chromium does, each
// listing answered later.
function folder(name, names) {
  const file = (n) => ({ isFile: true, isDirectory: false, name: n, fullPath: `/${name}/${n}`,
    file: (done) => done(new File(['x'], n)) });
  return { isFile: false, isDirectory: true, name, fullPath: '/' + name, createReader() {
    let at = 0;
    return { readEntries(done) {
      const some = names.slice(at, at + 100).map(file);
      at += some.length;
      setTimeout(() => done(some));
    } };
  } };
}

test('a dropped folder is walked to the end of every listing; other files are counted, not listed', async () => {
  // 250 entries need three listings and a fourth that is empty.
  const names = [...Array(250).keys()].map((i) => `t${String(i).padStart(3, '0')}.${i % 50 ? 'zq' : 'ogg'}`);
  const loose = new File(['y'], 'loose.bin');
  const found = await fromDrop({ items: [
    { kind: 'file', webkitGetAsEntry: () => folder('big', [...names].reverse()), getAsFile: () => null },
    { kind: 'string', webkitGetAsEntry: () => null, getAsFile: () => null },
    { kind: 'file', webkitGetAsEntry: () => null, getAsFile: () => loose }] });
  const paths = found.files.map((f) => f.path);
  assert.equal(found.skipped, 5);
  assert.equal(paths.length, 246);
  assert.equal(paths[0], 'big/t001.zq', 'in the order of their names');
  assert.equal(paths.at(-2), 'big/t249.zq');
  assert.equal(paths.at(-1), 'loose.bin', 'a file dropped on its own is taken whatever its name');
});

test('the pickers: chosen files all taken, a chosen folder\'s .zq files by their paths', () => {
  const named = (name, path) => Object.assign(new File(['z'], name), { webkitRelativePath: path });
  const picked = fromFolderPicker([named('b.ZQ', 'music/b.ZQ'), named('notes.txt', 'music/notes.txt'),
    named('a.zq', 'music/sub/a.zq')]);
  assert.deepEqual(picked.files.map((f) => f.path), ['music/b.ZQ', 'music/sub/a.zq']);
  assert.equal(picked.skipped, 1);
  assert.deepEqual(fromFilePicker([named('x.bin', '')]).files.map((f) => f.path), ['x.bin']);
});
