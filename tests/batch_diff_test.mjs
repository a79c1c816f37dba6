// Three front ends, one converter: on random containers (whole, cut and
// damaged), the batch command writes for every kind exactly the WAVs that
// the page makes from its plans, the unrolled ones exactly the command
// line's bytes, and loop lists byte for byte the page's; its FLAC and Ogg
// files are byte for byte those the page encodes from the same plans.
//
//   KELVOR_MODULE=build-web/kelvor-module.js KELVOR_NATIVE=build/kelvor \
//   KELVOR_BATCH=build/kelvor-batch node --import ./tests/core_kinds_setup.mjs --test tests/batch_diff_test.mjs
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { test } from 'node:test';

import { KINDS, LOOP_ENDS, commandLine, formatOf, lengthArgs, loopEndCode, qualityTenths } from '../web/shared/kinds.js';
import { csv, json } from '../web/shared/loop_list.js';
import { wavBlob } from '../web/shared/plan_blob.js';
import { fadeIn, newInstance, outputNames, planRun } from '../web/worker/core_bridge.js';
import { EncodingFailed, encodedFile } from '../web/worker/encode.js';

const moduleJs = resolve(process.env.KELVOR_MODULE || 'build-web/kelvor-module.js');
const native = resolve(process.env.KELVOR_NATIVE || 'build/kelvor');
const batch = resolve(process.env.KELVOR_BATCH || 'build/kelvor-batch');

// A small generator of its own, so that every run sees the same containers.
function random(seed) {
  let s = seed >>> 0;
  return (n) => {
    s = (Math.imul(s, 1664525) + 1013904223) >>> 0;
    return Math.floor((s / 2 ** 32) * n);
  };
}

// A container of random layout and sound, then perhaps cut or damaged.
function container(pick) {
  const channels = [1, 2, 2, 3, 6][pick(5)];
  const bits = [8, 16, 16, 24, 32][pick(5)];
  const rate = [8000, 22050, 44100, 48000, 96000][pick(5)];
  const units = 1 + pick(400);
  const data = Buffer.alloc(units * 4);
  for (let i = 0; i < data.length; i++) data[i] = pick(256);
  const trk = Buffer.alloc(36);
  trk.write('cTRK');
  [1, 0, 36, units, rate].forEach((v, i) => trk.writeUInt32LE(v, 4 + 4 * i));
  [0, channels, bits, 0, bits, 0].forEach((v, i) => trk.writeUInt16LE(v, 24 + 2 * i));
  const loop = pick(4) === 0 ? null : pick(units + (pick(8) === 0 ? 3 : 0));  // now and then past the data
  const slp = Buffer.alloc(loop === null ? 0 : 24);
  if (loop !== null) {
    slp.write('cSLP');
    [1, 0, loop, 0, 0].forEach((v, i) => slp.writeUInt32LE(v, 4 + 4 * i));
  }
  const head = Buffer.alloc(8);
  head.write('fZQ ');
  head.writeUInt32LE(8 + 36 + data.length + slp.length, 4);
  let bytes = Buffer.concat([head, trk, data, slp]);
  const fate = pick(6);
  if (fate === 0) bytes = bytes.subarray(0, pick(bytes.length));  // cut
  if (fate === 1) bytes[pick(52)] ^= 1 << pick(8);  // one bit of the header or a field flipped
  return bytes;
}

const sink = { printed: [] };
const compiled = await WebAssembly.compile(readFileSync(moduleJs.replace(/\.js$/, '.wasm')));
const kelvor = await newInstance(createRequire(import.meta.url)(moduleJs), compiled, sink);
kelvor.FS.mkdir('/work');
kelvor.FS.mkdir('/work/r');
kelvor.FS.chdir('/work');

// The page's files for `name` (r/cNN.zq): its plan carried out, as the
// worker does (web/worker/main.js), a FLAC or Ogg file encoded.
async function pageRun(name, source, settings) {
  kelvor.FS.writeFile(name, source);
  const kind = KINDS.find((k) => k.id === settings.output);
  const format = formatOf(settings.format);
  const args = commandLine(name, settings);
  if (format.id !== 'wav') args.splice(1, 0, outputNames(kelvor, name, kind.code, format.code)[0]);
  let { status, run } = planRun(kelvor, args, kind.code, sink, loopEndCode(settings), format.code, qualityTenths(settings),
    { args: lengthArgs(settings), loops: settings.loops || null, path: name });
  const wavs = {};
  try {
    for (const wav of run.wavs) {
      const bytes = new Uint8Array(source);
      const blob = wav.encoding ? await encodedFile(kelvor, wav, new Blob([source]), format, qualityTenths(settings))
        : wavBlob(wav, new Blob([source]), (offset, length) => bytes.subarray(offset, offset + length), fadeIn(kelvor));
      wavs[wav.name] = Buffer.from(await blob.arrayBuffer());
    }
  } catch (error) {
    if (!(error instanceof EncodingFailed)) throw error;
    status = error.status;
  }
  kelvor.FS.unlink(name);
  return { status, run, wavs };
}

