// The worker pool: the workers that convert, and everything between them and
// the page (the messages of web/shared/protocol.js). A file handed over gets
// exactly one reply, whatever happens: the worker's `done`, `failed`,
// `discarded` or `stopped`; or `failed` with 'lost' when its worker fails to
// start, dies or falls silent. A worker says it lives every second, so a
// lost one is noticed within seconds; one that does not end its file within
// a second of a Stop is let go, its file `stopped`. The waveform's peaks of
// a file done come after its reply, to its `onPeaks`, unless its worker is
// lost first. A worker that died or hung is replaced, and the new one takes
// the files the old one had not started.
import { fromWorker, toWorker } from '../shared/protocol.js';

const MiB = 1024 * 1024;
// Silence this long means the worker is lost: 5 s, and 1 s more per 64 MiB
// of its file, for the steps that hold it (the waveform's pass over the file).
const silenceLimit = (bytes) => 5000 + 1000 * bytes / (64 * MiB);
const STOP_WITHIN_MS = 1000;

// `source`: the workers' script URL; `module`: a promise of the compiled
// WebAssembly; `count` workers; a file over `largeFile` bytes goes to the
// first alone, so that one large WAV at a time is held.
export function createPool({ source, module, count = 2, largeFile = 16 * MiB }) {
  const slots = [];
  let nextId = 1;

  function start(slot) {
    const worker = new Worker(source);  // never throws for a blob: address of the page's own
    slot.worker = worker;
    slot.heardAt = performance.now();
    // A worker that was let go may still have events on the way: only the
    // slot's current worker speaks for it.
    const current = () => slot.worker === worker;
    worker.onmessage = ({ data }) => {
      if (!current()) return;
      slot.heardAt = performance.now();
      const job = slot.jobs.find((j) => j.id === data.id);
      if (data.type === 'alive') return;
      if (data.type === 'peaks') peaksArrived(slot, data);
      else if (!job) return;
      else if (data.type === 'started') job.hooks.onStart?.();
      else if (data.type === 'progress') job.hooks.onProgress?.(data.written, data.total, data.stage);
      else if (data.type === 'names') nameWavs(slot, worker, job, data.names);
      else answered(slot, job, data);
    };
    worker.onerror = (event) => {
      event.preventDefault();
      if (current()) died(slot, event.message || 'the worker failed');
    };
    worker.onmessageerror = () => { if (current()) died(slot, 'a reply could not be read'); };
    module.then((compiled) => { if (current()) worker.postMessage(toWorker.module(compiled)); },
      (error) => { if (current()) died(slot, `the converter could not be compiled: ${error && error.message}`); });
  }

  // The names a job's WAVs are written under, from the page's `onNames`.
  // A naming that fails (the folder gone or refused) is answered with the
  // failure: the worker writes nothing, and the file's row says why.
  async function nameWavs(slot, worker, job, names) {
    let answer;
    try {
      answer = await job.hooks.onNames(names);
    } catch (error) {
      answer = { failure: { name: error && error.name, message: error && error.message ? error.message : String(error) } };
    }
    if (slot.worker === worker && slot.jobs.includes(job)) worker.postMessage(toWorker.names(job.id, answer));
  }

  function answered(slot, job, reply) {
    slot.jobs.splice(slot.jobs.indexOf(job), 1);
    slot.queuedBytes -= job.size;
    if (reply.type === 'done' && reply.wavs.length > 0 && job.hooks.onPeaks) slot.peaksDue.set(job.id, job.hooks.onPeaks);
    job.resolve(reply);
  }

  function peaksArrived(slot, { id, peaks, ms }) {
    const onPeaks = slot.peaksDue.get(id);
    slot.peaksDue.delete(id);
    if (onPeaks) onPeaks(peaks, ms);
  }

  // The file the worker held fails (or, after a Stop, is stopped); a new
  // worker takes the rest. A worker that fails with nothing to do is started
  // again when it next gets a file, so that one that cannot start does not
  // churn.
  function died(slot, detail, stopping = false) {
    clearTimeout(slot.stopTimer);
    if (slot.worker) slot.worker.terminate();
    slot.worker = null;
    slot.peaksDue.clear();  // those rows keep the waveform's text
    const [held, ...rest] = slot.jobs;
    slot.jobs = [];
    slot.queuedBytes = 0;
    if (held) held.resolve(stopping ? fromWorker.stopped(held.id) : fromWorker.failed(held.id, 'lost', detail));
    for (const job of rest) {
      if (stopping) job.resolve(fromWorker.discarded(job.id));
      else post(slot, job);
    }
  }

  function post(slot, job) {
    if (!slot.worker) start(slot);
    if (slot.jobs.length === 0) slot.heardAt = performance.now();
    slot.jobs.push(job);
    slot.queuedBytes += job.size;
    slot.worker.postMessage(toWorker.job(job.id, job.message));
  }

  // A worker with files and nothing heard from it is lost.
  setInterval(() => {
    const now = performance.now();
    for (const slot of slots) {
      if (!slot.worker || slot.jobs.length === 0) continue;
      const limit = silenceLimit(slot.jobs[0].size);
      if (now - slot.heardAt > limit) died(slot, `it gave no sign of life for ${Math.round(limit / 1000)} s`);
    }
  }, 1000);

  for (let i = 0; i < count; i++) {
    const slot = { worker: null, jobs: [], queuedBytes: 0, heardAt: 0, stopTimer: 0, peaksDue: new Map() };
    slots.push(slot);
    start(slot);  // ready, its module compiled, before the first file
  }

  // Hands a file of `size` bytes over: `message` is { file, args, kind,
  // output } (protocol.js's job); `hooks` are called when its conversion
  // starts (`onStart()`), as its WAVs are written (`onProgress(written,
  // total)`), for the names of its WAVs in the output folder (`onNames(names)`,
  // a promise of protocol.js's names answer) and when its waveform's peaks
  // come after its reply (`onPeaks(peaks, ms)`). Returns the reply, a
  // promise that always resolves.
  function handOver(message, size, hooks) {
    const slot = size > largeFile ? slots[0] : slots.reduce((a, b) => (b.queuedBytes < a.queuedBytes ? b : a));
    let resolve;
    const reply = new Promise((done) => { resolve = done; });
    post(slot, { id: nextId++, size, message, resolve, hooks });
    return reply;
  }

  // Lets go of every file not yet started (each is answered `discarded`)
  // and stops each file in progress within a second.
  function stop() {
    for (const slot of slots) {
      if (!slot.worker) continue;
      slot.worker.postMessage(toWorker.stop());
      const held = slot.jobs[0];
      if (!held) continue;
      clearTimeout(slot.stopTimer);
      slot.stopTimer = setTimeout(() => { if (slot.jobs[0] === held) died(slot, 'stopped', true); }, STOP_WITHIN_MS);
    }
  }

  return { handOver, stop };
}
