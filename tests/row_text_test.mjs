// What a row says, from the run's facts: the example's facts as the run
// gives them, for each kind, a success and a failure.
//
//   node --test tests/row_text_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { describe, describeRead, failureReason, layoutNotes, misreadWarning, outputText, playerNote, settingsText,
  writeFailureText } from '../web/page/row_text.js';
import { duration, numbered, percent, size } from '../web/shared/text.js';
import { loopNote } from '../web/shared/kinds.js';

// The example (2 channels, 16 bits, 44,100 Hz, 1.5 s with the loop from
// 0.5 s) as a run at loop count 3 reports it.
const example = { trk_mark: 1, channels: 2, sample_rate: 44100, sample_bits: 16, data_bytes: 264600, loop_mark: 1,
  loop_start: 88200, loop_count: 3, block_align: 4, byte_rate: 176400, data_length: 617400, header_result: 0,
  frames: 66150, has_loop: 1, loop_start_frame: 22050, loop_end_frame: 66150, dropped_bytes: 0, loop_start_moved: 0,
  loop_start_dropped: 0, kept_bits: 16, smpl_loop_end: 66149, loop_end_past_last: 0, trk_offset: 8, largest_loop_count: 9737 };

test('the settings a file was queued with', () => {
  assert.equal(settingsText({ output: 'unrolled', loopCount: 3, shortFormat: true, folder: null }),
    'loop unrolled · loop count 3 · short format block (-x) · as a download');
  assert.equal(settingsText({ output: 'kept', loopCount: 3, shortFormat: true, folder: { name: 'out' } }),
    'loop points kept · loop end as RIFF has it · into "out"');
  assert.equal(settingsText({ output: 'marked', loopCount: 3, shortFormat: true, loopEnd: 'godot', folder: null }),
    'loop unrolled and marked · loop count 3 · loop end for Godot · as a download');
  // A FLAC or Ogg file names its format; -x and the loop end are a WAV's.
  const encoded = [
    [{ output: 'kept', format: 'flac', loopEnd: 'godot' }, 'loop points kept · FLAC · as a download'],
    [{ output: 'unrolled', format: 'ogg', loopCount: 2, shortFormat: true },
      'loop unrolled · Ogg Vorbis quality 5 (about 160 kbit/s for stereo at 44.1 kHz) · loop count 2 · as a download'],
    [{ output: 'apart', format: 'ogg', quality: -1 }, 'intro and loop apart · Ogg Vorbis quality -1 (about 45 kbit/s for stereo at 44.1 kHz) · as a download'],
    [{ output: 'apart', format: 'ogg', quality: 11 }, 'intro and loop apart · Ogg Vorbis quality 5 (about 160 kbit/s for stereo at 44.1 kHz) · as a download'],
  ];
  for (const [settings, text] of encoded) assert.equal(settingsText({ folder: null, ...settings }), text);
});

test('a FLAC or Ogg file\'s loop note: the tags of the kinds that mark the loop, and no tags without a loop', () => {
  const rows = [
    ['kept', 'flac', example, 'The loop is in the FLAC file\'s tags: LOOPSTART=22050, LOOPLENGTH=44100 (samples; it ends before frame 66,150).'],
    ['marked', 'ogg', example, 'The loop\'s first pass is in the Ogg Vorbis file\'s tags: LOOPSTART=22050, LOOPLENGTH=44100 (samples; it ends before frame 66,150).'],
    ['kept', 'ogg', { ...example, has_loop: 0 }, 'No loop: the Ogg Vorbis file has no loop tags.'],
    ['unrolled', 'flac', example, null],
    ['kept', 'wav', example, 'The loop is kept in the WAV\'s smpl chunk: frames 22,050 to 66,149, its last.'],
  ];
  for (const [output, format, facts, text] of rows) assert.equal(loopNote({ output, format }, facts, [{}]), text, `${output} ${format}`);
});

