// A converter worker. It is started from a Blob that holds the module
// factory `createKelvor` (the command line's own run, compiled to
// WebAssembly), KelvorWav, KelvorPeaks, FolderOutput and this file.
//
// The page compiles the WebAssembly once and sends the compiled module first,
// as { module }. Each file is then converted in an instance made from it
// (kept for the next file while the files are small), in a folder that holds
// only that file, exactly as one run of the command line would: the run receives `args`, every byte it prints
// is sent back as printed, and the facts it found (the reader's record, the
// loop count used, the header's derived values: web/track_facts.h) come
// with it. The file's bytes and the WAV's are let go when the reply is sent.
//
// Messages from the page: { id, file, args, output } hands over a file,
// whose bytes are read at once; files are converted one at a time in the
// order handed over, so that the next files are read while one converts.
// Each is announced { id, started: true } when its conversion starts, then
// answered once. { stop: true } lets go of every file not yet started, each
// answered { id, discarded: true }. `output` is null, for a WAV handed back
// to the page as a Blob, or { folder, subfolders }, for a WAV written into
// the chosen folder (a FileSystemDirectoryHandle) and released.
'use strict';

const WORK_FOLDER = '/work';

let moduleArrived;
const compiledModule = new Promise((resolve) => { moduleArrived = resolve; });

// An instance whose standard output goes to `sink.printed`. A failure to make
// it (the WebAssembly refused, no memory for it) is a StartFailure.
async function newInstance(sink) {
  const module = await compiledModule;
  let failed;
  const failure = new Promise((_, reject) => { failed = reject; });
  const made = createKelvor({
    instantiateWasm(imports, receive) {
      WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module), failed);
      return {};
    },
    stdout: (byte) => { if (byte !== null) sink.printed.push(byte); },
    stderr: () => {},  // the tool writes nothing there
  });
  try {
    return await Promise.race([made, failure]);
  } catch (error) {
    throw new StartFailure(error);
  }
}

// The destination that the command line derives for the source name `source`.
function derivedName(kelvor, source) {
  const size = kelvor.lengthBytesUTF8(source) + 8;
  const buffers = kelvor._malloc(2 * size);
  try {
    kelvor.stringToUTF8(source, buffers, size);
    if (kelvor._kelvor_derived_name(buffers, buffers + size, size) < 0) throw new Error('no derived name');
    return kelvor.UTF8ToString(buffers + size);
  } finally {
    kelvor._free(buffers);
  }
}

// The facts of a run, by name, in the order of web/track_facts.h.
const FACTS = ['total_size', 'trk_offset', 'trk_mark', 'data_offset', 'data_bytes', 'sample_rate', 'channels',
  'frame_bits', 'sample_bits', 'slp_offset', 'loop_mark', 'loop_start', 'loop_count', 'block_align', 'byte_rate',
  'data_length', 'header_result'];

// One run of the command line with `args`, as main would be given them: its
// result and its facts.
function runCommandLine(kelvor, args) {
  const argv = ['kelvor', ...args];
  const sizes = argv.map((arg) => kelvor.lengthBytesUTF8(arg) + 1);
  const block = kelvor._malloc(4 * argv.length + 4 * FACTS.length + sizes.reduce((a, b) => a + b, 0));
  if (!block) throw new RangeError('no memory for the arguments');
  try {
    const facts = block + 4 * argv.length;
    let text = facts + 4 * FACTS.length;
    argv.forEach((arg, i) => {
      kelvor.stringToUTF8(arg, text, sizes[i]);
      kelvor.setValue(block + 4 * i, text, 'i32');
      text += sizes[i];
    });
    const status = kelvor._kelvor_page_run(argv.length, block, facts);
    const named = Object.fromEntries(FACTS.map((name, i) => [name, kelvor.getValue(facts + 4 * i, 'i32') >>> 0]));
    named.header_result |= 0;  // 0, -32 or -33
    return { status, facts: named };
  } finally {
    kelvor._free(block);
  }
}

const PEAK_COLUMNS = 2048;  // a waveform is drawn at the device's width from these