function files(dir, prefix = '') {
  const found = {};
  if (!existsSync(dir)) return found;
  for (const entry of readdirSync(dir, { withFileTypes: true })) {
    const path = prefix + entry.name;
    if (entry.isDirectory()) Object.assign(found, files(join(dir, entry.name), path + '/'));
    else found[path] = readFileSync(join(dir, entry.name));
  }
  return found;
}

const SETTINGS = [
  { output: 'unrolled', loopCount: 3, shortFormat: false, loopEnd: 'riff' },
  { output: 'unrolled', loopCount: 1, shortFormat: true, loopEnd: 'riff' },
  { output: 'kept', loopCount: 2, shortFormat: false, loopEnd: 'riff' },
  { output: 'kept', loopCount: 2, shortFormat: false, loopEnd: 'godot' },
  { output: 'apart', loopCount: 2, shortFormat: false, loopEnd: 'riff' },
  { output: 'marked', loopCount: 5, shortFormat: false, loopEnd: 'godot' },
  { output: 'kept', loopCount: 1, shortFormat: false, loopEnd: 'riff', format: 'flac' },
  { output: 'unrolled', loopCount: 2, shortFormat: false, loopEnd: 'riff', format: 'flac' },
  { output: 'apart', loopCount: 1, shortFormat: false, loopEnd: 'riff', format: 'ogg', quality: 5 },
  { output: 'marked', loopCount: 3, shortFormat: false, loopEnd: 'riff', format: 'ogg', quality: 2 },
  // The listening lengths, and a loop list applied (LOOPS below).
  { output: 'unrolled', loopCount: 2, shortFormat: false, loopEnd: 'riff', fade: '0.01', delay: '0.0025' },
  { output: 'marked', loopCount: 1, shortFormat: false, loopEnd: 'godot', target: '0.02', fade: '0.003' },
  { output: 'unrolled', loopCount: 3, shortFormat: false, loopEnd: 'riff', fade: '0.004', format: 'flac' },
  { output: 'unrolled', loopCount: 2, shortFormat: false, loopEnd: 'riff', toEnd: true, loops: 'loops' },
  { output: 'apart', loopCount: 1, shortFormat: false, loopEnd: 'riff', loops: 'loops' },
];

// A loop list that every third file of the batch has a line in: a short
// loop at its start, which some files' data is too short for (refused).
function loopsList(count) {
  const files = [];
  for (let i = 0; i < count; i += 3) {
    files.push({ path: `r/c${String(i).padStart(2, '0')}.zq`, loop: { start_frame: 1 + (i % 4), end_frame_exclusive: 6 + i } });
  }
  return { name: 'picked.json', text: JSON.stringify({ files }, null, 2) };
}

function batchArgs(settings) {
  const kind = KINDS.find((k) => k.id === settings.output);
  const args = ['--kind', kind.id];
  if (kind.unrolls && !settings.target) args.push('-l', String(settings.loopCount));
  if (kind.shortFormat && settings.shortFormat) args.push('-x');
  if (kind.smpl && !settings.format) args.push('--loop-end', settings.loopEnd);
  if (settings.format) args.push('--format', settings.format);
  if (settings.format === 'ogg') args.push('--quality', String(settings.quality));
  args.push(...lengthArgs(settings));
  if (settings.loops) args.push('--loops', settings.loops.name);
  return args;
}

