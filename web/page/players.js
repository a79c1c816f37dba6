// The page's sounds: one at a time. Starting any player (a row's <audio>
// or its "Play loop") stops the one that was sounding; "Play loop" pressed
// again stops what it started, even while it is still being prepared; and
// stopAll() stops and lets go of everything, as Clear does.
'use strict';

const KelvorPlayers = (() => {
  let sounding = null;  // { stop } of the sound now playing or about to
  const all = new Set();  // every sound's stop, for stopAll

  function claim(sound) {
    if (sounding && sounding !== sound) sounding.stop();
    sounding = sound;
  }

  function release(sound) {
    if (sounding === sound) sounding = null;
  }

  // An <audio> element among the players: its play stops the others.
  function adopt(audio) {
    const sound = { stop: () => audio.pause(), dispose: () => { audio.pause(); audio.removeAttribute('src'); audio.load(); } };
    audio.addEventListener('play', () => claim(sound));
    audio.addEventListener('pause', () => release(sound));
    all.add(sound);
    return sound;
  }

  // "Play loop" on `button`: a toggle (aria-pressed) that starts the sound
  // that `start()` makes ({ context, source }, an AudioContext and its
  // looping source, not yet started) and stops and closes it when pressed
  // again, when another sound starts or when everything stops. `failed`
  // receives an error that kept the sound from starting.
  function loopToggle(button, start, failed) {
    let attempt = 0;  // a press counts; an older attempt that ends late lets go of its sound
    let playing = null;
    const show = (on) => {
      button.setAttribute('aria-pressed', String(on));
      button.textContent = on ? 'Stop loop' : 'Play loop';
    };
    const sound = {
      stop() {
        attempt++;
        if (playing) {
          const { context, source } = playing;
          playing = null;
          source.onended = null;
          try { source.stop(); } catch { /* never started */ }
          context.close().catch(() => {});
        }
        show(false);
        release(sound);
      },
    };
    sound.dispose = sound.stop;
    all.add(sound);
    show(false);
    button.addEventListener('click', () => {
      if (button.getAttribute('aria-pressed') === 'true') {
        sound.stop();
        return;
      }
      const mine = ++attempt;
      show(true);
      claim(sound);
      start().then((made) => {
        if (mine !== attempt) {  // stopped while it was being made
          made.context.close().catch(() => {});
          return;
        }
        playing = made;
        made.source.onended = () => sound.stop();
        made.source.start();
      }).catch((error) => {
        if (mine === attempt) sound.stop();
        failed(error);
      });
    });
    return sound;
  }

  // The sound of "Play loop": the intro, then the loop section again and
  // again without a gap. `facts` are the run's; `files` give the WAVs it made
  // (each a promise of a Blob or a File): the sample data once is the first
  // `data_bytes` bytes of their data chunks one after another, whichever the
  // output kind. It gets a plain header of its own, which the browser
  // decodes whatever format block the converted files have.
  async function loopSound(facts, files) {
    const pieces = [];
    let wanted = facts.data_bytes;
    for (const file of files) {
      const wav = await file();
      const chunk = KelvorWav.dataChunk(new Uint8Array(await wav.slice(0, 4096).arrayBuffer()));
      if (!chunk) throw new Error('the WAV has no data chunk');
      const length = Math.min(wanted, chunk.size);
      pieces.push(wav.slice(chunk.at, chunk.at + length));
      wanted -= length;
    }
    const data = await new Blob(pieces).arrayBuffer();
    const context = new AudioContext({ sampleRate: facts.sample_rate });
    try {
      const source = context.createBufferSource();
      source.buffer = await context.decodeAudioData(await plainWav(facts, data));
      source.loop = true;
      const frameSeconds = facts.block_align * facts.sample_rate;
      source.loopStart = facts.loop_start / frameSeconds;
      source.loopEnd = facts.data_bytes / frameSeconds;
      source.connect(context.destination);
      return { context, source };
    } catch (error) {
      context.close().catch(() => {});
      throw error;
    }
  }

  function plainWav(facts, data) {
    const header = new DataView(new ArrayBuffer(44));
    const text = (at, s) => [...s].forEach((c, i) => header.setUint8(at + i, c.charCodeAt(0)));
    text(0, 'RIFF');
    header.setUint32(4, 36 + data.byteLength, true);
    text(8, 'WAVE');
    text(12, 'fmt ');
    header.setUint32(16, 16, true);
    header.setUint16(20, 1, true);
    header.setUint16(22, facts.channels, true);
    header.setUint32(24, facts.sample_rate, true);
    header.setUint32(28, facts.byte_rate, true);
    header.setUint16(32, facts.block_align, true);
    header.setUint16(34, facts.sample_bits, true);
    text(36, 'data');
    header.setUint32(40, data.byteLength, true);
    return new Blob([header, data]).arrayBuffer();
  }

  // Lets go of the given sounds (a cleared row's), or of all.
  function stopAll(sounds = all) {
    for (const sound of [...sounds]) {
      sound.dispose();
      all.delete(sound);
    }
    if (sounds === all) sounding = null;
  }

  return { adopt, loopToggle, loopSound, stopAll };
})();
