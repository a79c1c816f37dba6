// The page's WAVs made from the converter's plans: the page's module, loaded
// in Node, plans each run as the page does, and the Blob made from each plan
// and the source must hold the native command line's bytes, for every
// output kind, on whole, cut and damaged containers, with its messages and
// result code.
//
//   KELVOR_MODULE=build-web/kelvor-module.js KELVOR_NATIVE=build/kelvor \
//   KELVOR_EXAMPLE=build/example.zq node --test tests/plan_blob_test.mjs
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { test } from 'node:test';

import { KINDS, kindOf } from '../web/shared/kinds.js';
import { encodedBlob, wavBlob } from '../web/shared/plan_blob.js';
import { newInstance, planRun } from '../web/worker/core_bridge.js';
import { container } from './zq_container.mjs';

const moduleJs = resolve(process.env.KELVOR_MODULE || 'build-web/kelvor-module.js');
const native = resolve(process.env.KELVOR_NATIVE || 'build/kelvor');
const example = readFileSync(process.env.KELVOR_EXAMPLE || 'build/example.zq');

// What the native command line prints, returns and writes for `args` on
// `source` as in.zq, in a folder of its own.
function nativeRun(source, args) {
  const dir = mkdtempSync(join(tmpdir(), 'kelvor-plan-'));
  try {
    writeFileSync(join(dir, 'in.zq'), source);
    const run = spawnSync(native, ['in.zq', ...args], { cwd: dir });
    const files = Object.fromEntries(readdirSync(dir).filter((name) => name !== 'in.zq')
      .map((name) => [name, readFileSync(join(dir, name))]));
    return { printed: run.stdout.toString('utf8'), status: run.status > 127 ? run.status - 256 : run.status, files };
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

const sink = { printed: [] };
// Compiled here, as the page compiles it, and handed to the factory.
const compiled = await WebAssembly.compile(readFileSync(moduleJs.replace(/\.js$/, '.wasm')));
const kelvor = await newInstance(createRequire(import.meta.url)(moduleJs), compiled, sink);
kelvor.FS.mkdir('/work');
kelvor.FS.chdir('/work');

// The page's run of `args` on `source`: its plan carried out.
async function pageRun(source, args, kind, loopEnd = 0) {
  for (const entry of kelvor.FS.readdir('/work')) if (entry !== '.' && entry !== '..') kelvor.FS.unlink(entry);
  kelvor.FS.writeFile('in.zq', source);
  const { status, run } = planRun(kelvor, ['in.zq', ...args], kind.code, sink, loopEnd);
  const wavs = {};
  for (const wav of run.wavs) {
    const bytes = new Uint8Array(source);
    const blob = wavBlob(wav, new Blob([source]), (offset, length) => bytes.subarray(offset, offset + length));
    assert.equal(blob.size, wav.bytes, `${wav.name}: the plan's length`);
    wavs[wav.name] = Buffer.from(await blob.arrayBuffer());
  }
  return { printed: Buffer.from(sink.printed).toString('utf8'), status, run, wavs };
}

// The unrolled WAV: every byte the native command line writes for `args`,
// whole or cut short, and its messages and code; marked, the same bytes but
// the RIFF length, and after the data the smpl chunk of the loop's first
// pass. The kept kinds (which the command line does not make; the
// converter's own tests hold their plans to their writer): the sound in each
// WAV's data chunk is the native data heard once in whole frames, and a smpl
// chunk after it holds the run's loop.
async function expectNative(source, args, what) {
  await expectMarked(source, args, what);
  const expected = nativeRun(source, args);
  const got = await pageRun(source, args, KINDS[0]);
  assert.equal(got.printed, expected.printed, what);
  assert.equal(got.status, expected.status, what);
  for (const [name, bytes] of Object.entries(expected.files)) {
    if (bytes.length === 0 && !(name in got.wavs)) continue;  // created, never written
    assert.ok(got.wavs[name], `${what}: ${name} is planned`);
    assert.ok(got.wavs[name].equals(bytes), `${what}: ${name} differs from the native one`);
  }
  assert.equal(Object.keys(got.wavs).length, Object.values(expected.files).filter((b) => b.length > 0).length, what);
  const once = nativeRun(source, ['-l1']);
  if (once.status !== 0 || !once.files['in.wav'].length) return;
  const whole = (facts) => (facts.block_align > 0 ? facts.frames * facts.block_align : facts.data_bytes);
  for (const kind of KINDS.filter((k) => k.keeps)) {
    const kept = await pageRun(source, ['-l1'], kind);
    if (kept.run.facts.loop_mark && kept.run.facts.loop_start > kept.run.facts.data_bytes) {  // refused, loop count or not
      assert.equal(kept.printed, once.printed + 'error-32 : loop start is beyond the data(plan_kept_loop)\n', what);
      assert.deepEqual([kept.status, kept.run.wavs], [-32, []], what);
      continue;
    }
    assert.equal(kept.printed, once.printed, `${what}, ${kind.id}`);
    assert.equal(kept.status, 0, `${what}, ${kind.id}`);
    const wavs = kept.run.wavs.map((wav) => kept.wavs[wav.name]);
    const sound = Buffer.concat(wavs.map((wav) => wav.subarray(44, 44 + wav.readUInt32LE(40))));
    const data = once.files['in.wav'].subarray(44, 44 + whole(kept.run.facts));
    assert.ok(sound.equals(data), `${what}, ${kind.id}: the sound once in whole frames`);
    for (const wav of wavs) {
      assert.equal(wav.readUInt32LE(4), wav.length - 8, `${what}, ${kind.id}: the RIFF length`);
      const after = 44 + wav.readUInt32LE(40) + (wav.readUInt32LE(40) & 1);
      if (kind.id === 'kept' && kept.run.facts.has_loop) {
        assert.equal(wav.toString('latin1', after, after + 4), 'smpl', `${what}: the smpl chunk`);
        assert.deepEqual([wav.readUInt32LE(after + 52), wav.readUInt32LE(after + 56)],
          [kept.run.facts.loop_start_frame, kept.run.facts.loop_end_frame - 1], `${what}: the loop kept`);
      } else {
        assert.equal(wav.length, after, `${what}, ${kind.id}: nothing after the data but a pad byte`);
      }
    }
  }
}

async function expectMarked(source, args, what) {
  const expected = nativeRun(source, args);
  for (const loopEnd of [0, 1]) {
    const got = await pageRun(source, args.filter((a) => a !== '-x'), kindOf('marked'), loopEnd);
    const plain = args.includes('-x') ? nativeRun(source, args.filter((a) => a !== '-x')) : expected;
    assert.equal(got.printed, plain.printed, what);
    assert.equal(got.status, plain.status, what);
    for (const [name, bytes] of Object.entries(plain.files)) {
      if (bytes.length === 0) continue;
      const wav = got.wavs[name];
      assert.ok(wav.subarray(0, 4).equals(bytes.subarray(0, 4)) && wav.subarray(8, bytes.length).equals(bytes.subarray(8)),
        `${what}: marked, the native bytes but the RIFF length`);
      const { facts } = got.run;
      if (got.status !== 0 || !facts.has_loop) {
        assert.equal(wav.length, bytes.length, `${what}: marked, nothing more`);
        continue;
      }
      const after = bytes.length + (facts.data_length & 1);
      assert.equal(wav.readUInt32LE(4), wav.length - 8, `${what}: marked, the RIFF length`);
      assert.equal(wav.toString('latin1', after, after + 4), 'smpl', `${what}: marked, the smpl chunk`);
      assert.deepEqual([wav.readUInt32LE(after + 52), wav.readUInt32LE(after + 56)],
        [facts.loop_start_frame, facts.loop_end_frame - 1 + loopEnd], `${what}: marked, the first pass`);
    }
  }
}

test('the example at several loop counts and with -x, as every kind', async () => {
  for (const args of [['-l1'], ['-l2'], ['-l30'], ['-l3', '-x']]) await expectNative(example, args, args.join(' '));
});

test('cut and damaged containers: the messages, the code, and the bytes the command line leaves', async () => {
  for (const length of [7, 44, 100, 1000, example.length - 25, example.length - 1]) {
    await expectNative(example.subarray(0, length), ['-l2'], `cut at ${length}`);
  }
  const moved = Buffer.from(example);
  moved.writeUInt32LE(36 + 100, 8 + 12);  // the data said to start 100 bytes late
  await expectNative(moved, ['-l2'], 'data 100 bytes late');
  const beyond = container(Buffer.alloc(16, 7), 5);
  await expectNative(beyond, ['-l2'], 'a loop start past the data');
});

test('loops at the first frame, inside a frame and none; odd layouts', async () => {
  const data = Buffer.from([...Array(96).keys()]);
  await expectNative(container(data, 0), ['-l3'], 'a loop from the first frame');
  await expectNative(container(data, 5, { channels: 3, bits: 8 }), ['-l3'], 'a loop inside a frame of 3 bytes');
  await expectNative(container(data), ['-l3'], 'no loop');
  await expectNative(container(data, 23, { channels: 1, bits: 24 }), ['-l2'], '24-bit mono, the last unit looped');
});

test('a loop section longer than a MiB, heard three times: its slice again each time', async () => {
  const data = Buffer.alloc(5 * 512 * 1024);
  for (let i = 0; i < data.length; i += 4) data.writeUInt32LE((i * 2654435761) >>> 0, i);
  await expectNative(container(data, 256 * 1024), ['-l3'], 'a section of 1.5 MiB');
});

test('a short loop heard a hundred thousand times: the native bytes, from a Blob of few parts', async () => {
  const data = Buffer.from([1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12]);
  const source = container(data, 2);
  await expectNative(source, ['-l100000'], 'a 4-byte loop heard 100,000 times');
  const { run } = await pageRun(source, ['-l100000'], KINDS[0]);
  const [, , repeats] = run.wavs[0].extents[1];
  assert.equal(repeats, 99999);
});

test('the seam for encoded formats: an encoder is handed each kind\'s sound, in pieces of at most the size asked', async () => {
  for (const kind of KINDS) {
    const { run, wavs } = await pageRun(example, [kind.unrolls ? '-l3' : '-l1'], kind);
    for (const wav of run.wavs) {
      const pieces = [];
      const encoder = { head: () => 'begun', piece: (bytes) => { pieces.push(bytes.length); return [bytes]; }, end: () => ['ended'] };
      const made = Buffer.from(await (await encodedBlob(wav, new Blob([example]), encoder, 65536, 'audio/test')).arrayBuffer());
      const written = wavs[wav.name];
      const data = written.subarray(44, 44 + written.readUInt32LE(40));
      assert.equal(made.toString('latin1', 0, 5), 'begun', `${kind.id}: the encoder's header first`);
      assert.ok(made.subarray(5, made.length - 5).equals(data), `${kind.id} ${wav.name}: the sound the WAV holds`);
      assert.equal(made.toString('latin1', made.length - 5), 'ended', `${kind.id}: what it writes last`);
      assert.ok(pieces.length > 1 && Math.max(...pieces) <= 65536, `${kind.id}: pieces of ${Math.max(...pieces)} bytes`);
    }
  }
});

test('past 4 GiB the page plans an RF64 file: its sizes in ds64, read back here field by field', () => {
  // 4 bytes looped 1.1 billion times: 4.4 GB of data (more than Node's Blob
  // holds, so the plan itself is read).
  const source = container(Buffer.from([1, 2, 3, 4, 5, 6, 7, 8]), 1);
  kelvor.FS.writeFile('in.zq', source);
  const { status, run } = planRun(kelvor, ['in.zq', '-l1100000000'], KINDS[0].code, sink);
  kelvor.FS.unlink('in.zq');
  assert.equal(status, 0);
  assert.match(sink.printed.map((b) => String.fromCharCode(b)).join(''), /\nwarning : the WAV passes 4 GiB: written as RF64\.\n/);
  const [wav] = run.wavs;
  const head = Buffer.from(wav.head);
  const data = 8 + 4 * 1099999999;  // the sound once, then the loop's 4 bytes again and again
  assert.equal(head.length, 80);
  assert.deepEqual([head.toString('latin1', 0, 4), head.readUInt32LE(4), head.toString('latin1', 8, 16), head.readUInt32LE(16)],
    ['RF64', 0xFFFFFFFF, 'WAVEds64', 28]);
  assert.deepEqual([head.readBigUInt64LE(20), head.readBigUInt64LE(28), head.readBigUInt64LE(36), head.readUInt32LE(44)],
    [BigInt(80 + data - 8), BigInt(data), BigInt(data / 4), 0]);
  assert.deepEqual([head.toString('latin1', 48, 52), head.readUInt32LE(52), head.readUInt16LE(58), head.readUInt16LE(70)],
    ['fmt ', 16, 2, 16]);
  assert.deepEqual([head.toString('latin1', 72, 76), head.readUInt32LE(76)], ['data', 0xFFFFFFFF]);
  assert.equal(wav.bytes, 80 + data);
  assert.deepEqual(wav.extents, [[44, 8, 1], [48, 4, 1099999999]], 'the data once, then the loop section');
});