test('a converted file: its format, its loop, the loop count and the length for the kind', () => {
  const unrolled = describe(example, 'unrolled');
  assert.equal(unrolled.text, '2 ch · 44,100 Hz · 16 bit · intro 0.500 s · loop 1.000 s · loop count 3');
  assert.equal(unrolled.summary, 'loop from 0.500 s to 1.500 s, heard 3 times');
  const kept = describe({ ...example, loop_count: 1, data_length: 264600 }, 'kept');
  assert.equal(kept.text, '2 ch · 44,100 Hz · 16 bit · intro 0.500 s · loop 1.000 s');
  assert.equal(kept.summary, 'loop from 0.500 s to 1.500 s, kept');
  const noLoop = describe({ ...example, loop_mark: 0, has_loop: 0, loop_start: 0, loop_count: 1, data_length: 264600 },
    'unrolled');
  assert.equal(noLoop.text, '2 ch · 44,100 Hz · 16 bit · no loop information · loop count 1');
  assert.equal(noLoop.hasLoop, false);
  assert.equal(describe({ ...example, trk_mark: 0 }, 'unrolled'), null, 'no track');
  // The WAVs by the names they were given, sizes and lengths as people read them.
  assert.equal(outputText([{ size: 617444 }], [{ name: 'example (2).wav' }], example, 'unrolled'),
    'example (2).wav 617.4 kB · 3.500 s in all');
  assert.equal(outputText([{ size: 4060086316 }], [{ name: 'big.wav' }],
    { ...example, data_length: 4060086272, byte_rate: 179055 }, 'unrolled'), 'big.wav 4,060.1 MB · 6:17:55 in all');
  assert.equal(outputText([{ size: 88244 }, { size: 176444 }], [{ name: 'a - intro.wav' }, { name: 'a - loop.wav' }], example, 'apart'),
    'a - intro.wav 88.2 kB, a - loop.wav 176.4 kB');
});

test('the lengths and a loop list: the settings, the length the output came to, the list\'s loop, its refusal', () => {
  assert.equal(settingsText({ output: 'unrolled', loopCount: 2, target: '180', delay: '2.5', fade: '10', folder: null,
    loops: { name: 'loops.csv' } }), 'loop unrolled · to 180 s · 2.5 s more · fade-out 10 s · loops from "loops.csv" · as a download');
  assert.equal(settingsText({ output: 'marked', loopCount: 2, toEnd: true, loopEnd: 'riff', folder: null }),
    'loop unrolled and marked · loop count 2 · to the end · loop end as RIFF has it · as a download');
  // The length is the shaped sound's, not the loop count's; the loop is the list's, in frames.
  const shaped = { ...example, shaped: 1, output_frames: 551250, loop_chosen: 1, loop_start_frame: 1000, loop_end_frame: 45100 };
  assert.equal(outputText([{ size: 2205044 }], [{ name: 'a.wav' }], shaped, 'unrolled'), 'a.wav 2.2 MB · 12.500 s in all');
  const read = describe(shaped, 'unrolled');
  assert.equal(read.text, '2 ch · 44,100 Hz · 16 bit · intro 0.023 s · loop 1.000 s · loop count 3');
  assert.equal(read.summary, 'loop from 0.023 s to 1.023 s, heard 3 times');
  assert.equal(failureReason(-37, example, 1000, { output: 'unrolled' },
    'setting : loop 2\nrefused : loops.csv line 4: the list says 9 frames, the file has 66150.\nerror-37 : length or loop refused(shape)\n'),
  'Not converted: loops.csv line 4: the list says 9 frames, the file has 66150.');
});

test('a failed run: what was read, and nothing of a WAV', () => {
  // Cut inside the sample data: the track's fields were read, the loop's never.
  const cut = { ...example, loop_mark: 0, loop_start: 0, has_loop: 0, loop_count: 0, byte_rate: 0, data_length: 0 };
  assert.equal(describeRead(cut), 'Read from the file: 2 ch · 44,100 Hz · 16 bit');
  assert.equal(describeRead({ ...example, loop_start: 300000, has_loop: 0, header_result: -32 }),
    'Read from the file: 2 ch · 44,100 Hz · 16 bit · loop start past the data');
  assert.equal(describeRead(example), 'Read from the file: 2 ch · 44,100 Hz · 16 bit · intro 0.500 s · loop 1.000 s');
  assert.equal(describeRead({ trk_mark: 0 }), null, 'nothing read of a track');
  // A file cut inside the track's fields: its mark read, its format not.
  assert.equal(describeRead({ ...example, channels: 0, sample_rate: 0, sample_bits: 0 }, 8 + 4 + 27), null);
  assert.match(describeRead(cut, 8 + 4 + 28), /^Read from the file: 2 ch/);
});

test('every failure of a run leads with a sentence a person understands; -33 with the largest loop count that fits', () => {
  const unrolled = { output: 'unrolled' };
  const cases = [
    [-22, { trk_mark: 0 }, 0, /^The file is empty\.$/],
    [-22, { ...example, channels: 0 }, 30, /ends before its header is complete/],
    [-22, example, 1000, /ends inside its sample data/],
    [-23, { trk_mark: 0 }, 100, /not a \.zq file/],
    [-24, { trk_mark: 0 }, 100, /^The file is damaged: it holds a part \(a chunk\)/],
    [-33, example, 1000, /the largest loop count that fits for this file is 9,737\.$/],
    [-33, { ...example, largest_loop_count: 0 }, 1000, /^The WAV would be larger than 4 GiB, the most a WAV can hold\.$/],
    [-14, example, 1000, /never written over/],
    [-51, example, 1000, /cut short/],
    [-99, example, 1000, /^The conversion failed with result code -99\.$/],
  ];
  for (const [status, facts, fileSize, reason] of cases) {
    const text = failureReason(status, facts, fileSize, unrolled);
    assert.match(text, reason, String(status));
    assert.doesNotMatch(text, /error-|cunk|analyze|wavheader/, 'plain words, not the command line\'s line');
  }
  assert.doesNotMatch(failureReason(-33, example, 1000, { output: 'kept' }), /loop count/, 'a kept loop has no loop count to lower');
});

