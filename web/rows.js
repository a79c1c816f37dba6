// One row of the results: a line of status, name, track facts and output,
// the waveform with the loop marked, the players, and the command line's
// messages one click away.
'use strict';

const KelvorRows = (() => {
  const s3 = (seconds) => seconds.toFixed(3) + ' s';
  const grouping = new Intl.NumberFormat('en');  // toLocaleString makes one each call
  const count = (n) => grouping.format(n);

  function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // The track's facts as the converter reads them, with the loop count that
  // the run used: the one its settings line shows, lowered to 1 without loop
  // information, as the conversion lowers it.
  function describe(track, printed) {
    if (!track || !track.trk_mark) return null;
    const setting = /^setting : loop (\d+)$/m.exec(printed);
    const asked = setting ? Number(setting[1]) : 1;
    const used = !track.loop_mark && asked > 1 ? 1 : asked;
    const blockAlign = Math.floor(track.channels * track.frame_bits / 8);
    const byteRate = blockAlign * track.sample_rate;
    const hasLoop = track.loop_mark !== 0 && track.loop_start < track.data_bytes;
    const facts = { blockAlign, rate: track.sample_rate, channels: track.channels, bits: track.sample_bits,
                    dataBytes: track.data_bytes, loopBytes: hasLoop ? track.loop_start : null, used };
    const parts = [`${track.channels} ch`, `${count(track.sample_rate)} Hz`, `${track.sample_bits} bit`];
    if (byteRate > 0) {
      if (hasLoop) {
        parts.push(`intro ${s3(track.loop_start / byteRate)}`, `loop ${s3((track.data_bytes - track.loop_start) / byteRate)}`);
      } else {
        parts.push('no loop information');
      }
      const loopSection = hasLoop ? track.data_bytes - track.loop_start : 0;
      parts.push(`loop count ${used}`, `${s3((track.data_bytes + loopSection * (used - 1)) / byteRate)} in all`);
      if (hasLoop) {
        facts.summary = `loop from ${s3(track.loop_start / byteRate)} to ${s3(track.data_bytes / byteRate)}, ` +
          `heard ${used} time${used === 1 ? '' : 's'}`;
      }
    } else if (!hasLoop) {
      parts.push('no loop information');
    }
    facts.text = parts.join(' · ');
    facts.summary = facts.summary || 'no loop information: the sound is heard once';
    return facts;
  }

  // The waveform's colours, from the style sheet: looked up once, not once a
  // row (each look-up makes the browser work out the whole page's style), and
  // again after the colour scheme changes.
  let colours = null;
  matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => { colours = null; });
  function waveColours() {
    if (!colours) {
      const style = getComputedStyle(document.documentElement);
      const [intro, loop, marker] = ['--intro', '--loop', '--marker'].map((name) => style.getPropertyValue(name).trim());
      colours = { intro, loop, marker };
    }
    return colours;
  }

  // A canvas costs its first drawing (about 2 ms, for the browser to set up
  // its pixels) and 320 KB: each waveform is drawn when its row comes near
  // the view, so a batch of hundreds of rows draws the few that are seen.
  const drawings = new WeakMap();  // canvas -> its drawing, until drawn
  const drawWhenSeen = typeof IntersectionObserver === 'function' ? new IntersectionObserver((entries) => {
    for (const { target, isIntersecting } of entries) {
      if (!isIntersecting) continue;
      drawWhenSeen.unobserve(target);
      drawings.get(target)();
      drawings.delete(target);
    }
  }, { rootMargin: '400px 0px' }) : null;

  // The waveform, intro and loop section in their colours, a line where the
  // loop starts and where each repetition begins; the positions in sample
  // frames are kept as data attributes, set at once.
  function waveform(peaks, facts) {
    const canvas = element('canvas', 'wave');
    canvas.width = peaks.columns;
    canvas.height = 80;
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label', facts.summary);
    let markers = null;
    if (facts.loopBytes !== null) {
      markers = KelvorPeaks.loopMarkers({ frames: peaks.frames, dataFrames: Math.floor(facts.dataBytes / facts.blockAlign),
        loopFrame: Math.floor(facts.loopBytes / facts.blockAlign), loopCount: facts.used }, peaks.columns);
      canvas.dataset.loopStart = String(markers.loopStart);
      canvas.dataset.repetitions = markers.repetitions.join(',');
    }
    const draw = () => {
      drawWave(canvas, peaks, markers);
      canvas.dataset.drawn = '';
    };
    if (drawWhenSeen) {
      drawings.set(canvas, draw);
      drawWhenSeen.observe(canvas);
    } else {
      draw();
    }
    return canvas;
  }

  // Each colour is one path, filled once.
  function drawWave(canvas, peaks, markers) {
    const { intro, loop, marker } = waveColours();
    const middle = canvas.height / 2;
    const loopFrom = markers ? markers.columns[0] : peaks.columns;
    const paths = [new Path2D(), new Path2D()];
    for (let x = 0; x < peaks.columns; x++) {
      if (peaks.min[x] > peaks.max[x]) continue;  // a column without a sample
      const top = middle - peaks.max[x] * middle;
      paths[x >= loopFrom ? 1 : 0].rect(x, top, 1, Math.max(1, (peaks.max[x] - peaks.min[x]) * middle));
    }
    const g = canvas.getContext('2d');
    g.fillStyle = intro;
    g.fill(paths[0]);
    g.fillStyle = loop;
    g.fill(paths[1]);
    if (markers) {
      g.fillStyle = marker;
      for (const x of markers.columns) g.fillRect(x, 0, 2, canvas.height);
    }
  }

  // The intro and loop section as a WAV of their own: a plain 44-byte header
  // from the track's facts before the sample data, which the decoder takes
  // whatever format block the converted file has.
  function onceWav(facts, data) {
    const header = new DataView(new ArrayBuffer(44));
    const text = (at, s) => [...s].forEach((c, i) => header.setUint8(at + i, c.charCodeAt(0)));
    text(0, 'RIFF');
    header.setUint32(4, 36 + data.byteLength, true);
    text(8, 'WAVE');
    text(12, 'fmt ');
    header.setUint32(16, 16, true);
    header.setUint16(20, 1, true);
    header.setUint16(22, facts.channels, true);
    header.setUint32(24, facts.rate, true);
    header.setUint32(28, facts.rate * facts.blockAlign, true);
    header.setUint16(32, facts.blockAlign, true);
    header.setUint16(34, facts.bits, true);
    text(36, 'data');
    header.setUint32(40, data.byteLength, true);
    return new Blob([header, data]).arrayBuffer();
  }

  // "Play loop": the intro, then the loop section again and again without a
  // gap, until stopped; the audio is made when asked and let go when stopped.
  // `wavFile` gives the converted WAV (a Blob or a File) when called.
  function loopButton(facts, wavFile, name) {
    const button = element('button', 'play-loop', 'Play loop');
    button.type = 'button';
    button.setAttribute('aria-label', 'Play loop of ' + name);
    let playing = null;
    const stop = () => {
      if (!playing) return;
      const { context, source } = playing;
      playing = null;
      source.onended = null;
      try { source.stop(); } catch { /* never started */ }
      context.close();
      button.textContent = 'Play loop';
    };
    button.addEventListener('click', async () => {
      if (playing) return stop();
      const wav = await wavFile();
      const start = KelvorPeaks.dataStart(new Uint8Array(await wav.slice(0, 256).arrayBuffer()));
      const data = await wav.slice(start, start + facts.dataBytes).arrayBuffer();
      const context = new AudioContext({ sampleRate: facts.rate });
      const source = context.createBufferSource();
      source.buffer = await context.decodeAudioData(await onceWav(facts, data));
      if (facts.loopBytes !== null) {
        source.loop = true;
        source.loopStart = facts.loopBytes / facts.blockAlign / facts.rate;
        source.loopEnd = facts.dataBytes / facts.blockAlign / facts.rate;
      }
      source.connect(context.destination);
      source.onended = stop;
      playing = { context, source };
      source.start();
      button.textContent = 'Stop loop';
    });
    return button;
  }

  return { describe, waveform, loopButton, element, count };
})();
