// The loop list's two forms: cells a spreadsheet reads back as written, and
// the list that replaces an earlier one of ours but no other file.
//
//   node --test tests/loop_list_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import * as KelvorLoopList from '../web/shared/loop_list.js';

const facts = { sample_rate: 48000, channels: 1, sample_bits: 24, block_align: 3, frames: 96000, has_loop: 1,
  loop_start_frame: 1, loop_end_frame: 96000, loop_count: 1, data_length: 288000 };
const HEAD = 'path,output,wav,wav_2,rate,channels,bits,block_align,frames,loop_count,' +
  'loop_start_frame,loop_end_frame,loop_start_seconds,loop_end_seconds\r\n';

test('names with commas, quotes and line breaks stay one cell; seconds are frames over the rate', () => {
  const entries = [{ path: 'boss, "final"\nphase.zq', outputs: ['boss, "final"\nphase.wav'], output: 'kept', facts }];
  assert.equal(KelvorLoopList.csv(entries), '\ufeff' + HEAD +
    '"boss, ""final""\nphase.zq",loop points kept,"boss, ""final""\nphase.wav",,48000,1,24,3,96000,1,1,96000,0.000021,2\r\n');
  const [file] = JSON.parse(KelvorLoopList.json(entries)).files;
  assert.deepEqual(file.loop, { start_frame: 1, end_frame: 96000, start_seconds: 0.000021, end_seconds: 2 });
});

test('an unrolled WAV is listed with its own frames and the loop count it holds', () => {
  const unrolled = { ...facts, loop_count: 3, data_length: 3 * 288000 - 3 };
  const [file] = JSON.parse(KelvorLoopList.json([{ path: 'a.zq', outputs: ['a.wav'], output: 'unrolled', facts: unrolled }])).files;
  assert.equal(file.frames, 3 * 96000 - 1);
  assert.equal(file.loop_count, 3);
  assert.deepEqual([file.loop.start_frame, file.loop.end_frame], [1, 96000], 'the loop\'s first pass');
});

test('only a list of ours is replaced, an earlier release\'s too', () => {
  const earlier = ['path,output,wav,wav_2,rate,channels,bits,block_align,frames,loop_start_frame,loop_end_frame,' +
    'loop_start_seconds,loop_end_seconds\r\n', '{\n  "format": "kelvor loop list 1",\n  "files": []\n}\n'];
  for (const list of [KelvorLoopList.csv([]), KelvorLoopList.json([]), ...earlier]) assert.equal(KelvorLoopList.isLoopList(list), true);
  for (const other of ['my own notes', 'path,output\r\n', '{"files": []}']) assert.equal(KelvorLoopList.isLoopList(other), false);
});
