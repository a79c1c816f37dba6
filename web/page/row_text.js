// What a row says, as text: the settings a file was queued with, the track's
// facts as the converter's run found them, and the failures of the browser
// in plain words. Every fact is the run's (web/core/track_facts.h).
import { kindOf } from '../shared/kinds.js';
import { count, duration, size } from '../shared/text.js';

// What the row says of the settings it was queued with.
export function settingsText(settings) {
  const kind = kindOf(settings.output);
  const parts = [kind.name];
  if (kind.unrolls) parts.push(`loop count ${settings.loopCount}`);
  if (kind.unrolls && settings.shortFormat) parts.push('short format block (-x)');
  parts.push(settings.folder ? `into "${settings.folder.name}"` : 'as a download');
  return parts.join(' · ');
}

// The track's facts from a run that made its WAVs: the reader's record, the
// loop count it converted with, the header's values for that count. A loop
// kept rather than unrolled is heard once in each WAV. Null without a track.
// { text, summary (what the waveform shows, for screen readers), hasLoop }.
export function describe(facts, output) {
  if (!facts || !facts.trk_mark) return null;
  const kind = kindOf(output);
  const rate = facts.byte_rate;
  const hasLoop = facts.has_loop === 1 && rate > 0;
  const parts = format(facts);
  let summary = 'no loop information: the sound is heard once';
  if (!facts.loop_mark) parts.push('no loop information');
  else if (facts.loop_start > facts.data_bytes) parts.push('loop start past the data');
  else if (!facts.has_loop) parts.push('no loop section');
  if (hasLoop) {
    parts.push(...loopParts(facts));
    summary = `loop from ${duration(facts.loop_start / rate)} to ${duration(facts.data_bytes / rate)}, ` + (kind.unrolls
      ? `heard ${count(facts.loop_count)} time${facts.loop_count === 1 ? '' : 's'}` : 'kept');
  }
  if (kind.unrolls && facts.loop_count > 0) parts.push(`loop count ${count(facts.loop_count)}`);
  return { text: parts.join(' · '), summary, hasLoop };
}

// What the reader found of a file whose run failed: the format, and the
// loop where its chunk was read. Nothing of a WAV: none was made.
export function describeRead(facts) {
  if (!facts || !facts.trk_mark) return null;
  const parts = format(facts);
  if (facts.loop_mark && facts.loop_start > facts.data_bytes) parts.push('loop start past the data');
  else if (facts.has_loop && facts.byte_rate > 0) parts.push(...loopParts(facts));
  return 'Read from the file: ' + parts.join(' · ');
}

const format = (facts) => [`${facts.channels} ch`, `${count(facts.sample_rate)} Hz`, `${facts.sample_bits} bit`];
const loopParts = (facts) => [`intro ${duration(facts.loop_start / facts.byte_rate)}`,
  `loop ${duration((facts.data_bytes - facts.loop_start) / facts.byte_rate)}`];

// The WAVs a run made, by the names they were given, with their sizes, and
// the length of an unrolled one. The exact byte count is in the title.
export function outputText(wavs, sources, facts, output) {
  const length = kindOf(output).unrolls && facts.byte_rate && facts.header_result === 0
    ? ` · ${duration(facts.data_length / facts.byte_rate)} in all` : '';
  return wavs.map((wav, i) => `${sources[i].name} ${size(wav.size)}`).join(', ') + length;
}

// Why a row has no player of its own WAV, or which player stands in for it.
export function playerNote(wavs, shown) {
  const parts = [];
  if (wavs.some((wav) => !wav.playable)) {
    parts.push('Browsers cannot play the short format block (-x): "Play the sound once" plays the same samples under a standard header.');
  }
  if (!shown.hasLoop) parts.push('No loop to play: the sound is heard once.');
  return parts.join(' ');
}

export const STATUS = {
  waiting: 'waiting', converting: 'converting', converted: 'converted', warned: 'warning',
  empty: 'no track', failed: 'failed', stopped: 'stopped',
};

// A failure of the browser rather than of the run, by protocol.js's names,
// in plain words; the browser's own go to the row's messages.
export const FAILURES = {
  start: 'The converter could not be started in this browser.',
  memory: 'This file is too large for the memory of this browser. Convert it with the kelvor command line.',
  unreadable: 'This file could not be read: it was moved, changed or deleted since it was chosen, ' +
    'or it is too large for the memory of this browser.',
  write: 'The WAV could not be written to the output folder.',
  internal: 'The conversion stopped unexpectedly.',
  lost: 'The converter stopped answering before this file was done.',
};

// Why the output folder refused a WAV, by the browser's error name.
export function writeFailureText(name, folderName) {
  if (name === 'QuotaExceededError') return `The folder "${folderName}" has no room for this WAV: the disk, or the browser's share of it, is full.`;
  if (name === 'NotFoundError') return `The folder "${folderName}" is no longer there: it was moved or deleted.`;
  if (name === 'NotAllowedError') return `The browser no longer lets this page write into "${folderName}". Choose the output folder again.`;
  return `The WAV could not be written to the folder "${folderName}".`;
}
