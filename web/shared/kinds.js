// The output kinds as the page shows them. What each kind is, takes and
// writes is the converter's table (web/shared/core_kinds.js, from
// wave/output_kinds.h); this file adds only the page's own words.
//
//   from the converter's table:
//   code        the run's kind
//   name        how rows and the loop list name it
//   unrolls     the loop count applies, and the loop is heard that many
//               times; otherwise each WAV holds the sound once (-l1)
//   shortFormat -x applies
//   smpl        its WAVs mark the loop in a smpl chunk, whose loop end
//               follows the convention chosen (LOOP_ENDS)
//   keeps       its WAVs are stretches of the data in whole frames under a
//               header that gives a sample's slot as its bits
//   the page's words, by the table's id:
//   id          the option's value, remembered between visits
//   label       the option's text
//   help        what it makes, beside the choice
//   note        what a converted row says of its WAVs, or null
import { CORE_FORMATS, CORE_KINDS } from './core_kinds.js';
import { count } from './text.js';

const WORDS = {
  unrolled: {
    label: 'Loop unrolled',
    help: 'One WAV: the sound, then the loop section until it has been heard the loop count\'s times. Any player hears the loop.',
    note: () => null,
  },
  kept: {
    label: 'Loop points kept',
    help: 'One WAV: the sound once, its loop points in a smpl chunk, for engines and samplers that loop by themselves.',
    note: (facts) => (facts.has_loop
      ? `The loop is kept in the WAV's smpl chunk: ${smplLoop(facts)}.`
      : 'No loop to keep: the WAV has no smpl chunk.'),
  },
  apart: {
    label: 'Intro and loop apart',
    help: 'Two WAVs, NAME - intro.wav and NAME - loop.wav, for editors that read no loop points.',
    note: (facts, wavs) => (!facts.has_loop ? 'No loop to keep: one WAV, the sound once.'
      : wavs.length === 1 ? 'The loop starts at the beginning: there is no intro.' : null),
  },
  marked: {
    label: 'Loop unrolled, loop points marked',
    help: 'One WAV: the loop unrolled as the command line writes it, its first pass marked in a smpl chunk: any player ' +
      'hears the loop the loop count\'s times, an engine finds where it is.',
    note: (facts) => (facts.has_loop
      ? `The loop's first pass is marked in the WAV's smpl chunk: ${smplLoop(facts)}.`
      : 'No loop to mark: the WAV has no smpl chunk.'),
  },
};

export const KINDS = CORE_KINDS.map((row) => {
  const words = WORDS[row.id];
  if (!words) throw new Error(`the converter has a kind "${row.id}" that the page has no words for`);
  return { id: row.id, code: row.code, name: row.name, unrolls: row.loop_count, shortFormat: row.short_format,
    smpl: row.loop_end, keeps: row.whole_frames, ...words };
});

// Where a smpl chunk's loop ends (LoopEnd in wave/kept_loop.h): the
// programs that read it each way, the first the default.
export const LOOP_ENDS = [
  {
    id: 'riff', code: 0, label: 'Samplers, FMOD, Unreal, Wwise, libsndfile', name: 'loop end as RIFF has it',
    help: 'the loop ends at its last frame, as the RIFF standard has it',
  },
  {
    id: 'godot', code: 1, label: 'Godot', name: 'loop end for Godot',
    help: 'the loop ends one frame past its last, which Godot plays exactly (it imports mono and stereo only)',
  },
];

const smplLoop = (facts) => (facts.loop_end_past_last
  ? `from frame ${count(facts.loop_start_frame)}, its end ${count(facts.smpl_loop_end)}, one past its last frame, as Godot reads it`
  : `frames ${count(facts.loop_start_frame)} to ${count(facts.smpl_loop_end)}, its last`);

export const DEFAULT_KIND = KINDS[0].id;