// MEMFS, which holds the files, grows a file that fills by an eighth,
// copying it whole each time: a WAV of 160 MiB would be copied some forty
// times. Here a growing file takes at once the length its RIFF header
// announces (the header is written first, on its own), and any other file
// doubles. Only the storage's size changes; every byte is MEMFS's to write.
function growFilesAtOnce(FS) {
  FS.writeFile('/probe', new Uint8Array(0));
  const fileOps = FS.lookupPath('/probe').node.stream_ops;  // shared by every file of the instance
  FS.unlink('/probe');
  const write = fileOps.write;
  fileOps.write = function (stream, buffer, offset, length, position, canOwn) {
    const node = stream.node;
    const held = node.contents;
    const needed = position + length;
    if (held && node.usedBytes > 0 && needed > held.length) {
      const doubled = Math.max(needed, 2 * held.length);
      const grown = allocate(Math.max(doubled, KelvorWav.announcedLength(held.subarray(0, node.usedBytes))), doubled);
      grown.set(held.subarray(0, node.usedBytes));
      node.contents = grown;
    }
    return write.call(this, stream, buffer, offset, length, position, canOwn);
  };
}

// A header may announce more than the run will write (the source may end
// early): if the preferred length cannot be had, the file grows as any other.
function allocate(preferred, fallback) {
  try {
    return new Uint8Array(preferred);
  } catch (error) {
    if (!(error instanceof RangeError) || preferred === fallback) throw error;
    return new Uint8Array(fallback);
  }
}

function fileBytes(FS, path) {
  const node = FS.lookupPath(path).node;
  return node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
}

// The files main left in the folder besides the source: the WAV it wrote, if any.
function writtenFiles(FS, sourceName) {
  return FS.readdir(WORK_FOLDER).filter((entry) => entry !== '.' && entry !== '..' && entry !== sourceName);
}

// The chosen folder's place for the WAV, and whether a container is there.
// A container gets a stand-in of its first bytes in the run's own folder, so
// that main refuses it exactly as the command line refuses the real file.
async function prepareOutput(kelvor, args, output) {
  const name = derivedName(kelvor, args[0]).split('/').pop();
  const folder = await FolderOutput.folderFor(output.folder, output.subfolders);
  if (await FolderOutput.holdsContainer(folder, name)) {
    kelvor.FS.writeFile(name, new TextEncoder().encode('fZQ '));
  }
  return { folder, name };
}

// The file's bytes and its WAV's are let go as soon as the file is done
// (detached, so their memory goes back at once, not when the collector next
// comes round): a batch of large files never holds several at a time.
function release(buffers) {
  for (const buffer of buffers) {
    if (buffer && buffer.byteLength > 0 && typeof buffer.transfer === 'function') buffer.transfer(0);
  }
}

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
    ready.sink.printed = [];
    return ready;
  }
  const sink = { printed: [] };
  const kelvor = await newInstance(sink);
  growFilesAtOnce(kelvor.FS);
  kelvor.FS.mkdir(WORK_FOLDER);
  kelvor.FS.chdir(WORK_FOLDER);
  return { kelvor, sink };
}

// Empties the instance's folder and keeps the instance when its run moved
// few bytes.
function keep(ready, bytes) {
  const { FS } = ready.kelvor;
  for (const entry of FS.readdir(WORK_FOLDER)) if (entry !== '.' && entry !== '..') FS.unlink(entry);
  if (bytes < KEEP_INSTANCE_BELOW) kept = ready;
}

// Runs the command line on the file: { reply, bytes, target, ready },
// `bytes` the WAV, if one was made, `target` its place in the output folder
// and `ready` the instance. The file's bytes join `held` too: letting them
// go before the WAV is written was seen to double the peak memory of a batch
// of large files.
async function convert(file, reading, args, output, held, timing) {
  const lap = stopwatch(timing);
  const ready = await instance();
  const { kelvor } = ready;
  const FS = kelvor.FS;
  lap('instance');
  let input;
  try {
    input = new Uint8Array(await reading);
  } catch (error) {
    throw isOutOfMemory(error) ? error : new UnreadableFile(error);
  }
  held.push(input.buffer);
  FS.writeFile(file.name, input, { canOwn: true });
  const target = output ? await prepareOutput(kelvor, args, output) : null;
  lap('read');
  const { status, facts } = runCommandLine(kelvor, args);
  lap('run');
  const written = writtenFiles(FS, file.name);
  const reply = { printed: new Uint8Array(ready.sink.printed), status, wav: null, facts };
  // A container without a track leaves an empty file, which is no WAV.
  if (status !== 0 || !facts.trk_mark || written.length !== 1) return { reply, bytes: null, target, ready, moved: input.length };
  const bytes = fileBytes(FS, written[0]);
  held.push(bytes.buffer);
  reply.wav = { name: written[0], size: bytes.length, playable: KelvorWav.playable(bytes) };
  return { reply, bytes, target, ready, moved: input.length + bytes.length };
}