test('a WAV most readers misread is a warning, with the reason for its kind', () => {
  const slots = { ...example, sample_bits: 24, kept_bits: 32 };
  assert.equal(misreadWarning([{ playable: true }], example, { output: 'unrolled' }), null);
  assert.match(misreadWarning([{ playable: false }], slots, { output: 'unrolled' }), /24 bits per sample in 32-bit slots/);
  assert.match(misreadWarning([{ playable: false }], example, { output: 'unrolled', shortFormat: true }),
    /short format block \(-x\) leaves out the bits per sample/);
  assert.match(playerNote([{ playable: false }], { hasLoop: true }, { output: 'unrolled' }), /misstates its samples' size/);
});

test('sizes, durations, shares and second names', () => {
  assert.deepEqual([0, 1, 999, 1000, 999949, 1e6, 4060086316].map(size),
    ['0 bytes', '1 byte', '999 bytes', '1.0 kB', '999.9 kB', '1.0 MB', '4,060.1 MB']);
  assert.deepEqual([0.0005, 59.9994, 60, 137.4, 3599.6, 22675.737].map(duration),
    ['0.001 s', '59.999 s', '1:00', '2:17', '1:00:00', '6:17:56']);
  assert.deepEqual([[0, 0], [1, 3], [999, 1000], [1000, 1000]].map(([a, b]) => percent(a, b)), ['0 %', '33 %', '99 %', '99 %']);
  assert.deepEqual([['a.wav', 2], ['a - intro.wav', 3], ['bgm/a.b.wav', 2], ['noext', 2], ['.wav', 2]].map(([n, i]) => numbered(n, i)),
    ['a (2).wav', 'a - intro (3).wav', 'bgm/a.b (2).wav', 'noext (2)', '.wav (2)']);
});

test('a row says why it has no player of its own, without contradicting itself', () => {
  const looped = { hasLoop: true };
  const once = { hasLoop: false };
  assert.equal(playerNote([{ playable: true }], looped), '');
  assert.equal(playerNote([{ playable: true }], once), 'No loop to play: the sound is heard once.');
  assert.match(playerNote([{ playable: false }], looped, { output: 'unrolled', shortFormat: true }),
    /^Browsers cannot play the short format block \(-x\): "Play the sound once"/);
  assert.doesNotMatch(playerNote([{ playable: false }], once), /Play loop/);
});

test('a refused write in plain words, by the browser\'s error', () => {
  assert.match(writeFailureText('QuotaExceededError', 'out'), /^The folder "out" has no room for this WAV/);
  assert.match(writeFailureText('NotFoundError', 'out'), /is no longer there/);
  assert.equal(writeFailureText('InvalidStateError', 'out'), 'The WAV could not be written to the folder "out".');
});

test('how a row says its WAVs hold the track where that is not simply the data', () => {
  const odd = { ...example, sample_bits: 24, kept_bits: 24, block_align: 6, frames: 2, dropped_bytes: 4, loop_start: 4,
    loop_start_frame: 0, loop_start_moved: 1, loop_start_dropped: 0 };
  assert.deepEqual(layoutNotes(odd, { output: 'kept' }), [
    'The last 4 bytes of the data, less than a frame, were left out: the WAV holds 2 whole frames.',
    'The container\'s loop start, byte 4 of the data, lies inside frame 0: the loop is kept from that frame\'s start, ' +
      '4 bytes before where the unrolled WAV repeats it.']);
  assert.deepEqual(layoutNotes(odd, { output: 'unrolled' }), [], 'the command line\'s WAV holds the data as it is');
  assert.match(layoutNotes({ ...odd, has_loop: 0, loop_start_dropped: 1 }, { output: 'apart' })[1], /no loop to keep/);
  const slots = { ...example, sample_bits: 24, kept_bits: 32 };
  assert.match(layoutNotes(slots, { output: 'kept' })[0], /^Its 24-bit samples are kept in their 32-bit slots/);
  assert.deepEqual(layoutNotes(slots, { output: 'unrolled' }), [], 'the unrolled WAV\'s header is a warning of its own');
  const six = { ...example, channels: 6, kept_bits: 16 };
  assert.deepEqual(layoutNotes(six, { output: 'kept', loopEnd: 'godot' }),
    ['Godot imports mono and stereo WAVs only: this one has 6 channels.']);
  assert.deepEqual(layoutNotes(six, { output: 'kept', loopEnd: 'riff' }), []);
});
