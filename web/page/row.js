// One row of the results: everything shown for one file. Its status
// (waiting, converting, converted, converted with a warning, no track,
// failed, not converted), its path and the settings it was queued with; once
// done, the track's facts as the converter's run found them, the waveform,
// the players that work for it, the download or where it was written, and
// the command line's messages one click away.
'use strict';

const KelvorRow = (() => {
  const s3 = (seconds) => seconds.toFixed(3) + ' s';
  const grouping = new Intl.NumberFormat('en');  // toLocaleString makes one each call
  const count = (n) => grouping.format(n);

  function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // What the row says of the settings it was queued with.
  function settingsText(settings) {
    const parts = [KelvorLoopList.KIND_NAMES[settings.output]];
    if (settings.output === 'unrolled') parts.push(`loop count ${settings.loopCount}`);
    if (settings.output === 'unrolled' && settings.shortFormat) parts.push('short format block (-x)');
    parts.push(settings.folder ? `into "${settings.folder.name}"` : 'as a download');
    return parts.join(' · ');
  }

  // The track's facts, all from the run: the reader's record, the loop count
  // it converted with, the header's values for that count, and the track in
  // frames. A loop kept rather than unrolled is heard once in each WAV.
  function describe(facts, output) {
    if (!facts || !facts.trk_mark) return null;
    const rate = facts.byte_rate;
    const hasLoop = facts.has_loop === 1 && rate > 0;
    const parts = [`${facts.channels} ch`, `${count(facts.sample_rate)} Hz`, `${facts.sample_bits} bit`];
    let summary = 'no loop information: the sound is heard once';
    if (!facts.loop_mark) parts.push('no loop information');
    else if (facts.loop_start > facts.data_bytes) parts.push('loop start past the data');
    else if (!facts.has_loop) parts.push('no loop section');
    if (hasLoop) {
      parts.push(`intro ${s3(facts.loop_start / rate)}`, `loop ${s3((facts.data_bytes - facts.loop_start) / rate)}`);
      summary = `loop from ${s3(facts.loop_start / rate)} to ${s3(facts.data_bytes / rate)}, ` + (output === 'unrolled'
        ? `heard ${count(facts.loop_count)} time${facts.loop_count === 1 ? '' : 's'}` : 'kept');
    }
    if (output === 'unrolled' && facts.loop_count > 0) parts.push(`loop count ${count(facts.loop_count)}`);
    if (rate > 0 && facts.header_result === 0) parts.push(`${s3(facts.data_length / rate)} in all`);
    return { text: parts.join(' · '), summary, hasLoop };
  }

  // What the reader found of a file whose run failed: the format, and the
  // loop where its chunk was read. Nothing of a WAV: none was made.
  function describeRead(facts) {
    if (!facts || !facts.trk_mark) return null;
    const parts = [`${facts.channels} ch`, `${count(facts.sample_rate)} Hz`, `${facts.sample_bits} bit`];
    if (facts.loop_mark && facts.loop_start > facts.data_bytes) parts.push('loop start past the data');
    else if (facts.has_loop && facts.byte_rate > 0) {
      parts.push(`intro ${s3(facts.loop_start / facts.byte_rate)}`,
        `loop ${s3((facts.data_bytes - facts.loop_start) / facts.byte_rate)}`);
    }
    return 'Read from the file: ' + parts.join(' · ');
  }

  // What a row of a kept loop says of the files it made.
  function keptNote(output, facts, wavs) {
    if (!facts.has_loop) {
      return output === 'kept' ? 'No loop to keep: the WAV has no smpl chunk.' : 'No loop to keep: one WAV, the sound once.';
    }
    if (output === 'apart' && wavs.length === 1) return 'The loop starts at the beginning: there is no intro.';
    return output === 'kept' ? `The loop is kept in the WAV's smpl chunk: frames ${count(facts.loop_start_frame)} to ` +
      `${count(facts.loop_end_frame - 1)}.` : null;
  }

  const STATUS = {
    waiting: 'waiting', converting: 'converting', converted: 'converted', warned: 'converted, with a warning',
    empty: 'no track: nothing to convert', stopped: 'not converted: stopped',
  };

  function create(path, settings) {
    const li = element('li', 'result waiting');
    const line = element('p', 'line');
    const status = element('span', 'status', STATUS.waiting);
    line.append(status, ' ', element('span', 'name', path));
    li.append(line, element('p', 'queued', settingsText(settings)));
    li.dataset.state = 'waiting';
    const sounds = [];

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
    function players(actions, wavs, facts, shown, sources) {
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
      const files = sources.map((source) => source.file);
      sounds.push(KelvorPlayers.loopToggle(button, () => KelvorPlayers.loopSound(facts, files), (error) => {
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
        sounds.push(KelvorPlayers.adopt(audio));
        play.replaceWith(audio);
        audio.focus();
        audio.play().catch(() => {});  // a browser may refuse to start it; its controls remain
      }, { once: true });
      return play;
    }

    function fail(text) {
      setStatus('failed', text);
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

    // Fills the row from the worker's reply. `sources` gives each WAV: {
    // file() a promise of its Blob or File, url() its address when it is a
    // Blob, written: where in the output folder }. Returns the row's outcome:
    // 'converted', 'warned', 'empty' or 'failed'.
    function show(reply, sources) {
      li.dataset.code = reply.failure ? reply.failure : String(reply.status);
      if (reply.failure) {
        fail(FAILURES[reply.failure](reply));
        return 'failed';
      }
      const printed = new TextDecoder().decode(reply.printed);
      if (reply.status !== 0) {
        const error = /^error-.*$/m.exec(printed);
        return failedRun(error ? error[0] : 'result code ' + reply.status, reply.facts, printed, reply.status,
          'No WAV was made.');
      }
      if (reply.writeFailure) {
        return failedRun(FAILURES.write({ detail: reply.writeFailure }), reply.facts, printed, reply.status,
          'No WAV was saved.');
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
      const lasts = settings.output === 'unrolled' && facts.byte_rate ? `, ${s3(facts.data_length / facts.byte_rate)}` : '';
      line.append(' ', element('span', 'output', wavs.map((wav) => `${wav.name}: ${count(wav.size)} bytes`).join(', ') + lasts));
      if (reply.peaks && shown) {
        const loop = shown.hasLoop ? { dataFrames: facts.frames, loopFrame: facts.loop_start_frame, loopCount: facts.loop_count } : null;
        li.append(KelvorWaveform.create(reply.peaks, loop, shown.summary));
      } else if (shown) {
        li.append(element('p', 'wave-text', shown.summary));
      }
      const actions = element('p', 'actions');
      li.append(actions);
      messages(printed, reply.status, false);
      setStatus(warning ? 'warned' : 'converted', warning ? `converted, with a warning: ${warning[0].slice(10)}` : undefined);
      const note = settings.output !== 'unrolled' && keptNote(settings.output, facts, wavs);
      if (note) actions.append(element('span', 'note kept', note), ' ');
      if (shown) players(actions, wavs, facts, shown, sources);
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
      // Stops and lets go of the row's sounds, and takes the row away.
      remove() {
        KelvorPlayers.stopAll(sounds);
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

  const FAILURES = {
    start: (reply) => 'The converter could not be started in this browser: ' + reply.detail,
    memory: () => 'This file is too large for the memory of this browser. Convert it with the kelvor command line.',
    unreadable: () => 'This file could not be read: it was moved, changed or deleted since it was chosen, ' +
      'or it is too large for the memory of this browser.',
    write: (reply) => 'The WAV could not be written to the output folder: ' + reply.detail,
    internal: (reply) => 'The conversion stopped unexpectedly: ' + reply.detail,
    lost: (reply) => 'The converter stopped before this file was done: ' + reply.detail,
  };

  return { create, count };
})();
