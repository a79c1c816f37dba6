// What a row says, as text: the settings a file was queued with, the track's
// facts as the converter's run found them, and the failures of the browser
// in plain words. Every fact is the run's (web/core/track_facts.h).
import { kindOf, loopEndOf } from '../shared/kinds.js';
import { count, duration, size } from '../shared/text.js';

// What the row says of the settings it was queued with.
export function settingsText(settings) {
  const kind = kindOf(settings.output);
  const parts = [kind.name];
  if (kind.unrolls) parts.push(`loop count ${settings.loopCount}`);
  if (kind.shortFormat && settings.shortFormat) parts.push('short format block (-x)');
  if (kind.smpl) parts.push(loopEndOf(settings.loopEnd).name);
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

const bytes = (n) => `${count(n)} byte${n === 1 ? '' : 's'}`;

// What a converted row says of how its WAVs hold the track, where that is
// not simply the data: a partial frame left out, a loop start moved to a
// frame, samples kept in wider slots, a header that common readers misread,
// a layout the chosen engine cannot import. One sentence each.
export function layoutNotes(facts, settings) {
  const kind = kindOf(settings.output);
  const notes = [];
  if (kind.keeps && facts.dropped_bytes > 0) {
    notes.push(`The last ${bytes(facts.dropped_bytes)} of the data, less than a frame, were left out: the WAV holds ` +
      `${count(facts.frames)} whole frames.`);
  }
  if ((kind.keeps || kind.smpl) && facts.loop_start_dropped) {
    notes.push('The container\'s loop starts inside that partial frame at the end, which a WAV of whole frames ' +
      'leaves out: there is no loop to keep.');
  } else if ((kind.keeps || kind.smpl) && facts.has_loop && facts.loop_start_moved) {
    notes.push(`The container's loop start, byte ${count(facts.loop_start)} of the data, lies inside frame ` +
      `${count(facts.loop_start_frame)}: the loop is kept from that frame's start, ` +
      `${bytes(facts.loop_start % facts.block_align)} before where the unrolled WAV repeats it.`);
  }
  if (facts.kept_bits !== facts.sample_bits) {
    notes.push(kind.keeps
      ? `Its ${facts.sample_bits}-bit samples are kept in their ${facts.kept_bits}-bit slots: the WAV says ` +
        `${facts.kept_bits} bits per sample, so that every reader counts its frames right.`
      : `This WAV's header gives ${facts.sample_bits} bits per sample in ${facts.kept_bits}-bit slots, as the command ` +
        'line writes it: libsndfile, ffmpeg, sox, Python\'s wave and Godot misread it. "Loop points kept" or "Intro and loop apart" ' +
        'make a WAV they read.');
  }
  if (kind.smpl && loopEndOf(settings.loopEnd).id === 'godot' && facts.channels > 2) {
    notes.push(`Godot imports mono and stereo WAVs only: this one has ${count(facts.channels)} channels.`);
  }
  return notes;
}
