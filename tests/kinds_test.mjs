// The table of output kinds and the command line each file is converted
// with: every kind the converter's row with the page's words, its arguments
// those a user would type and the converter takes.
//
//   node --test tests/kinds_test.mjs
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { resolve } from 'node:path';
import { test } from 'node:test';

import { KINDS, commandLine, kindOf, loopEndCode } from '../web/shared/kinds.js';
import { newInstance, planRun } from '../web/worker/core_bridge.js';

const moduleJs = resolve(process.env.KELVOR_MODULE || 'build-web/kelvor-module.js');
const example = readFileSync(process.env.KELVOR_EXAMPLE || 'build/example.zq');
const sink = { printed: [] };

test('each kind is the converter\'s row, with the page\'s words for it', () => {
  const rows = globalThis.kelvorCoreKinds;  // asked of the converter's module
  assert.deepEqual(KINDS.map((kind) => [kind.id, kind.code, kind.name, kind.unrolls, kind.shortFormat, kind.smpl, kind.keeps]),
    rows.map((row) => [row.id, row.code, row.name, row.loop_count, row.short_format, row.loop_end, row.whole_frames]));
  for (const kind of KINDS) {
    for (const field of ['label', 'help']) assert.ok(kind[field].length > 0, `${kind.id}: ${field}`);
    assert.equal(typeof kind.note, 'function', kind.id);
  }
  assert.equal(new Set(KINDS.map((kind) => kind.id)).size, KINDS.length);
  assert.equal(kindOf('gone').id, 'unrolled', 'an old visit\'s choice that no longer exists');
});

test('what the page asks of each kind is what the converter takes: every option the page may give, never refused', async () => {
  const kelvor = await newInstance(createRequire(import.meta.url)(moduleJs),
    await WebAssembly.compile(readFileSync(moduleJs.replace(/\.js$/, '.wasm'))), sink);
  kelvor.FS.writeFile('/a.zq', example);
  for (const kind of KINDS) {
    for (const settings of [{ loopCount: 3, shortFormat: true, loopEnd: 'godot' }, { loopCount: 1, shortFormat: false, loopEnd: 'riff' }]) {
      const args = commandLine('/a.zq', { ...settings, output: kind.id });
      const { status } = planRun(kelvor, args, kind.code, sink, loopEndCode({ ...settings, output: kind.id }));
      assert.equal(status, 0, `${kind.id} ${args.join(' ')}: ${Buffer.from(sink.printed).toString()}`);
    }
    // And what it does not take, the converter refuses in a line of its own.
    if (!kind.shortFormat) {
      const { status } = planRun(kelvor, ['/a.zq', '-l1', '-x'], kind.code, sink, 0);
      assert.equal(status, -4, kind.id);
      assert.match(Buffer.from(sink.printed).toString(), /^error-4 : the short format block \(-x\) is not for the /m);
    }
  }
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
});