// The formats, from the converter's table (code, id, name, extension, and
// `refusal`: why this build cannot encode it, or null), with the page's
// words. The loop of a FLAC or Ogg file is in its LOOPSTART and LOOPLENGTH
// tags (samples, the end exclusive), which the engines that loop such files
// read alike.
const FORMAT_WORDS = {
  wav: { label: 'WAV', help: 'uncompressed, what every engine and editor reads; past 4 GiB it is written as RF64' },
  flac: { label: 'FLAC', help: 'lossless: it decodes to exactly the WAV\'s samples, in about half the room; ' +
    'a loop kept or marked goes in its LOOPSTART and LOOPLENGTH tags' },
  ogg: { label: 'Ogg Vorbis', help: 'lossy and small, what most engines ship music in; ' +
    'a loop kept or marked goes in its LOOPSTART and LOOPLENGTH tags' },
};
export const FORMATS = CORE_FORMATS.map((row) => {
  const words = FORMAT_WORDS[row.id];
  if (!words) throw new Error(`the converter has a format "${row.id}" that the page has no words for`);
  return { ...row, ...words };
});
export const formatOf = (id) => FORMATS.find((format) => format.id === id) || FORMATS[0];

// Ogg Vorbis's quality, as oggenc's -q takes it, with the nominal bit rate
// of each step for stereo at 44.1 kHz (libvorbis's own table).
export const VORBIS_QUALITIES = [[-1, 45], [0, 64], [1, 80], [2, 96], [3, 112], [4, 128], [5, 160], [6, 192], [7, 224],
  [8, 256], [9, 320], [10, 500]].map(([quality, kbits]) => ({ quality, kbits }));
export const DEFAULT_QUALITY = 5;
const qualityOf = (settings) => VORBIS_QUALITIES.find((q) => q.quality === Number(settings.quality))
  || VORBIS_QUALITIES.find((q) => q.quality === DEFAULT_QUALITY);
// The quality in tenths, as the converter takes it.
export const qualityTenths = (settings) => qualityOf(settings).quality * 10;
// How a row names the format of its settings.
export function formatName(settings) {
  const format = formatOf(settings.format);
  if (format.id !== 'ogg') return format.name;
  const q = qualityOf(settings);
  return `${format.name} quality ${q.quality} (about ${q.kbits} kbit/s for stereo at 44.1 kHz)`;
}

// What a converted row says of its files' loop: the kind's own note for a
// WAV; for FLAC and Ogg, the loop tags of the kinds that mark the loop.
export function loopNote(settings, facts, wavs) {
  const kind = kindOf(settings.output);
  const format = formatOf(settings.format);
  if (format.id === 'wav') return kind.note(facts, wavs);
  if (!kind.smpl) return kind.id === 'apart' ? kind.note(facts, wavs) : null;
  if (!facts.has_loop) return `No loop: the ${format.name} file has no loop tags.`;
  const length = facts.loop_end_frame - facts.loop_start_frame;
  return `The loop${kind.unrolls ? '\'s first pass' : ''} is in the ${format.name} file's tags: ` +
    `LOOPSTART=${facts.loop_start_frame}, LOOPLENGTH=${length} (samples; it ends before frame ${count(facts.loop_end_frame)}).`;
}

// The kind of an id; an id no kind has (an old visit's choice) is the default's.
export function kindOf(id) {
  return KINDS.find((kind) => kind.id === id) || KINDS[0];
}

// The loop end of an id, likewise.
export function loopEndOf(id) {
  return LOOP_ENDS.find((end) => end.id === id) || LOOP_ENDS[0];
}

// The command line of one file, as a user would type it, for the settings
// it was queued with ({ output, loopCount, shortFormat }): the loop count and
// -x only for the kinds that take them. A name that starts with "-" would be
// taken for an option, so it is given as "./name".
export function commandLine(name, settings) {
  const kind = kindOf(settings.output);
  const args = [name.startsWith('-') ? './' + name : name, '-l' + (kind.unrolls ? settings.loopCount : 1)];
  if (kind.shortFormat && settings.shortFormat) args.push('-x');
  return args;
}

// The listening lengths of the settings, as the batch command's options
// (app/batch_options.h) that the converter takes for them: only for the
// kinds that unroll the loop. `fade`, `delay` and `target` are the seconds
// as typed ('' for none), `toEnd` the real ending.
export function lengthArgs(settings) {
  if (!kindOf(settings.output).unrolls) return [];
  const args = [];
  if (settings.fade) args.push(`--fade=${settings.fade}`);
  if (settings.delay) args.push(`--fade-delay=${settings.delay}`);
  if (settings.target) args.push(`--target=${settings.target}`);
  if (settings.toEnd) args.push('--to-end');
  return args;
}

// The loop end's code for a run of the settings: only a kind with a smpl
// chunk takes one (the converter refuses it for the others).
export function loopEndCode(settings) {
  return kindOf(settings.output).smpl ? loopEndOf(settings.loopEnd).code : LOOP_ENDS[0].code;
}
