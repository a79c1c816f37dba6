// The output kinds, one entry each: everything the page and the worker know
// of a kind. `code` is the run's kind (OutputKind in app/kelvor_main.h),
// whose writer and plan are in wave/. A new kind is one entry here and its
// writer there.
//
//   id        the option's value, remembered between visits
//   label     the option's text; name: how rows and the loop list name it
//   help      what it makes, beside the choice
//   unrolls   true: the loop count and -x apply, and the loop is heard that
//             many times; false: each WAV holds the sound once (-l1)
//   note      what a converted row says of its WAVs, or null
import { count } from './text.js';

export const KINDS = [
  {
    id: 'unrolled', code: 0, label: 'Loop unrolled', name: 'loop unrolled', unrolls: true,
    help: 'One WAV: the sound, then the loop section until it has been heard the loop count\'s times. Any player hears the loop.',
    note: () => null,
  },
  {
    id: 'kept', code: 1, label: 'Loop points kept', name: 'loop points kept', unrolls: false,
    help: 'One WAV: the sound once, its loop points in a smpl chunk, for engines and samplers that loop by themselves.',
    note: (facts) => (facts.has_loop
      ? `The loop is kept in the WAV's smpl chunk: frames ${count(facts.loop_start_frame)} to ${count(facts.loop_end_frame - 1)}.`
      : 'No loop to keep: the WAV has no smpl chunk.'),
  },
  {
    id: 'apart', code: 2, label: 'Intro and loop apart', name: 'intro and loop apart', unrolls: false,
    help: 'Two WAVs, NAME - intro.wav and NAME - loop.wav, for editors that read no loop points.',
    note: (facts, wavs) => (!facts.has_loop ? 'No loop to keep: one WAV, the sound once.'
      : wavs.length === 1 ? 'The loop starts at the beginning: there is no intro.' : null),
  },
];

export const DEFAULT_KIND = KINDS[0].id;

// The kind of an id; an id no kind has (an old visit's choice) is the default's.
export function kindOf(id) {
  return KINDS.find((kind) => kind.id === id) || KINDS[0];
}

// The command line of one file, as a user would type it, for the settings
// it was queued with ({ output, loopCount, shortFormat }). A name that starts
// with "-" would be taken for an option, so it is given as "./name".
export function commandLine(name, settings) {
  const kind = kindOf(settings.output);
  const args = [name.startsWith('-') ? './' + name : name, '-l' + (kind.unrolls ? settings.loopCount : 1)];
  if (kind.unrolls && settings.shortFormat) args.push('-x');
  return args;
}
