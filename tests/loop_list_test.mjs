// The loop list's two forms: cells a spreadsheet reads back as written, and
// the list that replaces an earlier one of ours but no other file.
//
//   node --test tests/loop_list_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import * as KelvorLoopList from '../web/shared/loop_list.js';

const facts = { sample_rate: 48000, channels: 1, sample_bits: 24, kept_bits: 24, block_align: 3, frames: 96000, has_loop: 1,
  loop_start: 3, loop_start_frame: 1, loop_end_frame: 96000, smpl_loop_end: 95999, loop_count: 1, data_length: 288000,
  dropped_bytes: 0 };

test('names with commas, quotes, line breaks and formulas stay one cell of text; seconds are frames over the rate', () => {
  const entries = [{ path: 'boss, "final"\nphase.zq', outputs: ['boss, "final"\nphase.wav'], output: 'kept', loopEnd: 'riff', facts },
    { path: '=HYPERLINK("x").zq', outputs: ['=HYPERLINK("x").wav'], output: 'kept', loopEnd: 'godot',
      facts: { ...facts, smpl_loop_end: 96000 } },
    ...['+1.zq', '-1.zq', '@a.zq', '\tb.zq'].map((path) => ({ path, outputs: ['a.wav'], output: 'kept', loopEnd: 'riff', facts }))];
  const lines = KelvorLoopList.csv(entries).split('\r\n');
  assert.equal(lines[0], '\ufeffpath,output,loop_end_for,wav,wav_role,wav_frames,wav_2,wav_2_role,wav_2_frames,rate,channels,' +
    'bits,kept_bits,block_align,sound_frames,dropped_bytes,loop_count,loop_start_byte,loop_start_frame,' +
    'loop_end_frame_exclusive,smpl_loop_end_frame,loop_start_seconds,loop_end_seconds');
  assert.equal(lines[1], '"boss, ""final""\nphase.zq",loop points kept,riff,"boss, ""final""\nphase.wav",whole,96000,,,,' +
    '48000,1,24,24,3,96000,0,1,3,1,96000,95999,0.000021,2');
  assert.equal(lines[2].split(',').slice(0, 4).join(','), '"\'=HYPERLINK(""x"").zq",loop points kept,godot,"\'=HYPERLINK(""x"").wav"');
  assert.deepEqual(lines.slice(3, 7).map((l) => l.split(',')[0]), ["'+1.zq", "'-1.zq", "'@a.zq", "'\tb.zq"]);
  const [file, formula] = JSON.parse(KelvorLoopList.json(entries)).files;
  assert.deepEqual(file.loop, { start_byte: 3, start_frame: 1, end_frame_exclusive: 96000, smpl_end_frame: 95999,
    start_seconds: 0.000021, end_seconds: 2 });
  assert.deepEqual([formula.path, formula.loop_end_for, formula.loop.smpl_end_frame], ['=HYPERLINK("x").zq', 'godot', 96000],
    'the JSON as it is');
});

test('each WAV with its role and frames: an unrolled one with its repetitions, the intro and the loop apart', () => {
  const unrolled = { ...facts, loop_count: 3, data_length: 3 * 288000 - 3 };
  const [file] = JSON.parse(KelvorLoopList.json([{ path: 'a.zq', outputs: ['a.wav'], output: 'unrolled', facts: unrolled }])).files;
  assert.deepEqual(file.wavs, [{ name: 'a.wav', role: 'unrolled', frames: 3 * 96000 - 1 }]);
  assert.equal(file.loop_count, 3);
  assert.deepEqual([file.loop.start_frame, file.loop.end_frame_exclusive, file.loop.smpl_end_frame], [1, 96000, null],
    'the loop\'s first pass; no smpl chunk');
  const [apart] = JSON.parse(KelvorLoopList.json([{ path: 'a.zq', outputs: ['a - intro.wav', 'a - loop.wav'], output: 'apart',
    facts: { ...facts, dropped_bytes: 2, loop_start_moved: 1 } }])).files;
  assert.deepEqual(apart.wavs, [{ name: 'a - intro.wav', role: 'intro', frames: 1 }, { name: 'a - loop.wav', role: 'loop', frames: 95999 }]);
  assert.equal(apart.dropped_bytes, 2);
  assert.match(JSON.parse(KelvorLoopList.json([])).about, /end_frame_exclusive is the frame after the loop's last/);
});

test('only a list of ours is replaced, an earlier release\'s too', () => {
  const earlier = ['path,output,wav,wav_2,rate,channels,bits,block_align,frames,loop_start_frame,loop_end_frame,' +
    'loop_start_seconds,loop_end_seconds\r\n', '\ufeffpath,output,wav,wav_2,rate,channels,bits,block_align,frames,loop_count,' +
    'loop_start_frame,loop_end_frame,loop_start_seconds,loop_end_seconds\r\n', '{\n  "format": "kelvor loop list 1",\n  "files": []\n}\n'];
  for (const list of [KelvorLoopList.csv([]), KelvorLoopList.json([]), ...earlier]) assert.equal(KelvorLoopList.isLoopList(list), true);
  for (const other of ['my own notes', 'path,output\r\n', '{"files": []}']) assert.equal(KelvorLoopList.isLoopList(other), false);
});