test('every kind: the batch command\'s WAVs and loop lists are the page\'s, the unrolled ones the command line\'s', async () => {
  assert.ok(LOOP_ENDS.some((end) => end.id === 'godot'));
  const dir = mkdtempSync(join(tmpdir(), 'kelvor-diff-'));
  try {
    const pick = random(20261210);
    const sources = Array.from({ length: 40 }, () => container(pick));
    mkdirSync(join(dir, 'r'));
    sources.forEach((bytes, i) => writeFileSync(join(dir, 'r', `c${String(i).padStart(2, '0')}.zq`), bytes));
    const loops = loopsList(sources.length);
    writeFileSync(join(dir, loops.name), loops.text);
    let compared = 0, failed = 0, encoded = 0, shaped = 0;
    for (const [n, listed] of SETTINGS.entries()) {
      const settings = listed.loops ? { ...listed, loops } : listed;
      for (const list of ['loops.csv', 'loops.json']) {
        const out = `o${n}-${list}`;
        const run = spawnSync(batch, ['r', '--out', out, '-j', '3', '--loop-list', `${out}/${list}`, ...batchArgs(settings)],
          { cwd: dir });
        assert.equal(run.stderr.length, 0);
        const written = files(join(dir, out));
        const entries = [];
        for (let i = 0; i < sources.length; i++) {
          const name = `r/c${String(i).padStart(2, '0')}.zq`;
          const page = await pageRun(name, sources[i], settings);
          const mine = Object.keys(written).filter((path) => path.startsWith(name.slice(0, -3)));
          if (page.status !== 0) {
            failed++;
            assert.deepEqual(mine, [], `${name} ${settings.output}: a failure leaves no WAV`);
            continue;
          }
          const made = mine.filter((path) => written[path].length > 0);  // a track-less container: an empty WAV
          assert.deepEqual(made.sort(), Object.keys(page.wavs).sort(), `${name} ${settings.output}: the same WAVs`);
          for (const path of made) {
            assert.ok(written[path].equals(page.wavs[path]), `${name} ${settings.output}: ${path} is the page's`);
            compared++;
            if (settings.format) encoded++;
            if (page.run.facts.shaped) shaped++;
          }
          if (settings.output === 'unrolled' && !settings.format && made.length === 1 && lengthArgs(settings).length === 0 &&
              !settings.loops) {
            const cli = spawnSync(native, [name, 'cli.wav', ...commandLine(name, settings).slice(1)], { cwd: dir });
            assert.equal(cli.status, 0);
            assert.ok(readFileSync(join(dir, 'cli.wav')).equals(written[made[0]]), `${name}: the command line's bytes`);
          }
          entries.push({ path: name, outputs: page.run.wavs.map((w) => w.name), roles: page.run.wavs.map((w) => w.role),
            output: settings.output, format: settings.format, loopEnd: settings.loopEnd, facts: page.run.facts });
        }
        const expected = list === 'loops.csv' ? csv(entries) : json(entries);
        assert.equal(written[list].toString('utf8'), expected, `${settings.output}: ${list} is the page's`);
        assert.equal(run.status, sources.length === entries.length ? 0 : 1);
      }
    }
    assert.ok(compared > 300 && failed > 20 && encoded > 100 && shaped > 60, `${compared} files compared, ${failed} failures`);
    console.log(`# ${compared} files compared byte for byte (${encoded} of them FLAC or Ogg, ${shaped} shaped), ` +
      `${failed} refused runs left nothing`);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('a track of 24 MiB in the page\'s pieces: the batch command\'s FLAC and Ogg bytes', async () => {
  const dir = mkdtempSync(join(tmpdir(), 'kelvor-diff-long-'));
  try {
    const pick = random(7);
    const data = Buffer.alloc(24 * 1024 * 1024);
    for (let i = 0; i < data.length; i += 2) data.writeInt16LE(Math.round(Math.sin(i / 900) * 12000) + pick(2000) - 1000, i);
    const trk = Buffer.alloc(36);
    trk.write('cTRK');
    [1, 0, 36, data.length / 4, 44100].forEach((v, i) => trk.writeUInt32LE(v, 4 + 4 * i));
    [0, 2, 16, 0, 16, 0].forEach((v, i) => trk.writeUInt16LE(v, 24 + 2 * i));
    const slp = Buffer.alloc(24);
    slp.write('cSLP');
    [1, 0, 1000000, 0, 0].forEach((v, i) => slp.writeUInt32LE(v, 4 + 4 * i));
    const head = Buffer.alloc(8);
    head.write('fZQ ');
    head.writeUInt32LE(8 + 36 + data.length + slp.length, 4);
    const source = Buffer.concat([head, trk, data, slp]);
    mkdirSync(join(dir, 'r'));
    writeFileSync(join(dir, 'r', 'long.zq'), source);
    for (const settings of [{ output: 'kept', loopCount: 1, format: 'flac' }, { output: 'kept', loopCount: 1, format: 'ogg', quality: 5 }]) {
      const out = `o-${settings.format}`;
      assert.equal(spawnSync(batch, ['-q', 'r', '--out', out, ...batchArgs(settings)], { cwd: dir }).status, 0);
      const page = await pageRun('r/long.zq', source, settings);
      const name = `r/long${formatOf(settings.format).extension}`;
      assert.equal(page.status, 0);
      assert.ok(readFileSync(join(dir, out, name)).equals(page.wavs[name]), `${name}: the batch command's bytes`);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
