// What a row says, from the run's facts: the example's facts as the run
// gives them, for each kind, a success and a failure.
//
//   node --test tests/row_text_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { describe, describeRead, outputText, settingsText } from '../web/page/row_text.js';

// The example (2 channels, 16 bits, 44,100 Hz, 1.5 s with the loop from
// 0.5 s) as a run at loop count 3 reports it.
const example = { trk_mark: 1, channels: 2, sample_rate: 44100, sample_bits: 16, data_bytes: 264600, loop_mark: 1,
  loop_start: 88200, loop_count: 3, block_align: 4, byte_rate: 176400, data_length: 617400, header_result: 0,
  frames: 66150, has_loop: 1, loop_start_frame: 22050, loop_end_frame: 66150 };

test('the settings a file was queued with', () => {
  assert.equal(settingsText({ output: 'unrolled', loopCount: 3, shortFormat: true, folder: null }),
    'loop unrolled · loop count 3 · short format block (-x) · as a download');
  assert.equal(settingsText({ output: 'kept', loopCount: 3, shortFormat: true, folder: { name: 'out' } }),
    'loop points kept · into "out"');
});

test('a converted file: its format, its loop, the loop count and the length for the kind', () => {
  const unrolled = describe(example, 'unrolled');
  assert.equal(unrolled.text, '2 ch · 44,100 Hz · 16 bit · intro 0.500 s · loop 1.000 s · loop count 3 · 3.500 s in all');
  assert.equal(unrolled.summary, 'loop from 0.500 s to 1.500 s, heard 3 times');
  const kept = describe({ ...example, loop_count: 1, data_length: 264600 }, 'kept');
  assert.equal(kept.text, '2 ch · 44,100 Hz · 16 bit · intro 0.500 s · loop 1.000 s · 1.500 s in all');
  assert.equal(kept.summary, 'loop from 0.500 s to 1.500 s, kept');
  const noLoop = describe({ ...example, loop_mark: 0, has_loop: 0, loop_start: 0, loop_count: 1, data_length: 264600 },
    'unrolled');
  assert.equal(noLoop.text, '2 ch · 44,100 Hz · 16 bit · no loop information · loop count 1 · 1.500 s in all');
  assert.equal(noLoop.hasLoop, false);
  assert.equal(describe({ ...example, trk_mark: 0 }, 'unrolled'), null, 'no track');
  assert.equal(outputText([{ name: 'example.wav', size: 617444 }], example, 'unrolled'), 'example.wav: 617,444 bytes, 3.500 s');
  assert.equal(outputText([{ name: 'a - intro.wav', size: 88244 }, { name: 'a - loop.wav', size: 176444 }], example, 'apart'),
    'a - intro.wav: 88,244 bytes, a - loop.wav: 176,444 bytes');
});

test('a failed run: what was read, and nothing of a WAV', () => {
  // Cut inside the sample data: the track's fields were read, the loop's never.
  const cut = { ...example, loop_mark: 0, loop_start: 0, has_loop: 0, loop_count: 0, byte_rate: 0, data_length: 0 };
  assert.equal(describeRead(cut), 'Read from the file: 2 ch · 44,100 Hz · 16 bit');
  assert.equal(describeRead({ ...example, loop_start: 300000, has_loop: 0, header_result: -32 }),
    'Read from the file: 2 ch · 44,100 Hz · 16 bit · loop start past the data');
  assert.equal(describeRead(example), 'Read from the file: 2 ch · 44,100 Hz · 16 bit · intro 0.500 s · loop 1.000 s');
  assert.equal(describeRead({ trk_mark: 0 }), null, 'nothing read of a track');
});
