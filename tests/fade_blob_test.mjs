// The page's faded extents at the sizes its chunks cut: a faded stretch
// longer than a chunk (in pieces of whole 3-byte frames, which a MiB is
// not), and a short loop repeated across many chunks, both as the WAV's
// Blob and as the pieces an encoder is handed, against the batch command's
// WAV.
//
//   KELVOR_MODULE=build-web/kelvor-module.js KELVOR_BATCH=build/kelvor-batch \
//   node --import ./tests/core_kinds_setup.mjs --test tests/fade_blob_test.mjs
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { test } from 'node:test';

import { KINDS } from '../web/shared/kinds.js';
import { encodedBlob, wavBlob } from '../web/shared/plan_blob.js';
import { fadeIn, newInstance, planRun } from '../web/worker/core_bridge.js';
import { container } from './zq_container.mjs';

const moduleJs = resolve(process.env.KELVOR_MODULE || 'build-web/kelvor-module.js');
const batch = resolve(process.env.KELVOR_BATCH || 'build/kelvor-batch');

const sink = { printed: [] };
const compiled = await WebAssembly.compile(readFileSync(moduleJs.replace(/\.js$/, '.wasm')));
const kelvor = await newInstance(createRequire(import.meta.url)(moduleJs), compiled, sink);
kelvor.FS.mkdir('/work');
kelvor.FS.chdir('/work');

const CASES = [
  // 24-bit mono: 3-byte frames; a fade of 40 s is some 5 MiB of faded frames.
  { what: 'a faded stretch longer than a chunk', bytes: 3 * 1024 * 1024 + 12, loopUnits: 1000, channels: 1, bits: 24,
    lengths: ['--target=30', '--fade=40'] },
  // A 4-frame loop at the end, repeated some 50,000 times inside the fade.
  { what: 'a short loop repeated across chunks', bytes: 4000, loopUnits: 996, channels: 2, bits: 16,
    lengths: ['--fade=5', '--fade-delay=0.3'] },
];

test('faded extents in chunks and in an encoder\'s pieces are the batch command\'s frames', async () => {
  const dir = mkdtempSync(join(tmpdir(), 'kelvor-fade-'));
  try {
    for (const c of CASES) {
      const data = Buffer.alloc(c.bytes);
      for (let i = 0; i < data.length; i++) data[i] = (i * 7919 + (i >> 9)) & 0xff;
      const source = container(data, c.loopUnits, { channels: c.channels, bits: c.bits });
      writeFileSync(join(dir, 'in.zq'), source);
      const made = spawnSync(batch, ['-q', '--replace', '-o', 'out', ...c.lengths.flatMap((a) => a.split('=')), 'in.zq'], { cwd: dir });
      assert.equal(made.status, 0, made.stdout.toString());
      const expected = readFileSync(join(dir, 'out', 'in.wav'));
      kelvor.FS.writeFile('in.zq', source);
      const { status, run } = planRun(kelvor, ['in.zq', '-l2'], KINDS[0].code, sink, 0, 0, 50, { args: c.lengths });
      assert.equal(status, 0, c.what);
      const [wav] = run.wavs;
      assert.ok(wav.extents.some((e) => e.length > 3), `${c.what}: faded extents`);
      const bytes = new Uint8Array(source);
      const read = (offset, length) => bytes.subarray(offset, offset + length);
      const blob = wavBlob(wav, new Blob([source]), read, fadeIn(kelvor));
      assert.ok(Buffer.from(await blob.arrayBuffer()).equals(expected), `${c.what}: the WAV is the batch command's`);
      // The encoder's side: the pieces handed over are the WAV's data, in order.
      const pieces = [];
      const encoder = { piece: (piece) => { pieces.push(Buffer.from(piece)); return []; }, end: () => [], head: () => new Uint8Array(0) };
      await encodedBlob(wav, new Blob([source]), encoder, 1024 * 1024, 'audio/flac', { fade: fadeIn(kelvor) });
      const sound = Buffer.concat(pieces);
      assert.ok(sound.equals(expected.subarray(wav.head.length, wav.head.length + sound.length)), `${c.what}: the encoder's sound`);
      assert.equal(sound.length, expected.length - wav.head.length - wav.tail.length, c.what);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
