// One row of the results: everything shown for one file. Its status
// (waiting, converting, converted, converted with a warning, no track,
// failed, not converted), its path and the settings it was queued with; once
// done, the track's facts as the converter's run found them, the waveform,
// the players that work for it, the download or where it was written, and
// the command line's messages one click away. Its words are row_text.js's.
import { kindOf } from '../shared/kinds.js';
import { loopSound, adopt, loopToggle, stopAll } from './players.js';
import { FAILURES, STATUS, describe, describeRead, outputText, settingsText } from './row_text.js';
import { createWaveform } from './waveform.js';

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

export function createRow(path, settings) {
  const li = element('li', 'result waiting');
  const line = element('p', 'line');
  const status = element('span', 'status', STATUS.waiting);
  line.append(status, ' ', element('span', 'name', path));
  li.append(line, element('p', 'queued', settingsText(settings)));
  li.dataset.state = 'waiting';
  const sounds = [];
  // The waveform: its peaks come after the reply, and may come before the
  // reply is shown; until then the row shows its text alternative.
  let peaks;  // undefined until they come; null when none can be drawn
  let wave = null;  // { spot, loop, summary }: where the waveform goes, once shown

  function setStatus(kind, text) {
    li.className = 'result ' + kind;
    li.dataset.state = kind;
    status.textContent = text || STATUS[kind];
  }

  // The command line's messages and result code, one click away; open by
  // themselves on a failed row.
  function messages(printed, code, open) {
    const box = element('details', 'messages-box');
    box.append(element('summary', null, 'Messages'), element('pre', 'messages', printed),
      element('p', 'code', 'Result code: ' + code));
    box.open = open;
    li.append(box);
  }

  // The players that work for these WAVs, and why the others are missing.
  // `once` is the sound heard once, which "Play loop" loops.
  function players(actions, wavs, facts, shown, sources, once) {
    wavs.forEach((wav, i) => {
      if (wav.playable && sources[i].url) actions.append(player(wav.name, sources[i].url), ' ');
    });
    if (wavs.some((wav) => !wav.playable)) {
      actions.append(element('span', 'note', 'Browsers cannot play the short format block (-x); "Play loop" plays the sound.'), ' ');
    }
    if (!shown.hasLoop) {
      actions.append(element('span', 'note', 'No loop to play: the sound is heard once.'), ' ');
      return;
    }
    const button = element('button', 'play-loop', 'Play loop');
    button.type = 'button';
    button.setAttribute('aria-label', 'Play loop of ' + wavs[0].name);
    // The conversion stands; a sound that cannot start says so beside its button.
    const problem = element('span', 'note sound-problem');
    sounds.push(loopToggle(button, () => loopSound(facts, once), (error) => {
      problem.textContent = `"Play loop" could not start: ${error && error.message ? error.message : error}`;
    }));
    actions.append(button, ' ', problem, ' ');
  }

  // "Play NAME", which becomes the WAV's player when pressed.
  function player(name, url) {
    const play = element('button', 'play', 'Play ' + name);
    play.type = 'button';
    play.addEventListener('click', () => {
      const audio = element('audio');
      audio.controls = true;
      audio.src = url();
      audio.setAttribute('aria-label', 'Player of ' + name);
      sounds.push(adopt(audio));
      play.replaceWith(audio);
      audio.focus();
      audio.play().catch(() => {});  // a browser may refuse to start it; its controls remain
    }, { once: true });
    return play;
  }

  function fail(text) {
    setStatus('failed', text);
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
    fail(text);
    const read = describeRead(facts);
    if (read) line.append(' ', element('span', 'facts', read));
    li.append(element('p', 'no-output', sentence));
    messages(printed, code, code !== 0);
    return 'failed';
  }

  // Fills the row from the worker's reply (protocol.js's `done` or
  // `failed`). `sources` gives each WAV: { url() its address when it is a
  // Blob, written: where in the output folder }. Returns the row's outcome:
  // 'converted', 'warned', 'empty' or 'failed'.
  function show(reply, sources) {
    if (reply.type === 'failed') {
      li.dataset.code = reply.failure;
      fail(FAILURES[reply.failure](reply.detail));
      return 'failed';
    }
    li.dataset.code = String(reply.status);
    const printed = new TextDecoder().decode(reply.printed);
    if (reply.status !== 0) {
      const error = /^error-.*$/m.exec(printed);
      return failedRun(error ? error[0] : 'result code ' + reply.status, reply.facts, printed, reply.status,
        'No WAV was made.');
    }
    if (reply.writeFailure) {
      return failedRun(FAILURES.write(reply.writeFailure), reply.facts, printed, reply.status, 'No WAV was saved.');
    }
    const shown = describe(reply.facts, settings.output);
    if (shown) line.append(' ', element('span', 'facts', shown.text));
    if (reply.wavs.length === 0) {
      setStatus('empty');
      messages(printed, reply.status, false);
      return 'empty';
    }
    const warning = /^warning : .*$/m.exec(printed);
    const { wavs, facts } = reply;
    line.append(' ', element('span', 'output', outputText(wavs, facts, settings.output)));
    if (shown) {
      const spot = element('p', 'wave-text', shown.summary);
      li.append(spot);
      const loop = shown.hasLoop ? { dataFrames: facts.frames, loopFrame: facts.loop_start_frame, loopCount: facts.loop_count } : null;
      wave = { spot, loop, summary: shown.summary };
      drawWave();
    }
    const actions = element('p', 'actions');
    li.append(actions);
    messages(printed, reply.status, false);
    setStatus(warning ? 'warned' : 'converted', warning ? `converted, with a warning: ${warning[0].slice(10)}` : undefined);
    const note = kindOf(settings.output).note(facts, wavs);
    if (note) actions.append(element('span', 'note kept', note), ' ');
    if (shown) players(actions, wavs, facts, shown, sources, reply.once);
    wavs.forEach((wav, i) => {
      if (sources[i].written) actions.append(element('span', 'written', `Written to ${sources[i].written}`), ' ');
      else actions.append(downloadLink(wav.name, sources[i].url), ' ');
    });
    return warning ? 'warned' : 'converted';
  }

  return {
    element: li,
    converting: () => setStatus('converting'),
    stopped: () => setStatus('stopped'),
    failed(text) {
      fail(text);
      return 'failed';
    },
    show,
    showPeaks(made) {
      peaks = made;
      drawWave();
    },
    // Stops and lets go of the row's sounds, and takes the row away.
    remove() {
      stopAll(sounds);
      li.remove();
    },
  };
}

function downloadLink(name, url) {
  const link = element('a', 'download', 'Download ' + name);
  link.href = '#';  // until it is about to be followed
  link.download = name;
  const follow = () => { link.href = url(); };
  for (const type of ['pointerenter', 'focus', 'click']) link.addEventListener(type, follow, { once: true });
  return link;
}
