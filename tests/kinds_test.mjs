// The table of output kinds and the command line each file is converted
// with: every kind complete, its code the converter's, its arguments those a
// user would type.
//
//   node --test tests/kinds_test.mjs
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';

import { KINDS, commandLine, kindOf } from '../web/shared/kinds.js';

test('each kind has its texts and the code of the converter\'s kind of the same place', () => {
  // app/kelvor_main.h numbers its OutputKind values in the order the table gives them.
  const header = readFileSync(new URL('../app/kelvor_main.h', import.meta.url), 'utf8');
  const codes = [...header.match(/enum class OutputKind \{([^}]*)\}/)[1].matchAll(/= (\d+)/g)].map((m) => Number(m[1]));
  assert.deepEqual(KINDS.map((kind) => kind.code), codes);
  for (const kind of KINDS) {
    for (const field of ['id', 'label', 'name', 'help']) assert.ok(kind[field].length > 0, `${kind.id}: ${field}`);
    for (const flag of ['unrolls', 'shortFormat', 'smpl', 'keeps']) assert.equal(typeof kind[flag], 'boolean', `${kind.id}: ${flag}`);
  }
  assert.equal(new Set(KINDS.map((kind) => kind.id)).size, KINDS.length);
  assert.equal(kindOf('gone').id, 'unrolled', 'an old visit\'s choice that no longer exists');
});

test('the command line of a file: its name never taken for an option, the loop count and -x only where they apply', () => {
  const settings = { output: 'unrolled', loopCount: 3, shortFormat: true };
  assert.deepEqual(commandLine('a.zq', settings), ['a.zq', '-l3', '-x']);
  assert.deepEqual(commandLine('-x.zq', settings), ['./-x.zq', '-l3', '-x']);
  assert.deepEqual(commandLine('-l9.zq', { ...settings, shortFormat: false }), ['./-l9.zq', '-l3']);
  for (const output of ['kept', 'apart']) assert.deepEqual(commandLine('b.zq', { ...settings, output }), ['b.zq', '-l1']);
  assert.deepEqual(commandLine('b.zq', { ...settings, output: 'marked' }), ['b.zq', '-l3'], 'marked: the loop count, never -x');
});

test('what a kept kind says of its WAVs', () => {
  const loop = { has_loop: 1, loop_start_frame: 22050, loop_end_frame: 66150, smpl_loop_end: 66149, loop_end_past_last: 0 };
  assert.equal(kindOf('kept').note(loop, [{}]), 'The loop is kept in the WAV\'s smpl chunk: frames 22,050 to 66,149, its last.');
  assert.equal(kindOf('kept').note({ ...loop, smpl_loop_end: 66150, loop_end_past_last: 1 }, [{}]),
    'The loop is kept in the WAV\'s smpl chunk: from frame 22,050, its end 66,150, one past its last frame, as Godot reads it.');
  assert.equal(kindOf('marked').note(loop, [{}]), 'The loop\'s first pass is marked in the WAV\'s smpl chunk: frames 22,050 to 66,149, its last.');
  assert.equal(kindOf('marked').note({ has_loop: 0 }, [{}]), 'No loop to mark: the WAV has no smpl chunk.');
  assert.equal(kindOf('kept').note({ has_loop: 0 }, [{}]), 'No loop to keep: the WAV has no smpl chunk.');
  assert.equal(kindOf('apart').note(loop, [{}, {}]), null);
  assert.equal(kindOf('apart').note(loop, [{}]), 'The loop starts at the beginning: there is no intro.');
  assert.equal(kindOf('apart').note({ has_loop: 0 }, [{}]), 'No loop to keep: one WAV, the sound once.');
  assert.equal(kindOf('unrolled').note(loop, [{}]), null);
  // Each WAV's role.
  assert.deepEqual(kindOf('apart').roles(loop, [{}, {}]), ['intro', 'loop']);
  assert.deepEqual(kindOf('apart').roles(loop, [{}]), ['loop'], 'a loop from the first frame');
  assert.deepEqual(kindOf('apart').roles({ has_loop: 0 }, [{}]), ['whole']);
  assert.deepEqual(['unrolled', 'kept', 'marked'].map((id) => kindOf(id).roles(loop, [{}])[0]), ['unrolled', 'whole', 'unrolled']);
});
