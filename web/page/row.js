// One row of the results: everything shown for one file. Its name, then its
// status as a badge (waiting, converting, converted, warning, no track,
// failed, stopped), the settings it was queued with; once done, the track's
// facts as the converter's run found them, the waveform, a player that works
// for it (or why there is none), the download or where it was written, and
// the command line's messages one click away. Its words are row_text.js's.
import { kindOf } from '../shared/kinds.js';
import { count, percent } from '../shared/text.js';
import { loopSound, adopt, loopToggle, stopAll } from './players.js';
import { FAILURES, STATUS, describe, describeRead, layoutNotes, outputText, playerNote, settingsText,
  writeFailureText } from './row_text.js';
import { createWaveform } from './waveform.js';

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// `onSaved()` is called when one of the row's WAVs is downloaded.
export function createRow(path, settings, { onSaved = () => {} } = {}) {
  const li = element('li', 'result waiting');
  const line = element('p', 'line');
  const status = element('span', 'status', STATUS.waiting);
  line.append(element('span', 'name', path), ' ', status);
  li.append(line, element('p', 'queued', settingsText(settings)));
  li.dataset.state = 'waiting';
  const sounds = [];
  const addresses = [];  // of the sound once, made here, let go with the row
  // The waveform: its peaks come after the reply, and may come before the
  // reply is shown; until then the row shows its text alternative.
  let peaks;  // undefined until they come; null when none can be drawn
  let wave = null;  // { spot, loop, summary }: where the waveform goes, once shown

  function setStatus(kind, text) {
    li.className = 'result ' + kind;
    li.dataset.state = kind;
    status.textContent = text || STATUS[kind];
  }

  // The command line's messages and result code (or the browser's own words
  // for a failure of the browser), one click away: a failed row shows the
  // line that matters. The toggle names its file for a screen reader's list
  // of them.
  function messages(printed, code) {
    const box = element('details', 'messages-box');
    const summary = element('summary', null, 'Messages');
    summary.append(element('span', 'visually-hidden', ` of ${path}`));
    box.append(summary, element('pre', 'messages', printed), element('p', 'code', code));
    li.append(box);
  }

  // A sentence of its own under the row's line.
  const say = (className, text) => li.append(element('p', className, text));

  // The players that work for these WAVs, and why the others are missing.
  // `once` is the sound heard once under a plain header, which "Play loop"
  // loops and which stands in for WAVs a browser cannot play.
  function players(actions, wavs, facts, shown, sources, once) {
    wavs.forEach((wav, i) => {
      if (wav.playable) actions.append(player(sources[i].name, sources[i].url), ' ');
    });
    if (wavs.some((wav) => !wav.playable)) {
      const url = async () => {
        addresses.push(URL.createObjectURL(once));
        return addresses.at(-1);
      };
      actions.append(player('once', url, 'Play the sound once'), ' ');
    }
    const note = playerNote(wavs, shown);
    if (note) actions.append(element('span', 'note', note), ' ');
    if (!shown.hasLoop) return;
    const button = element('button', 'play-loop');
    button.type = 'button';
    // The conversion stands; a sound that cannot start says so beside its button.
    const problem = element('span', 'note sound-problem');
    sounds.push(loopToggle(button, sources[0].name, () => loopSound(facts, once), (error) => {
      problem.textContent = `"Play loop" could not start: ${error && error.message ? error.message : error}`;
    }));
    actions.append(button, ' ', problem, ' ');
  }

  // "Play NAME", which becomes the WAV's player when pressed; `url()` is a
  // promise of its address.
  function player(name, url, label = 'Play ' + name) {
    const play = element('button', 'play', label);
    play.type = 'button';
    play.addEventListener('click', async () => {
      let address;
      try {
        address = await url();
      } catch (error) {
        play.replaceWith(element('span', 'note', `${name} cannot be played: ${error && error.message ? error.message : error}`));
        return;
      }
      const audio = element('audio');
      audio.controls = true;
      audio.src = address;
      audio.setAttribute('aria-label', 'Player of ' + name);
      sounds.push(adopt(audio));
      play.replaceWith(audio);
      audio.focus();
      audio.play().catch(() => {});  // a browser may refuse to start it; its controls remain
    }, { once: true });
    return play;
  }

  // The waveform in place of its text, once both the row and its peaks are here.
  function drawWave() {
    if (!wave || !peaks) return;
    wave.spot.replaceWith(createWaveform(peaks, wave.loop, wave.summary));
    wave = null;
  }

  // A failed run: what was read, and that there is no WAV to play, size
  // or download.
  function failedRun(text, facts, printed, code, sentence) {
    setStatus('failed');
    say('problem-text', text);
    const read = describeRead(facts);
    if (read) line.append(' ', element('span', 'facts', read));
    say('no-output', sentence);
    messages(printed, code);
    return 'failed';
  }

  // A failure of the browser's: plain words on the row, the browser's own in
  // its messages.
  function failed(text, detail) {
    setStatus('failed');
    say('problem-text', text);
    if (detail) messages(`The browser said: ${detail}\n`, 'No result code: the converter did not finish.');
    return 'failed';
  }

  // Fills the row from the worker's reply (protocol.js's `done`, `failed` or
  // `stopped`). `sources` gives each WAV: { name (as written or in the
  // zip), url() (a promise of its address), written (where in the output
  // folder) }. Returns the row's outcome: 'converted', 'warned', 'empty',
  // 'failed' or 'stopped'.
  function show(reply, sources) {
    if (reply.type === 'stopped') return stopped('Stopped while it was converting: nothing of it was kept.');
    if (reply.type === 'failed') {
      li.dataset.code = reply.failure;
      return failed(FAILURES[reply.failure], reply.detail);
    }
    li.dataset.code = String(reply.status);
    const printed = new TextDecoder().decode(reply.printed);
    const code = 'Result code: ' + reply.status;
    if (reply.status !== 0) {
      const error = /^error-.*$/m.exec(printed);
      return failedRun(error ? error[0] : 'result code ' + reply.status, reply.facts, printed, code, 'No WAV was made.');
    }
    if (reply.writeFailure) {
      const { name, message } = reply.writeFailure;
      return failedRun(writeFailureText(name, settings.folder.name), reply.facts,
        `${printed}\nThe browser said: ${name}: ${message}\n`, code, 'No WAV was saved: nothing of it is left in the folder.');
    }
    const shown = describe(reply.facts, settings.output);
    if (shown) line.append(' ', element('span', 'facts', shown.text));
    if (reply.wavs.length === 0) {
      setStatus('empty');
      messages(printed, code);
      return 'empty';
    }
    const warning = /^warning : (.*)$/m.exec(printed);
    const { wavs, facts } = reply;
    const output = element('span', 'output', outputText(wavs, sources, facts, settings.output));
    output.title = wavs.map((wav, i) => `${sources[i].name}: ${count(wav.size)} bytes`).join(', ');
    line.append(' ', output);
    if (warning) say('warning-text', 'Warning: ' + warning[1]);
    for (const text of layoutNotes(facts, settings)) say('note layout', text);
    if (shown) {
      const spot = element('p', 'wave-text', shown.summary);
      li.append(spot);
      const loop = shown.hasLoop ? { dataFrames: facts.frames, loopFrame: facts.loop_start_frame, loopCount: facts.loop_count } : null;
      wave = { spot, loop, summary: shown.summary };
      drawWave();
    }
    const actions = element('p', 'actions');
    li.append(actions);
    messages(printed, code);
    setStatus(warning ? 'warned' : 'converted');
    const note = kindOf(settings.output).note(facts, wavs);
    if (note) actions.append(element('span', 'note kept', note), ' ');
    if (shown) players(actions, wavs, facts, shown, sources, reply.once);
    sources.forEach((source) => {
      if (source.written) actions.append(element('span', 'written', `Written to ${source.written}`), ' ');
      else actions.append(downloadLink(source, onSaved), ' ');
    });
    return warning ? 'warned' : 'converted';
  }

  function stopped(text) {
    setStatus('stopped');
    if (text) say('note', text);
    return 'stopped';
  }

  return {
    element: li,
    converting: () => setStatus('converting'),
    // The share of its WAVs written so far, while they are written.
    writing: (written, total) => setStatus('converting', `writing ${percent(written, total)}`),
    stopped,
    failed,
    show,
    showPeaks(made) {
      peaks = made;
      drawWave();
    },
    // Silences the row and takes it out of the list, to be put back by an undo.
    detach() {
      for (const sound of sounds) sound.stop();
      li.remove();
    },
    // Lets go of the row's sounds for good.
    dispose() {
      stopAll(sounds);
      for (const address of addresses) URL.revokeObjectURL(address);
      li.remove();
    },
  };
}

// A download link named as the file it downloads; its address is made when
// it is about to be followed.
function downloadLink(source, onSaved) {
  const link = element('a', 'download', 'Download ' + source.name);
  link.href = '#';
  link.download = source.name;
  let address = null;
  const follow = async () => {
    if (!address) address = await source.url();
    link.href = address;
  };
  for (const type of ['pointerenter', 'focus']) link.addEventListener(type, follow, { once: true });
  link.addEventListener('click', (event) => {
    onSaved();
    if (address) return;
    event.preventDefault();  // the address is a promise: follow once it is made
    follow().then(() => link.click());
  });
  return link;
}
