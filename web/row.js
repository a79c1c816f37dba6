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
    const parts = [`loop count ${settings.loopCount}`];
    if (settings.shortFormat) parts.push('short format block (-x)');
    parts.push(settings.folder ? `into "${settings.folder.name}"` : 'as a download');
    return parts.join(' · ');
  }

  // The track's facts, all from the run: the reader's record, the loop count
  // it converted with and the header's values for that count.
  function describe(facts) {
    if (!facts || !facts.trk_mark) return null;
    const rate = facts.byte_rate;
    const hasLoop = facts.loop_mark !== 0 && facts.loop_start <= facts.data_bytes;
    const parts = [`${facts.channels} ch`, `${count(facts.sample_rate)} Hz`, `${facts.sample_bits} bit`];
    let summary = 'no loop information: the sound is heard once';
    if (!facts.loop_mark) parts.push('no loop information');
    else if (!hasLoop) parts.push('loop start past the data');
    if (rate > 0 && hasLoop) {
      parts.push(`intro ${s3(facts.loop_start / rate)}`, `loop ${s3((facts.data_bytes - facts.loop_start) / rate)}`);
      summary = `loop from ${s3(facts.loop_start / rate)} to ${s3(facts.data_bytes / rate)}, ` +
        `heard ${count(facts.loop_count)} time${facts.loop_count === 1 ? '' : 's'}`;
    }
    if (facts.loop_count > 0) parts.push(`loop count ${count(facts.loop_count)}`);
    if (rate > 0 && facts.header_result === 0) parts.push(`${s3(facts.data_length / rate)} in all`);
    return { text: parts.join(' · '), summary, hasLoop: hasLoop && facts.block_align > 0 && rate > 0 };
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

    // The players that work for this WAV, and why the others are missing.
    function players(actions, wav, facts, shown, source) {
      if (wav.playable && source.url) {
        const play = element('button', 'play', 'Play ' + wav.name);
        play.type = 'button';
        play.addEventListener('click', () => {
          const audio = element('audio');
          audio.controls = true;
          audio.src = source.url();
          audio.setAttribute('aria-label', 'Player of ' + wav.name);
          sounds.push(KelvorPlayers.adopt(audio));
          play.replaceWith(audio);
          audio.focus();
          audio.play().catch(() => {});  // a browser may refuse to start it; its controls remain
        }, { once: true });
        actions.append(play, ' ');
      } else if (!wav.playable) {
        actions.append(element('span', 'note', 'Browsers cannot play the short format block (-x); "Play loop" plays the sound.'), ' ');
      }
      if (!shown.hasLoop) {
        actions.append(element('span', 'note', 'No loop to play: the sound is heard once.'), ' ');
        return;
      }
      const button = element('button', 'play-loop', 'Play loop');
      button.type = 'button';
      button.setAttribute('aria-label', 'Play loop of ' + wav.name);
      // The conversion stands; a sound that cannot start says so beside its button.
      const problem = element('span', 'note sound-problem');
      sounds.push(KelvorPlayers.loopToggle(button, () => KelvorPlayers.loopSound(facts, source.file), (error) => {
        problem.textContent = `"Play loop" could not start: ${error && error.message ? error.message : error}`;
      }));
      actions.append(button, ' ', problem, ' ');
    }

    function fail(text) {
      setStatus('failed', text);
    }

    // Fills the row from the worker's reply. `source` gives the WAV: { file()
    // a promise of its Blob or File, url() its address when it is a Blob,
    // written: where in the output folder }. Returns the row's outcome:
    // 'converted', 'warned', 'empty' or 'failed'.
    function show(reply, source) {
      li.dataset.code = reply.failure ? reply.failure : String(reply.status);
      if (reply.failure) {
        fail(FAILURES[reply.failure](reply));
        return 'failed';
      }
      const printed = new TextDecoder().decode(reply.printed);
      const shown = describe(reply.facts);
      if (shown) line.append(' ', element('span', 'facts', shown.text));
      if (reply.status !== 0) {
        const error = /^error-.*$/m.exec(printed);
        fail(error ? error[0] : 'result code ' + reply.status);
        messages(printed, reply.status, true);
        return 'failed';
      }
      if (!reply.wav) {
        setStatus('empty');
        messages(printed, reply.status, false);
        return 'empty';
      }
      const warning = /^warning : .*$/m.exec(printed);
      const { wav } = reply;
      line.append(' ', element('span', 'output', `${wav.name}: ${count(wav.size)} bytes` +
        (reply.facts.byte_rate ? `, ${s3(reply.facts.data_length / reply.facts.byte_rate)}` : '')));
      if (wav.peaks && shown) {
        const loop = shown.hasLoop ? { dataFrames: Math.floor(reply.facts.data_bytes / reply.facts.block_align),
          loopFrame: Math.floor(reply.facts.loop_start / reply.facts.block_align), loopCount: reply.facts.loop_count } : null;
        li.append(KelvorWaveform.create(wav.peaks, loop, shown.summary));
      } else if (shown) {
        li.append(element('p', 'wave-text', shown.summary));
      }
      const actions = element('p', 'actions');
      li.append(actions);
      messages(printed, reply.status, false);
      if (reply.writeFailure) {
        fail(FAILURES.write({ detail: reply.writeFailure }));
        return 'failed';
      }
      setStatus(warning ? 'warned' : 'converted', warning ? `converted, with a warning: ${warning[0].slice(10)}` : undefined);
      if (shown) players(actions, wav, reply.facts, shown, source);
      if (source.written) actions.append(element('span', 'written', `Written to ${source.written}`));
      else actions.append(downloadLink(wav.name, source.url));
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
