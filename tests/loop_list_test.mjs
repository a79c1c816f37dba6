// The loop list's two forms: cells a spreadsheet shows as the names written;
// in an output folder, a list that replaces only the one the page wrote,
// unchanged, and lists every WAV written there that is still there.
//
//   node --test tests/loop_list_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import * as KelvorLoopList from '../web/shared/loop_list.js';

const facts = { sample_rate: 48000, channels: 1, sample_bits: 24, kept_bits: 24, block_align: 3, frames: 96000, has_loop: 1,
  loop_start: 3, loop_start_frame: 1, loop_end_frame: 96000, smpl_loop_end: 95999, loop_count: 1, data_length: 288000,
  dropped_bytes: 0 };

test('names with commas, quotes, line breaks and formulas stay one cell of text; seconds are frames over the rate', () => {
  const entries = [{ path: 'boss, "final"\nphase.zq', outputs: ['boss, "final"\nphase.wav'], roles: ['whole'], output: 'kept', loopEnd: 'riff', facts },
    { path: '=HYPERLINK("x").zq', outputs: ['=HYPERLINK("x").wav'], roles: ['whole'], output: 'kept', loopEnd: 'godot',
      facts: { ...facts, smpl_loop_end: 96000 } },
    ...['+1.zq', '-1.zq', '@a.zq', '\tb.zq'].map((path) => ({ path, outputs: ['a.wav'], roles: ['whole'], output: 'kept', loopEnd: 'riff', facts }))];
  const lines = KelvorLoopList.csv(entries).split('\r\n');
  assert.equal(lines[0], '\ufeffpath,output,loop_end_for,wav,wav_role,wav_frames,wav_2,wav_2_role,wav_2_frames,rate,channels,' +
    'bits,kept_bits,block_align,sound_frames,dropped_bytes,loop_count,loop_start_byte,loop_start_frame,' +
    'loop_end_frame_exclusive,smpl_loop_end_frame,loop_start_seconds,loop_end_seconds,loop_length_frames,godot_loop_offset,' +
    'loop_from,loop_list_line,fade_seconds,fade_delay_seconds,target_seconds,play_to_end');
  assert.equal(lines[1], '"boss, ""final""\nphase.zq",loop points kept,riff,"boss, ""final""\nphase.wav",whole,96000,,,,' +
    '48000,1,24,24,3,96000,0,1,3,1,96000,95999,0.000021,2,95999,0.000031,file,,,,,');
  assert.equal(lines[2].split(',').slice(0, 4).join(','),
    '"=""=HYPERLINK(""""x"""").zq""",loop points kept,godot,"=""=HYPERLINK(""""x"""").wav"""');
  assert.deepEqual(lines.slice(3, 7).map((l) => l.split(',')[0]), ['"=""+1.zq"""', '"=""-1.zq"""', '"=""@a.zq"""', '"=""\tb.zq"""']);
  // Read back as a spreadsheet does, each such cell is a formula that gives the name itself.
  for (const [i, name] of ['+1.zq', '-1.zq', '@a.zq', '\tb.zq'].entries()) {
    assert.equal(spreadsheetValue(readCsvCell(lines[3 + i])), name);
  }
  assert.equal(spreadsheetValue(readCsvCell(lines[2])), '=HYPERLINK("x").zq');
  const [file, formula] = JSON.parse(KelvorLoopList.json(entries)).files;
  assert.deepEqual(file.loop, { start_byte: 3, start_frame: 1, end_frame_exclusive: 96000, smpl_end_frame: 95999,
    start_seconds: 0.000021, end_seconds: 2, length_frames: 95999, godot_loop_offset: 0.000031 });
  assert.deepEqual([formula.path, formula.loop_end_for, formula.loop.smpl_end_frame], ['=HYPERLINK("x").zq', 'godot', 96000],
    'the JSON as it is');
});

test('each WAV with its role and frames: an unrolled one with its repetitions, the intro and the loop apart', () => {
  const unrolled = { ...facts, loop_count: 3, data_length: 3 * 288000 - 3 };
  const [file] = JSON.parse(KelvorLoopList.json([{ path: 'a.zq', outputs: ['a.wav'], roles: ['unrolled'], output: 'unrolled', facts: unrolled }])).files;
  assert.deepEqual(file.wavs, [{ name: 'a.wav', role: 'unrolled', frames: 3 * 96000 - 1 }]);
  assert.equal(file.loop_count, 3);
  assert.deepEqual([file.loop.start_frame, file.loop.end_frame_exclusive, file.loop.smpl_end_frame], [1, 96000, null],
    'the loop\'s first pass; no smpl chunk');
  const [apart] = JSON.parse(KelvorLoopList.json([{ path: 'a.zq', outputs: ['a - intro.wav', 'a - loop.wav'], roles: ['intro', 'loop'], output: 'apart',
    facts: { ...facts, dropped_bytes: 2, loop_start_moved: 1 } }])).files;
  assert.deepEqual(apart.wavs, [{ name: 'a - intro.wav', role: 'intro', frames: 1 }, { name: 'a - loop.wav', role: 'loop', frames: 95999 }]);
  assert.equal(apart.dropped_bytes, 2);
  assert.match(JSON.parse(KelvorLoopList.json([])).about, /end_frame_exclusive is the frame after the loop's last/);
});

// The first cell of a CSV line, as RFC 4180 reads it.
function readCsvCell(csvLine) {
  if (!csvLine.startsWith('"')) return csvLine.split(',')[0];
  let text = '';
  for (let i = 1; ; i++) {
    if (csvLine[i] === '"' && csvLine[i + 1] === '"') text += csvLine[i++];
    else if (csvLine[i] === '"') return text;
    else text += csvLine[i];
  }
}

// What a spreadsheet shows for a cell: a formula of one string literal gives
// the string; anything else that begins like a formula would be evaluated.
function spreadsheetValue(text) {
  const literal = /^="((?:[^"]|"")*)"$/.exec(text);
  if (literal) return literal[1].replace(/""/g, '"');
  assert.doesNotMatch(text, /^[=+\-@\t\r]/, 'a formula a spreadsheet would evaluate');
  return text;
}

