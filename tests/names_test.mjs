// The names WAVs are saved under: the names Chromium keeps for a download
// (and accepts in a folder), for a table of awkward names, which the
// browser test holds to what Chromium itself names the downloads.
//
//   node --test tests/names_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { keptFolderName, keptName, keptPath } from '../web/shared/names.js';
import { AWKWARD } from './awkward_names.mjs';

test('each awkward name as Chromium keeps it', () => {
  for (const [name, kept] of AWKWARD) assert.equal(keptName(name), kept, JSON.stringify(name));
});

test('a kept name is kept again as it is, and never empty or a path', () => {
  for (const [name] of AWKWARD) {
    const kept = keptName(name);
    assert.equal(keptName(kept), kept, JSON.stringify(name));
    assert.doesNotMatch(kept, /^[\s.~]|[/\\:*?"<>|]|^$/u);
    assert.match(kept, /\.wav$/);
  }
});

test('folders on the path: the characters refused anywhere and at the ends; the file as a file', () => {
  assert.equal(keptFolderName(' bgm.'), '_bgm_');
  assert.equal(keptFolderName('.config'), '_config');
  assert.equal(keptFolderName('Game: Part 2'), 'Game_ Part 2');
  assert.equal(keptPath('Game: Part 2/ bgm/.wav'), 'Game_ Part 2/_bgm/wav.wav');
  assert.equal(keptPath('bgm/field/town.wav'), 'bgm/field/town.wav');
});
