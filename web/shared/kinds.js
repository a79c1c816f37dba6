// The output kinds, one entry each: everything the page and the worker know
// of a kind. `code` is the run's kind (OutputKind in app/kelvor_main.h),
// whose writer and plan are in wave/. A new kind is one entry here and its
// writer there.
//
//   id          the option's value, remembered between visits
//   label       the option's text; name: how rows and the loop list name it
//   help        what it makes, beside the choice
//   unrolls     true: the loop count applies, and the loop is heard that
//               many times; false: each WAV holds the sound once (-l1)
//   shortFormat true: -x applies
//   smpl        true: its WAVs mark the loop in a smpl chunk, whose loop end
//               follows the convention chosen (LOOP_ENDS)
//   keeps       true: its WAVs are stretches of the data in whole frames
//               under a header that gives a sample's slot as its bits
//   roles       what each of a run's WAVs holds: 'whole', 'intro', 'loop' or
//               'unrolled'
//   note        what a converted row says of its WAVs, or null
import { count } from './text.js';

export const KINDS = [
  {
    id: 'unrolled', code: 0, label: 'Loop unrolled', name: 'loop unrolled', unrolls: true, shortFormat: true,
    smpl: false, keeps: false,
    help: 'One WAV: the sound, then the loop section until it has been heard the loop count\'s times. Any player hears the loop.',
    roles: (facts, wavs) => wavs.map(() => 'unrolled'),
    note: () => null,
  },
  {
    id: 'kept', code: 1, label: 'Loop points kept', name: 'loop points kept', unrolls: false, shortFormat: false,
    smpl: true, keeps: true,
    help: 'One WAV: the sound once, its loop points in a smpl chunk, for engines and samplers that loop by themselves.',
    roles: (facts, wavs) => wavs.map(() => 'whole'),
    note: (facts) => (facts.has_loop
      ? `The loop is kept in the WAV's smpl chunk: ${smplLoop(facts)}.`
      : 'No loop to keep: the WAV has no smpl chunk.'),
  },
  {
    id: 'apart', code: 2, label: 'Intro and loop apart', name: 'intro and loop apart', unrolls: false, shortFormat: false,
    smpl: false, keeps: true,
    help: 'Two WAVs, NAME - intro.wav and NAME - loop.wav, for editors that read no loop points.',
    roles: (facts, wavs) => (!facts.has_loop ? ['whole'] : wavs.length === 1 ? ['loop'] : ['intro', 'loop']),
    note: (facts, wavs) => (!facts.has_loop ? 'No loop to keep: one WAV, the sound once.'
      : wavs.length === 1 ? 'The loop starts at the beginning: there is no intro.' : null),
  },
  {
    id: 'marked', code: 3, label: 'Loop unrolled, loop points marked', name: 'loop unrolled and marked', unrolls: true,
    shortFormat: false, smpl: true, keeps: false,
    help: 'One WAV: the loop unrolled as the command line writes it, its first pass marked in a smpl chunk: any player ' +
      'hears the loop the loop count\'s times, an engine finds where it is.',
    roles: (facts, wavs) => wavs.map(() => 'unrolled'),
    note: (facts) => (facts.has_loop
      ? `The loop's first pass is marked in the WAV's smpl chunk: ${smplLoop(facts)}.`
      : 'No loop to mark: the WAV has no smpl chunk.'),
  },
];

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

// The kind of an id; an id no kind has (an old visit's choice) is the default's.
export function kindOf(id) {
  return KINDS.find((kind) => kind.id === id) || KINDS[0];
}

// The loop end of an id, likewise.
export function loopEndOf(id) {
  return LOOP_ENDS.find((end) => end.id === id) || LOOP_ENDS[0];
}

// The command line of one file, as a user would type it, for the settings
// it was queued with ({ output, loopCount, shortFormat }). A name that starts
// with "-" would be taken for an option, so it is given as "./name".
export function commandLine(name, settings) {
  const kind = kindOf(settings.output);
  const args = [name.startsWith('-') ? './' + name : name, '-l' + (kind.unrolls ? settings.loopCount : 1)];
  if (kind.shortFormat && settings.shortFormat) args.push('-x');
  return args;
}
