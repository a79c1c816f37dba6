// The page's sounds: one at a time. Starting any player (a row's <audio>
// or its "Play loop") stops the one that was sounding; "Play loop" pressed
// again stops what it started, even while it is still being prepared; and
// stopAll() stops and lets go of everything, as Clear does.

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
export function adopt(audio) {
  const sound = { stop: () => audio.pause(), dispose: () => { audio.pause(); audio.removeAttribute('src'); audio.load(); } };
  audio.addEventListener('play', () => claim(sound));
  audio.addEventListener('pause', () => release(sound));
  all.add(sound);
  return sound;
}

// "Play loop" on `button`, named for the WAV `name` (its accessible name
// holds what it shows): a toggle (aria-pressed) that starts the sound
// that `start()` makes ({ context, source }, an AudioContext and its
// looping source, not yet started) and stops and closes it when pressed
// again, when another sound starts or when everything stops. `failed`
// receives an error that kept the sound from starting.
export function loopToggle(button, name, start, failed) {
  let attempt = 0;  // a press counts; an older attempt that ends late lets go of its sound
  let playing = null;
  const show = (on) => {
    button.setAttribute('aria-pressed', String(on));
    button.textContent = on ? 'Stop loop' : 'Play loop';
    button.setAttribute('aria-label', `${button.textContent} of ${name}`);
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
// again without a gap. `facts` are the run's; `once` is the sound heard
// once under a plain header (a Blob the converter planned), which the
// browser decodes whatever format block the converted files have.
export async function loopSound(facts, once) {
  const data = await once.arrayBuffer();
  const context = new AudioContext({ sampleRate: facts.sample_rate });
  try {
    const source = context.createBufferSource();
    source.buffer = await context.decodeAudioData(data);
    source.loop = true;
    source.loopStart = facts.loop_start / facts.byte_rate;
    source.loopEnd = facts.data_bytes / facts.byte_rate;
    source.connect(context.destination);
    return { context, source };
  } catch (error) {
    context.close().catch(() => {});
    throw error;
  }
}

// Lets go of the given sounds (a cleared row's), or of all.
export function stopAll(sounds = all) {
  for (const sound of [...sounds]) {
    sound.dispose();
    all.delete(sound);
  }
  if (sounds === all) sounding = null;
}

