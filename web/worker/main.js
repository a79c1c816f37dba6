// A converter worker. It is started from a Blob that holds the module
// factory `createKelvor` (the command line's own run, compiled to
// WebAssembly) and this file's bundle; the messages it takes and sends are
// web/shared/protocol.js's.
//
// Each file is converted in an instance made from the compiled module the
// page sends first (kept for the next file while the files are small), in a
// folder that holds only that file, exactly as one run of the command line
// would, except that the run plans its WAVs rather than writing them: every
// byte it prints is sent back as printed, with its result and its facts, and
// each WAV is made from its plan as a Blob of the converter's bytes and
// slices of the dropped file (web/shared/plan_blob.js), which is handed back
// or piped into the chosen folder under the names the page gives (which
// never replace a file of the user's without consent). A stop ends the file
// in progress at its next step, or in the middle of its write, and leaves
// nothing of it in the folder. The file's bytes, read once for the reader
// and the waveform, are let go when the reply is sent.
import { firstBytes, folderFor, writeAll } from '../shared/folder_output.js';
import { commandLine, formatOf, kindOf, lengthArgs, loopEndCode, qualityTenths } from '../shared/kinds.js';
import { keptName } from '../shared/names.js';
import { peaksOfSource } from '../shared/peaks.js';
import { wavBlob } from '../shared/plan_blob.js';
import { fromWorker } from '../shared/protocol.js';
import { blockExtremesIn, fadeIn, newInstance, outputNames, planRun } from './core_bridge.js';
import { encodeAll } from './encode.js';
import { release } from './release.js';

const WORK_FOLDER = '/work';
const SOURCE_FOLDER = '/source';
// A file up to this size is read whole, once, for the run and the waveform;
// a larger one is read in place: the run reads what it reads of the file
// itself (mounted, never copied), and the waveform reads its sample data
// in pieces, so that no file is ever held whole.
const READ_WHOLE_BELOW = 16 * 1024 * 1024;
const PEAK_COLUMNS = 2048;  // a waveform is drawn at the device's width from these

let moduleArrived;
const compiledModule = new Promise((resolve) => { moduleArrived = resolve; });

// The chosen folder's place for the WAVs. Each name the run may write that
// is a file there (under the name the page saves it as) gets a stand-in of
// its first bytes in the run's own folder, so that the run judges it exactly
// as the command line judges the real file: one that holds a container is
// refused (-14).
const JUDGED_BYTES = 4;
async function prepareOutput(kelvor, source, output, kind, format, ownName) {
  const folder = await folderFor(output.folder, output.subfolders);
  for (const path of outputNames(kelvor, source, kind, format.code)) {
    const name = path.split('/').pop();
    const head = await firstBytes(folder, keptName(ownName(path)), JUDGED_BYTES);
    if (head) kelvor.FS.writeFile(name, head);
  }
  return folder;
}

// Rejects when `signal` aborts: a stop does not wait for a slow read.
const aborted = (signal) => new Promise((_, reject) => {
  signal.addEventListener('abort', () => reject(signal.reason), { once: true });
});

// Records in `timing` the milliseconds since the last lap, under the lap's name.
function stopwatch(timing) {
  let mark = performance.now();
  return (stage) => {
    const now = performance.now();
    timing[stage] = now - mark;
    mark = now;
  };
}

// An instance is kept for the next file while the files are small: making
// one costs as much as converting a small file. A run leaves nothing behind
// in it (the converter keeps no state between runs, its output is flushed,
// its folder is emptied); after a large file it is let go, as the memory an
// instance grew to is never given back.
const KEEP_INSTANCE_BELOW = 4 * 1024 * 1024;
let kept = null;  // { kelvor, sink }, ready for the next file

async function instance() {
  if (kept) {
    const ready = kept;
    kept = null;
    return ready;
  }
  const sink = { printed: [] };
  let kelvor;
  try {
    kelvor = await newInstance(globalThis.createKelvor, await compiledModule, sink);
  } catch (error) {
    throw new StartFailure(error);
  }
  kelvor.FS.mkdir(WORK_FOLDER);
  kelvor.FS.chdir(WORK_FOLDER);
  return { kelvor, sink };
}

// Empties the instance's folder and keeps the instance after a small file.
function keep(ready, bytes) {
  const { FS } = ready.kelvor;
  for (const entry of FS.readdir(WORK_FOLDER)) if (entry !== '.' && entry !== '..') FS.unlink(entry);
  if (ready.mounted) {
    FS.unmount(SOURCE_FOLDER);
    ready.mounted = false;
  }
  if (bytes < KEEP_INSTANCE_BELOW) kept = ready;
}

// The file where the run reads it, in place: mounted read-only (the browser's
// own file system for workers reads the slices the run asks for), and named
// in the run's folder by a link, so that the run's names and messages are
// the command line's.
function mount(ready, file) {
  const { FS } = ready.kelvor;
  if (!FS.analyzePath(SOURCE_FOLDER).exists) FS.mkdir(SOURCE_FOLDER);
  FS.mount(FS.filesystems.WORKERFS, { files: [file] }, SOURCE_FOLDER);
  ready.mounted = true;
  FS.symlink(`${SOURCE_FOLDER}/${file.name}`, `${WORK_FOLDER}/${file.name}`);
}

