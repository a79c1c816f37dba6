// The worker pool: the workers that convert, and everything between them and
// the page (the messages of web/shared/protocol.js). A file handed over gets
// exactly one reply, whatever happens: the worker's `done` or `failed`;
// `discarded` after a Stop; or `failed` with 'lost' when its worker fails to
// start, dies, or answers too late (a time that grows with the file's size).
// The waveform's peaks of a file done come after its reply, to its
// `onPeaks`, unless its worker is lost first. A worker that died or hung is
// replaced, and the new one takes the files the old one had not started.
import { fromWorker, toWorker } from '../shared/protocol.js';

const MiB = 1024 * 1024;
// No answer after this long means the worker is stuck: 30 s, and 2 s more
// per MiB of the file (a conversion here runs at tens of MiB a second).
const patience = (bytes) => 30000 + 2000 * bytes / MiB;

// `source`: the workers' script URL; `module`: a promise of the compiled
// WebAssembly; `count` workers; a file over `largeFile` bytes goes to the
// first alone, so that one large WAV at a time is held.
export function createPool({ source, module, count = 2, largeFile = 16 * MiB }) {
  const slots = [];
  let nextId = 1;

  function start(slot) {
    const worker = new Worker(source);  // never throws for a blob: address of the page's own
    slot.worker = worker;
    // A worker that was let go may still have events on the way: only the
    // slot's current worker speaks for it.
    const current = () => slot.worker === worker;
    worker.onmessage = ({ data }) => {
      if (!current()) return;
      if (data.type === 'started') started(slot, data.id);
      else if (data.type === 'peaks') peaksArrived(slot, data);
      else answered(slot, data);
    };
    worker.onerror = (event) => {
      event.preventDefault();
      if (current()) died(slot, event.message || 'the worker failed');
    };
    worker.onmessageerror = () => { if (current()) died(slot, 'a reply could not be read'); };
    module.then((compiled) => { if (current()) worker.postMessage(toWorker.module(compiled)); },
      (error) => { if (current()) died(slot, `the converter could not be compiled: ${error && error.message}`); });
  }

  function started(slot, id) {
    const job = slot.jobs.find((j) => j.id === id);
    if (!job) return;
    if (job.onStart) job.onStart();
    clearTimeout(slot.timer);
    slot.timer = setTimeout(() => died(slot, `no answer after ${Math.round(patience(job.size) / 1000)} s`),
      patience(job.size));
  }

  function answered(slot, reply) {
    const at = slot.jobs.findIndex((j) => j.id === reply.id);
    if (at < 0) return;
    const [job] = slot.jobs.splice(at, 1);
    clearTimeout(slot.timer);
    slot.queuedBytes -= job.size;
    if (reply.type === 'done' && reply.wavs.length > 0 && job.onPeaks) slot.peaksDue.set(job.id, job.onPeaks);
    job.resolve(reply);
  }

  function peaksArrived(slot, { id, peaks, ms }) {
    const onPeaks = slot.peaksDue.get(id);
    slot.peaksDue.delete(id);
    if (onPeaks) onPeaks(peaks, ms);
  }

  // The file the worker held fails; a new worker takes the rest.
  // A worker that fails with nothing to do is started again when it next
  // gets a file, so that a worker that cannot start does not churn.
  function died(slot, detail) {
    clearTimeout(slot.timer);
    if (slot.worker) slot.worker.terminate();
    slot.worker = null;
    slot.peaksDue.clear();  // those rows keep the waveform's text
    const [held, ...rest] = slot.jobs;
    slot.jobs = [];
    slot.queuedBytes = 0;
    if (held) held.resolve(fromWorker.failed(held.id, 'lost', detail));
    for (const job of rest) post(slot, job);
  }

  function post(slot, job) {
    if (!slot.worker) start(slot);
    slot.jobs.push(job);
    slot.queuedBytes += job.size;
    slot.worker.postMessage(toWorker.job(job.id, job.message));
  }

  for (let i = 0; i < count; i++) {
    const slot = { worker: null, jobs: [], queuedBytes: 0, timer: 0, peaksDue: new Map() };
    slots.push(slot);
    start(slot);  // ready, its module compiled, before the first file
  }

  // Hands a file over: `message` is { file, args, kind, output }
  // (protocol.js's job); `onStart` is called when its conversion starts,
  // `onPeaks(peaks, ms)` when its waveform's peaks come after its reply.
  // Returns { size, reply }, the reply a promise that always resolves.
  function handOver(message, onStart, onPeaks) {
    const size = message.file.size;
    const slot = size > largeFile ? slots[0] : slots.reduce((a, b) => (b.queuedBytes < a.queuedBytes ? b : a));
    let resolve;
    const reply = new Promise((done) => { resolve = done; });
    post(slot, { id: nextId++, size, message, resolve, onStart, onPeaks });
    return { size, reply };
  }

  // Lets go of every file not yet started; each is answered { discarded }.
  function stop() {
    for (const slot of slots) if (slot.worker) slot.worker.postMessage(toWorker.stop());
  }

  return { handOver, stop };
}

