// What a row says, as text: the settings a file was queued with, the track's
// facts as the converter's run found them, and the failures of the browser
// in plain words. Every fact is the run's (app/track_facts.h).
import { formatName, formatOf, kindOf, loopEndOf } from '../shared/kinds.js';
import { count, duration, size } from '../shared/text.js';

// What the row says of the settings it was queued with.
export function settingsText(settings) {
  const kind = kindOf(settings.output);
  const wav = formatOf(settings.format).id === 'wav';
  const parts = wav ? [kind.name] : [kind.name, formatName(settings)];
  if (kind.unrolls && !settings.target) parts.push(`loop count ${settings.loopCount}`);
  if (kind.unrolls && settings.target) parts.push(`to ${settings.target} s`);
  if (kind.unrolls && settings.delay) parts.push(`${settings.delay} s more`);
  if (kind.unrolls && settings.fade) parts.push(`fade-out ${settings.fade} s`);
  if (kind.unrolls && settings.toEnd) parts.push('to the end');
  if (settings.loops) parts.push(`loops from "${settings.loops.name}"`);
  if (kind.shortFormat && settings.shortFormat && wav) parts.push('short format block (-x)');
  if (kind.smpl && wav) parts.push(loopEndOf(settings.loopEnd).name);
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
    const [from, to] = facts.loop_chosen ? [facts.loop_start_frame / facts.sample_rate, facts.loop_end_frame / facts.sample_rate]
      : [facts.loop_start / rate, facts.data_bytes / rate];
    summary = `loop from ${duration(from)} to ${duration(to)}, ` + (kind.unrolls
      ? `heard ${count(facts.loop_count)} time${facts.loop_count === 1 ? '' : 's'}` : 'kept');
  }
  if (kind.unrolls && facts.loop_count > 0) parts.push(`loop count ${count(facts.loop_count)}`);
  return { text: parts.join(' · '), summary, hasLoop };
}

// Whether the reader got as far as the track's format: the file holds the
// track chunk's fields up to its sample size (28 bytes after its tag).
const TRACK_FIELDS_END = 4 + 28;
const formatRead = (facts, fileSize) => !!facts && !!facts.trk_mark && fileSize >= facts.trk_offset + TRACK_FIELDS_END;

// What the reader found of a file whose run failed: the format, and the
// loop where its chunk was read; nothing for a header cut short before the
// format. Nothing of a WAV: none was made.
export function describeRead(facts, fileSize = Infinity) {
  if (!formatRead(facts, fileSize)) return null;
  const parts = format(facts);
  if (facts.loop_mark && facts.loop_start > facts.data_bytes) parts.push('loop start past the data');
  else if (facts.has_loop && facts.byte_rate > 0) parts.push(...loopParts(facts));
  return 'Read from the file: ' + parts.join(' · ');
}

const format = (facts) => [`${facts.channels} ch`, `${count(facts.sample_rate)} Hz`, `${facts.sample_bits} bit`];
// A loop list's loop is in frames, and may end before the data.
const loopParts = (facts) => (facts.loop_chosen
  ? [`intro ${duration(facts.loop_start_frame / facts.sample_rate)}`,
    `loop ${duration((facts.loop_end_frame - facts.loop_start_frame) / facts.sample_rate)}`]
  : [`intro ${duration(facts.loop_start / facts.byte_rate)}`,
    `loop ${duration((facts.data_bytes - facts.loop_start) / facts.byte_rate)}`]);

// The WAVs a run made, by the names they were given, with their sizes, and
// the length of an unrolled one. The exact byte count is in the title.
export function outputText(wavs, sources, facts, output) {
  const unrolls = kindOf(output).unrolls;
  const length = unrolls && facts.shaped && facts.sample_rate ? ` · ${duration(facts.output_frames / facts.sample_rate)} in all`
    : unrolls && facts.byte_rate && facts.header_result === 0 ? ` · ${duration(facts.data_length / facts.byte_rate)} in all` : '';
  return wavs.map((wav, i) => `${sources[i].name} ${size(wav.size)}`).join(', ') + length;
}

// Why a row has no player of its own WAV, or which player stands in for it.
export function playerNote(wavs, shown, settings = {}) {
  const parts = [];
  if (wavs.some((wav) => !wav.playable)) {
    parts.push((shortFormatUsed(settings) ? 'Browsers cannot play the short format block (-x)'
      : 'Browsers cannot play a WAV whose header misstates its samples\' size') +
      ': "Play the sound once" plays the same samples under a standard header.');
  }
  if (!shown.hasLoop) parts.push('No loop to play: the sound is heard once.');
  return parts.join(' ');
}

const shortFormatUsed = (settings) => kindOf(settings.output).shortFormat && !!settings.shortFormat;