// Reads bytes of `file` where they lie, at once (a worker may wait for them).
function readerOf(file) {
  const reader = new FileReaderSync();
  return (offset, length) => new Uint8Array(reader.readAsArrayBuffer(file.slice(offset, offset + length)));
}

// Runs the command line on the file, its WAVs planned, and makes each WAV
// from its plan: the reply's fields (web/shared/protocol.js's `done`), the
// folder its WAVs go into, if any, and `peaks()`, which works out the
// waveform's peaks from the file's bytes once the reply is sent. The file's
// bytes join `held`, to be let go once the file is done.
async function convert({ file, path, reading, settings, output }, held, timing, signal, onProgress) {
  const lap = stopwatch(timing);
  // A name that begins with "-" is given to the run as "./NAME", which the
  // run's own names then begin with; the page only ever sees the file's own.
  const args = commandLine(file.name, settings);
  const ownName = (name) => (args[0] !== file.name && name.startsWith('./') ? name.slice(2) : name);
  const kind = kindOf(settings.output).code;
  const format = formatOf(settings.format);
  const ready = await instance();
  signal.throwIfAborted();
  const { kelvor, sink } = ready;
  // A FLAC or Ogg file is named by its format: the run is given the name.
  if (format.id !== 'wav') args.splice(1, 0, outputNames(kelvor, args[0], kind, format.code)[0]);
  lap('instance');
  let input = null;
  let read;
  try {
    if (reading) {
      input = new Uint8Array(await Promise.race([reading, aborted(signal)]));
    } else {  // a first byte read, so that a file moved or deleted since it was chosen says so
      await Promise.race([file.slice(0, 1).arrayBuffer(), aborted(signal)]);
    }
  } catch (error) {
    throw signal.aborted || isOutOfMemory(error) ? error : new UnreadableFile(error);
  }
  signal.throwIfAborted();
  if (input) {
    held.push(input.buffer);
    kelvor.FS.writeFile(file.name, input, { canOwn: true });  // MEMFS keeps the array: no copy
    read = (offset, length) => input.subarray(offset, offset + length);
  } else {
    mount(ready, file);
    read = readerOf(file);
  }
  const folder = output ? await prepareOutput(kelvor, args[0], output, kind, format, ownName) : null;
  lap('read');
  signal.throwIfAborted();
  const { status, run } = planRun(kelvor, args, kind, sink, loopEndCode(settings), format.code, qualityTenths(settings),
    { args: lengthArgs(settings), loops: settings.loops, path });
  lap('run');
  const reply = { printed: new Uint8Array(sink.printed), status, facts: run.facts, wavs: [], once: null,
    lengths: run.lengths, loopList: run.loop_list || null };
  // A container without a track makes an empty file, which is no WAV.
  if (status === 0 && run.facts.trk_mark) {
    const fade = fadeIn(kelvor);
    reply.wavs = run.wavs.map((wav) => ({ name: ownName(wav.name), role: wav.role, size: wav.bytes, playable: wav.playable,
      blob: wav.encoding ? null : wavBlob(wav, file, read, fade) }));
    reply.once = wavBlob(run.once, file, read);
    if (format.id !== 'wav') await encodeAll(kelvor, sink, run, reply, file, settings, signal, onProgress);
    lap('encode');
  }
  const peaks = () => {
    try {
      return reply.wavs.length > 0 ? peaksOfSource(read, file.size, run.facts, PEAK_COLUMNS, blockExtremesIn(kelvor)) : null;
    } finally {
      keep(ready, file.size);
    }
  };
  return { reply, folder, peaks };
}

// Pipes each WAV into the output folder, where one was chosen, under the
// names the page gives for them; the page then keeps no WAV. The run
// succeeded: the row fails all the same when a WAV cannot be written, and
// keeps the run's messages. Progress is sent at most four times a second.
const PROGRESS_EVERY_MS = 250;
async function deliver(id, { reply, folder }, subfolders, timing, signal) {
  if (!folder || reply.wavs.length === 0) return reply;
  const lap = stopwatch(timing);
  const names = await askNames(id, reply.wavs.map((wav) => wav.name));
  if (!names) {  // the page stopped the batch while it chose the names
    inProgress.stop.abort();
    signal.throwIfAborted();
  }
  if (names.failure) {  // the folder could not be looked into: nothing is written
    reply.writeFailure = names.failure;
    return reply;
  }
  const wavs = reply.wavs.map((wav, i) => ({ ...names[i], blob: wav.blob }));
  const total = reply.wavs.reduce((sum, wav) => sum + wav.size, 0);
  const progress = progressOf(id);
  const onBytes = (written) => progress('writing', written, total);
  try {
    await writeAll(folder, wavs, { signal, onBytes });
    reply.wavs.forEach((wav, i) => {
      wav.name = names[i].name;
      wav.written = [...subfolders, wav.name].join('/');
      delete wav.blob;
    });
  } catch (error) {
    if (signal.aborted || !isWriteFailure(error)) throw error;
    reply.writeFailure = { name: error.name, message: error.message };
  }
  lap('output');
  return reply;
}