// An output folder as the File System Access API gives it, files held as text.
class Folder {
  constructor(name, files = {}) {
    this.name = name;
    this.entries = new Map(Object.entries(files));
  }

  async getFileHandle(name, { create = false } = {}) {
    if (this.entries.get(name) instanceof Folder) throw Object.assign(new Error(name), { name: 'TypeMismatchError' });
    if (!this.entries.has(name) && !create) throw Object.assign(new Error(name), { name: 'NotFoundError' });
    const folder = this;
    return {
      getFile: async () => new Blob([folder.entries.get(name)]),
      createWritable: async () => {
        const parts = [];
        return new WritableStream({ write: (chunk) => { parts.push(Buffer.from(chunk)); },
          close: () => { folder.entries.set(name, Buffer.concat(parts).toString()); } });
      },
    };
  }

  async getDirectoryHandle(name) {
    const entry = this.entries.get(name);
    if (!(entry instanceof Folder)) throw Object.assign(new Error(name), { name: 'NotFoundError' });
    return entry;
  }
}

const entry = (name) => ({ path: `${name}.zq`, outputs: [`${name}.wav`], roles: ['whole'], output: 'kept', loopEnd: 'riff', facts });
const listed = (folder, name = 'loops.json') => JSON.parse(folder.entries.get(name)).files.map((file) => file.path);

test('an output folder\'s list: every WAV written there still there, across a reload; a list changed by hand never replaced', async () => {
  const out = new Folder('out');
  const memory = new Map();
  assert.deepEqual(await KelvorLoopList.writeInto(out, [entry('a'), entry('b')], memory), { problems: [], notes: [] });
  for (const name of ['a.wav', 'b.wav']) out.entries.set(name, 'RIFF');
  // A reload: the page remembers nothing, and the list it wrote is read back.
  assert.deepEqual((await KelvorLoopList.writeInto(out, [entry('c')], new Map())).notes, []);
  assert.deepEqual(listed(out), ['a.zq', 'b.zq', 'c.zq'], 'the earlier WAVs, then the new one');
  assert.equal(out.entries.get('loops.csv').split('\r\n').length, 5, 'header, three files, the final line break');
  // A WAV deleted since is no longer listed; one converted again is listed once, as now.
  out.entries.set('c.wav', 'RIFF');
  out.entries.delete('a.wav');
  await KelvorLoopList.writeInto(out, [{ ...entry('b'), output: 'unrolled' }], new Map());
  assert.deepEqual(listed(out), ['c.zq', 'b.zq']);
  assert.equal(JSON.parse(out.entries.get('loops.json')).files[1].output, 'loop unrolled');

  // One cell changed by hand: that list stays as it is, the new one goes beside it, and stays there.
  const edited = out.entries.get('loops.csv').replace('whole', 'my loop');
  out.entries.set('loops.csv', edited);
  const { notes } = await KelvorLoopList.writeInto(out, [entry('d')], memory);
  assert.equal(out.entries.get('loops.csv'), edited);
  assert.deepEqual(notes, ['The loop list went to "out/loops (2).csv": "out/loops.csv" is not as kelvor wrote it, and was left as it was.']);
  assert.ok(out.entries.get('loops (2).csv').includes('d.zq'));
  assert.deepEqual(listed(out), ['c.zq', 'b.zq', 'd.zq'], 'the JSON, unchanged, replaced');
  await KelvorLoopList.writeInto(out, [entry('e')], memory);
  assert.ok(out.entries.get('loops (2).csv').includes('e.zq'), 'the numbered list the page wrote is its own');
  assert.equal(out.entries.has('loops (3).csv'), false);
  assert.equal(out.entries.get('loops.csv'), edited);
});

test('a file of a list\'s name that is not a list, or a list of an earlier form, is left as it was', async () => {
  const earlier = '{\n  "format": "kelvor loop list 1",\n  "files": []\n}\n';
  const out = new Folder('out', { 'loops.csv': 'my own notes', 'loops.json': earlier, 'loops (2).json': 'mine too' });
  const { notes, problems } = await KelvorLoopList.writeInto(out, [entry('a')]);
  assert.deepEqual(problems, []);
  assert.equal(notes.length, 2);
  assert.deepEqual([out.entries.get('loops.csv'), out.entries.get('loops.json'), out.entries.get('loops (2).json')],
    ['my own notes', earlier, 'mine too']);
  assert.deepEqual(listed(out, 'loops (3).json'), ['a.zq']);
  assert.ok(out.entries.get('loops (2).csv').includes('a.zq'));
});
