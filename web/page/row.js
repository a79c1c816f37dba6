// One row of the results: everything shown for one file. At a glance, one
// line: its path (the toggle that opens the rest), its status as a badge
// (waiting, converting, converted, warning, no track, failed, stopped) and
// its WAVs' names, sizes and length; a problem's sentence under it. Opened:
// the settings it was queued with, the track's facts as the converter's run
// found them, the waveform, a player that works for it (or why there is
// none), the download or where it was written, and the command line's
// messages. Its words are row_text.js's.
import { loopNote } from '../shared/kinds.js';
import { count, percent } from '../shared/text.js';
import { loopSound, adopt, loopToggle, stopAll } from './players.js';
import { FAILURES, NO_TRACK, STATUS, describe, describeRead, failureReason, layoutNotes, misreadWarning, outputText,
  playerNote, settingsText, writeFailureText } from './row_text.js';
import { createWaveform } from './waveform.js';

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

let rowsMade = 0;

// `onSaved()` is called when one of the row's WAVs is downloaded; `open`
// makes the row with its details shown.
export function createRow(path, settings, { onSaved = () => {}, open = false } = {}) {
  const li = element('li', 'result waiting');
  const line = element('p', 'line');
  const status = element('span', 'status', STATUS.waiting);
  const toggle = element('button', 'toggle');
  toggle.type = 'button';
  const details = element('div', 'details');
  details.id = `row-details-${++rowsMade}`;
  toggle.setAttribute('aria-controls', details.id);
  toggle.append(element('span', 'name', path));
  toggle.addEventListener('click', () => expand(!li.classList.contains('open')));
  line.append(toggle, ' ', status);
  const lead = element('div', 'lead');  // a problem's sentence, shown while the row is closed
  details.append(element('p', 'queued', settingsText(settings)));
  li.append(line, lead, details);
  li.dataset.state = 'waiting';
  function expand(shown) {
    li.classList.toggle('open', shown);
    toggle.setAttribute('aria-expanded', String(shown));
  }
  expand(open);
  const sounds = [];
  const addresses = [];  // of the sound once, made here, let go with the row
  // The waveform: its peaks come after the reply, and may come before the
  // reply is shown; until then the row shows its text alternative.
  let peaks;  // undefined until they come; null when none can be drawn
  let wave = null;  // { spot, loop, summary }: where the waveform goes, once shown

  function setStatus(kind, text) {
    li.className = `result ${kind}${li.classList.contains('open') ? ' open' : ''}`;
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
    details.append(box);
  }

  // A sentence of its own in the row's details, or (`lead`) under its line.
  const say = (className, text, place = details) => place.append(element('p', className, text));

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
    const note = playerNote(wavs, shown, settings);
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

  // A failed run: why in plain words, what was read, and that there is no
  // WAV to play, size or download; the command line's line under them.
  function failedRun(reason, errorLine, facts, fileSize, printed, code, sentence) {
    setStatus('failed');
    say('problem-text', reason, lead);
    if (errorLine) say('error-line', errorLine, lead);
    const read = describeRead(facts, fileSize);
    if (read) details.prepend(element('p', 'facts', read));
    say('no-output', sentence);
    messages(printed, code);
    return 'failed';
  }

  // A failure of the browser's: plain words on the row, the browser's own in
  // its messages.
  function failed(text, detail) {
    setStatus('failed');
    say('problem-text', text, lead);
    if (detail) messages(`The browser said: ${detail}\n`, 'No result code: the converter did not finish.');
    return 'failed';
  }

  // Fills the row from the worker's reply (protocol.js's `done`, `failed` or
  // `stopped`). `sources` gives each WAV: { name (as written or in the
  // zip), url() (a promise of its address), written (where in the output
  // folder) }. Returns the row's outcome: 'converted', 'warned', 'empty',
  // 'failed' or 'stopped'.
  function show(reply, sources, { fileSize = Infinity } = {}) {
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
      return failedRun(failureReason(reply.status, reply.facts, fileSize, settings, printed), error ? error[0] : null, reply.facts,
        fileSize, printed, code, 'No WAV was made.');
    }
    if (reply.writeFailure) {
      const { name, message } = reply.writeFailure;
      return failedRun(writeFailureText(name, settings.folder.name), null, reply.facts, fileSize,
        `${printed}\nThe browser said: ${name}: ${message}\n`, code, 'No WAV was saved: nothing of it is left in the folder.');
    }
    const shown = describe(reply.facts, settings.output);
    if (shown) details.prepend(element('p', 'facts', shown.text));
    if (reply.wavs.length === 0) {
      setStatus('empty');
      say('problem-text', NO_TRACK, lead);
      messages(printed, code);
      return 'empty';
    }
    const { wavs, facts } = reply;
    const printedWarning = /^warning : (.*)$/m.exec(printed);
    const misread = misreadWarning(wavs, facts, settings);
    const warned = !!(printedWarning || misread);
    const output = element('span', 'output', outputText(wavs, sources, facts, settings.output));
    output.title = wavs.map((wav, i) => `${sources[i].name}: ${count(wav.size)} bytes`).join(', ');
    line.append(' ', output);
    if (printedWarning) say('warning-text', 'Warning: ' + printedWarning[1], lead);
    if (misread) say('warning-text', 'Warning: ' + misread, lead);
    for (const text of layoutNotes(facts, settings)) say('note layout', text);
    // What the lengths and the loop list made of it, in the converter's words.
    for (const text of reply.lengths || []) say('note lengths', text[0].toUpperCase() + text.slice(1) + '.');
    if (shown) {
      const spot = element('p', 'wave-text', shown.summary);
      details.append(spot);
      const loop = shown.hasLoop ? { dataFrames: facts.frames, loopFrame: facts.loop_start_frame, loopCount: facts.loop_count } : null;
      wave = { spot, loop, summary: shown.summary };
      drawWave();
    }
    const actions = element('p', 'actions');
    details.append(actions);
    messages(printed, code);
    setStatus(warned ? 'warned' : 'converted');
    const note = loopNote(settings, facts, wavs);
    if (note) actions.append(element('span', 'note kept', note), ' ');
    if (shown) players(actions, wavs, facts, shown, sources, reply.once);
    sources.forEach((source) => {
      if (source.written) actions.append(element('span', 'written', `Written to ${source.written}`), ' ');
      else actions.append(downloadLink(source, onSaved), ' ');
    });
    return warned ? 'warned' : 'converted';
  }

  function stopped(text) {
    setStatus('stopped');
    if (text) say('note', text, lead);
    return 'stopped';
  }

  return {
    element: li,
    toggle,
    expand,
    converting: () => setStatus('converting'),
    // The share of its WAVs written so far, while they are written.
    writing: (written, total) => setStatus('converting', `writing ${percent(written, total)}`),
    encoding: (done, total) => setStatus('converting', `encoding ${percent(done, total)}`),
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