// Sends a job's progress in a stage ('encoding', 'writing'), at most four
// times a second.
function progressOf(id) {
  let sentAt = 0;
  return (stage, done, total) => {
    const now = performance.now();
    if (now - sentAt < PROGRESS_EVERY_MS) return;
    sentAt = now;
    self.postMessage(fromWorker.progress(id, done, total, stage));
  };
}

// The page's answer to a job's names: null when the job is to stop.
const namesDue = new Map();  // job id -> resolve
function askNames(id, names) {
  return new Promise((resolve) => {
    namesDue.set(id, resolve);
    self.postMessage(fromWorker.names(id, names));
  });
}

function answerNames(id, names) {
  const resolve = namesDue.get(id);
  namesDue.delete(id);
  if (resolve) resolve(names);
}

// A browser that cannot hold the file throws a RangeError rather than
// returning a result code.
function isOutOfMemory(error) {
  return error instanceof RangeError || /memory|allocation/i.test(String(error && error.message));
}

// A file that could not be read: moved, changed or deleted since it was
// chosen (or, in some browsers, too large to hold).
class UnreadableFile extends Error {
  constructor(cause) {
    super(`${cause && cause.name}: ${cause && cause.message}`);
    this.name = 'UnreadableFile';
  }
}

// The converter's instance could not be made.
class StartFailure extends Error {
  constructor(cause) {
    super(`${cause && cause.name}: ${cause && cause.message}`);
    this.name = 'StartFailure';
  }
}

// File system errors that a write into the chosen folder meets.
function isWriteFailure(error) {
  return error && ['NotFoundError', 'NotAllowedError', 'QuotaExceededError', 'InvalidStateError',
    'NoModificationAllowedError', 'TypeMismatchError', 'InvalidModificationError', 'NotReadableError',
    'AbortError'].includes(error.name);
}

function failed(id, error) {
  const failure = error instanceof StartFailure ? 'start' : isOutOfMemory(error) ? 'memory'
    : error instanceof UnreadableFile ? 'unreadable' : isWriteFailure(error) ? 'write' : 'internal';
  const wrapped = error instanceof StartFailure || error instanceof UnreadableFile;
  return fromWorker.failed(id, failure,
    wrapped ? error.message : error && error.name ? `${error.name}: ${error.message}` : String(error));
}

let inProgress = null;  // { id, stop: AbortController } of the job converting

async function run({ id, file, path, reading, settings, output }) {
  const held = [];
  const timing = {};
  const stop = new AbortController();
  inProgress = { id, stop };
  self.postMessage(fromWorker.started(id));
  try {
    const converted = await convert({ file, path, reading, settings, output }, held, timing, stop.signal, progressOf(id));
    const reply = await deliver(id, converted, output && output.subfolders, timing, stop.signal);
    stop.signal.throwIfAborted();
    self.postMessage(fromWorker.done(id, { ...reply, timing }), [reply.printed.buffer]);
    const started = performance.now();
    const peaks = converted.peaks();
    if (reply.wavs.length > 0) self.postMessage(fromWorker.peaks(id, peaks, performance.now() - started));
  } catch (error) {
    self.postMessage(stop.signal.aborted ? fromWorker.stopped(id) : failed(id, error));
  } finally {
    inProgress = null;
    release(held);  // at once: a batch of large files never holds several at a time
  }
}

const queue = [];  // jobs handed over and not yet started, their bytes on the way
let converting = false;

async function convertQueue() {
  if (converting) return;
  converting = true;
  while (queue.length > 0) await run(queue.shift());
  converting = false;
}

self.onmessage = ({ data }) => {
  if (data.type === 'module') {
    moduleArrived(data.module);
  } else if (data.type === 'stop') {
    for (const job of queue.splice(0)) self.postMessage(fromWorker.discarded(job.id));
    if (inProgress) {
      inProgress.stop.abort();
      answerNames(inProgress.id, null);
    }
  } else if (data.type === 'names') {
    answerNames(data.id, data.names);
  } else if (data.type === 'job') {
    // A file read whole is read at once, so that the next files are read while one converts.
    const reading = data.file.size < READ_WHOLE_BELOW ? data.file.arrayBuffer() : null;
    if (reading) reading.catch(() => {});  // a failed read is met when the file is converted
    queue.push({ ...data, reading });
    convertQueue();
  }
};

// The pool takes a worker that falls silent for lost: this says it lives,
// between any two steps of a file.
self.postMessage(fromWorker.alive());
setInterval(() => self.postMessage(fromWorker.alive()), 1000);