// The warning of a converted row whose WAV most readers misread, or null.
export function misreadWarning(wavs, facts, settings) {
  if (!wavs.some((wav) => !wav.playable)) return null;
  if (shortFormatUsed(settings)) {
    return 'Most programs cannot read this WAV: the short format block (-x) leaves out the bits per sample. ' +
      'libsndfile, sox, ffmpeg and Python\'s wave refuse it; convert without -x unless a program needs it.';
  }
  return `Most programs misread this WAV: its header gives ${facts.sample_bits} bits per sample in ` +
    `${facts.kept_bits}-bit slots, as the command line writes it, and libsndfile, ffmpeg, sox, Python's wave and Godot ` +
    'read a third more frames of the wrong sound. "Loop points kept" or "Intro and loop apart" make a WAV they read.';
}

// The command line's error lines, by result code, in plain words: what is
// wrong with the file, or what to change. `facts` are the run's, for the
// loop count that fits; `fileSize` the file's bytes.
const REASONS = {
  '-3': () => 'The converter ran out of memory for the file\'s name.',
  '-11': () => 'The file could not be opened: it was moved, deleted or cannot be read.',
  '-12': () => 'The WAV could not be created.',
  '-13': () => 'The WAV would have the name of the file itself, which is never written over.',
  '-14': () => 'A .zq file already has the WAV\'s name in the output folder: it is never written over. ' +
    'Move or rename it, or choose another output folder.',
  '-22': (facts, fileSize) => (fileSize === 0 ? 'The file is empty.'
    : formatRead(facts, fileSize) ? 'The file is cut short: it ends inside its sample data or the chunk after it.'
      : 'The file is cut short: it ends before its header is complete.'),
  '-23': () => 'This is not a .zq file: it does not begin with the container\'s mark "fZQ ".',
  '-24': () => 'The file is damaged: it holds a part (a chunk) that a .zq file does not have.',
  '-31': () => 'The WAV\'s header could not be written.',
  '-32': () => 'The file is damaged: its loop starts past the end of its sound. Convert it with loop count 1.',
  '-33': (facts, fileSize, settings) => {
    const largest = facts && facts.largest_loop_count;
    if (!kindOf(settings.output).unrolls || !largest) return 'The WAV would be larger than 4 GiB, the most a WAV can hold.';
    return `The WAV would be larger than 4 GiB, the most a WAV can hold: the largest loop count that fits for this file is ` +
      `${count(largest)}.`;
  },
  '-35': (facts, fileSize, settings) => {
    const format = formatOf(settings.format);
    if (format.refusal) return `${format.refusal} Choose WAV.`;
    const why = format.id === 'flac' ? (facts.channels > 8 ? 'it holds at most 8 channels' : 'it holds sample rates up to 1,048,575 Hz')
      : 'its encoder has no setting for this sample rate and channel count';
    return `This file's sound cannot be written as ${format.name}: ${why}. Choose WAV or the other format.`;
  },
  '-36': (facts, fileSize, settings) => `The ${formatOf(settings.format).name} encoder failed on this file.`,
  '-37': (facts, fileSize, settings, printed) => {
    const why = /^refused : (.*)\.$/m.exec(printed || '');
    return why ? `Not converted: ${why[1]}.` : 'Not converted: its lengths or its loop list line were refused.';
  },
  '-34': () => 'The file is damaged: its frames have no size (a block align of 0), so its loop cannot be kept in frames.',
  '-41': () => 'The converter ran out of memory for the copy buffer.',
  '-42': () => 'The file is cut short: its sample data cannot be reached.',
  '-43': () => 'The file is cut short: its loop cannot be reached.',
  '-51': () => 'The file is cut short: it ends inside its sample data.',
  '-52': () => 'The WAV could not be written.',
  '-53': () => 'The WAV could not be written to the end.',
};

export function failureReason(status, facts, fileSize, settings, printed = '') {
  const reason = REASONS[String(status)];
  return reason ? reason(facts, fileSize, settings, printed) : `The conversion failed with result code ${status}.`;
}

export const NO_TRACK = 'This .zq file holds no track: there is no sound in it, so no WAV was made.';

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
  if (kind.keeps && facts.kept_bits !== facts.sample_bits) {
    notes.push(`Its ${facts.sample_bits}-bit samples are kept in their ${facts.kept_bits}-bit slots: the WAV says ` +
      `${facts.kept_bits} bits per sample, so that every reader counts its frames right.`);
  }
  if (kind.smpl && loopEndOf(settings.loopEnd).id === 'godot' && facts.channels > 2) {
    notes.push(`Godot imports mono and stereo WAVs only: this one has ${count(facts.channels)} channels.`);
  }
  return notes;
}