// The WAV as its first pass and the loop section again and again, in sample
// frames, from the run's facts, where reading the first pass alone pays: a
// long sound, most of it repetitions. Null where the repetitions do not fall
// on whole frames, or there are few.
const FIRST_PASS_FROM = 1 << 20;  // frames in all
function firstPass({ data_bytes: data, loop_start: loop, block_align: align, data_length: length }) {
  if (!align || loop >= data || data % align || loop % align) return null;
  if (length / align < Math.max(FIRST_PASS_FROM, 2 * data / align)) return null;
  return { dataFrames: data / align, loopFrame: loop / align };
}

// Hands the WAV over, written into the output folder or as a Blob, with
// its waveform's peaks. Returns the reply.
async function deliver({ reply, bytes, target }, subfolders, timing) {
  const lap = stopwatch(timing);
  if (!bytes) return reply;
  if (!target) {
    reply.wav.blob = new Blob([bytes], { type: 'audio/wav' });  // a copy
    lap('output');
    reply.wav.peaks = KelvorPeaks.peaks(bytes, PEAK_COLUMNS, firstPass(reply.facts));  // while the browser takes the Blob's bytes
    lap('peaks');
    return reply;
  }
  reply.wav.peaks = KelvorPeaks.peaks(bytes, PEAK_COLUMNS, firstPass(reply.facts));
  lap('peaks');
  // The run succeeded; the row fails all the same when its WAV cannot be
  // written, and keeps the run's messages.
  try {
    await FolderOutput.write(target.folder, target.name, bytes);
    lap('output');
    reply.wav.written = [...subfolders, target.name].join('/');
  } catch (error) {
    if (!isWriteFailure(error)) throw error;
    reply.writeFailure = `${error.name}: ${error.message}`;
  }
  return reply;
}

// A browser that cannot hold the file or its WAV throws a RangeError rather
// than returning a result code.
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
    'NoModificationAllowedError', 'TypeMismatchError', 'InvalidModificationError'].includes(error.name);
}

function failureReply(id, error) {
  const failure = error instanceof StartFailure ? 'start' : isOutOfMemory(error) ? 'memory'
    : error instanceof UnreadableFile ? 'unreadable' : isWriteFailure(error) ? 'write' : 'internal';
  const wrapped = error instanceof StartFailure || error instanceof UnreadableFile;
  return { id, failure, detail: wrapped ? error.message : error && error.name ? `${error.name}: ${error.message}` : String(error) };
}

// Each reply says where its time went, in milliseconds: making the
// instance, reading the file in, the run, the peaks, and handing the WAV
// over (a Blob, or the writes into the folder).
async function run({ id, file, reading, args, output }) {
  const held = [];
  const timing = {};
  self.postMessage({ id, started: true });
  try {
    const converted = await convert(file, reading, args, output, held, timing);
    const reply = await deliver(converted, output && output.subfolders, timing);
    keep(converted.ready, converted.moved);
    self.postMessage({ id, ...reply, timing }, [reply.printed.buffer]);
  } catch (error) {
    self.postMessage(failureReply(id, error));
  } finally {
    release(held);
  }
}

const queue = [];  // files handed over and not yet started, their bytes on the way
let converting = false;

async function convertQueue() {
  if (converting) return;
  converting = true;
  while (queue.length > 0) await run(queue.shift());
  converting = false;
}

self.onmessage = ({ data }) => {
  if (data.module) {
    moduleArrived(data.module);
    return;
  }
  if (data.stop) {
    for (const job of queue.splice(0)) self.postMessage({ id: job.id, discarded: true });
    return;
  }
  const reading = data.file.arrayBuffer();
  reading.catch(() => {});  // a failed read is met when the file is converted
  queue.push({ ...data, reading });
  convertQueue();
};
