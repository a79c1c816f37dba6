// A converter worker. It is started from a Blob that holds the module
// factory `createKelvor` (the command line's own run, compiled to
// WebAssembly), KelvorWav, KelvorPeaks, FolderOutput, KelvorBlobPieces and
// this file.
//
// The page compiles the WebAssembly once and sends the compiled module first,
// as { module }. Each file is then converted in an instance made from it
// (kept for the next file while the files are small), in a folder that holds
// only that file, exactly as one run of the command line would: the run
// receives `args` and writes the output `kind`, every byte it prints is sent
// back as printed, and the facts it found (the reader's record, the loop
// count used, the header's derived values: web/track_facts.h) come with it.
// The file's bytes and the WAVs' are let go when the reply is sent.
//
// Messages from the page: { id, file, args, output, kind } hands over a
// file, whose bytes are read at once; files are converted one at a time in
// the order handed over, so that the next files are read while one
// converts. Each is announced { id, started: true } when its conversion
// starts, then answered once, with the WAVs made (`wavs`) and the peaks of
// the sound. { stop: true } lets go of every file not yet started, each
// answered { id, discarded: true }. `output` is null, for WAVs handed back
// to the page as Blobs, or { folder, subfolders }, for WAVs written into
// the chosen folder (a FileSystemDirectoryHandle) and released.
'use strict';

const WORK_FOLDER = '/work';
const { BlobPieces, release, HEAD_BYTES } = KelvorBlobPieces;

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

// Every name a run of `kind` may write for the source name `source`: the
// destination the command line derives first.
function outputNames(kelvor, source, kind) {
  const sourceSize = kelvor.lengthBytesUTF8(source) + 1;
  const namesSize = 3 * (sourceSize + 16);  // three names, each the source's and a suffix
  const block = kelvor._malloc(sourceSize + namesSize);
  if (!block) throw new RangeError('no memory for the names');
  try {
    kelvor.stringToUTF8(source, block, sourceSize);
    if (kelvor._kelvor_output_names(block, kind, block + sourceSize, namesSize) < 0) throw new Error('no derived name');
    return kelvor.UTF8ToString(block + sourceSize).split('\n');
  } finally {
    kelvor._free(block);
  }
}

// The facts of a run, by name, in the order of web/track_facts.h.
const FACTS = ['total_size', 'trk_offset', 'trk_mark', 'data_offset', 'data_bytes', 'sample_rate', 'channels',
  'frame_bits', 'sample_bits', 'slp_offset', 'loop_mark', 'loop_start', 'loop_count', 'block_align', 'byte_rate',
  'data_length', 'header_result', 'frames', 'has_loop', 'loop_start_frame', 'loop_end_frame'];

// Calls `call(argc, argv, out)` with `args` after the program's name as
// main would be given them, in the instance's memory, and `out` room for
// `outWords` 32-bit values, which it returns with the call's result.
function withArguments(kelvor, args, outWords, call) {
  const argv = ['kelvor', ...args];
  const sizes = argv.map((arg) => kelvor.lengthBytesUTF8(arg) + 1);
  const block = kelvor._malloc(4 * argv.length + 4 * outWords + sizes.reduce((a, b) => a + b, 0));
  if (!block) throw new RangeError('no memory for the arguments');
  try {
    const out = block + 4 * argv.length;
    let text = out + 4 * outWords;
    argv.forEach((arg, i) => {
      kelvor.stringToUTF8(arg, text, sizes[i]);
      kelvor.setValue(block + 4 * i, text, 'i32');
      text += sizes[i];
    });
    const status = call(argv.length, block, out);
    const words = Array.from({ length: outWords }, (_, i) => kelvor.getValue(out + 4 * i, 'i32') >>> 0);
    return { status, words };
  } finally {
    kelvor._free(block);
  }
}

// One run of the command line with `args`, writing the output `kind` (0
// the loop unrolled, 1 the loop points kept, 2 the intro and the loop
// apart): its result and its facts.
function runCommandLine(kelvor, args, kind) {
  const { status, words } = withArguments(kelvor, args, FACTS.length,
    (argc, argv, out) => kelvor._kelvor_page_run(argc, argv, kind, out));
  const facts = Object.fromEntries(FACTS.map((name, i) => [name, words[i]]));
  facts.header_result |= 0;  // 0, -32 or -33
  return { status, facts };
}

// Where a run of `args` that unrolls the loop will write the loop section
// again: { dataBytes, loopStart, keep, kept, same } for a BlobPieces, the section
// kept in the instance's memory, or null where the repetitions are too few
// or too short to be worth it, or the section too long to hold twice. The
// run's own first steps find the section, silently; BlobPieces checks each
// repeated byte all the same. `free` lets go of the section's memory.
const REPEATED_AT_LEAST = 4 * 1024 * 1024;
const SECTION_AT_LEAST = 64 * 1024;
const SECTION_AT_MOST = 256 * 1024 * 1024;
function loopSection(kelvor, sink, args) {
  const { status, words: [dataBytes, loopStart, loopCount] } = withArguments(kelvor, args, 3,
    (argc, argv, out) => kelvor._kelvor_page_loop_section(argc, argv, out));
  sink.printed = [];  // the run prints its own messages
  const sectionBytes = dataBytes - loopStart;
  if (status !== 0 || loopStart >= dataBytes || sectionBytes < SECTION_AT_LEAST || sectionBytes > SECTION_AT_MOST ||
      (loopCount - 1) * sectionBytes < REPEATED_AT_LEAST) return null;
  const kept = kelvor._malloc(sectionBytes);
  if (!kept) return null;
  return {
    dataBytes,
    loopStart,
    keep: (bytes, at) => kelvor.HEAPU8.set(bytes, kept + at),
    kept: (length) => kelvor.HEAPU8.subarray(kept, kept + length),
    // The run's writes come from the instance's memory; anything else is
    // taken as it is.
    same: (bytes, at) => bytes.buffer === kelvor.HEAPU8.buffer &&
      kelvor._kelvor_same_bytes(bytes.byteOffset, kept + at, bytes.length) === 1,
    free: () => kelvor._free(kept),
  };
}

const PEAK_COLUMNS = 2048;  // a waveform is drawn at the device's width from these

// MEMFS, which holds the files, grows a file that fills by an eighth,
// copying it whole each time: a WAV of 160 MiB would be copied some forty
// times. Here a growing file takes at once the length its RIFF header
// announces (the header is written first, on its own), and any other file
// doubles. Only the storage's size changes; every byte is MEMFS's to write.
//
// While `routing.pieces` is a Map, a file the run writes (any but
// `routing.source`) is not held in MEMFS at all: its bytes go, as they are
// written, into a BlobPieces of its own in that Map, given
// `routing.repeat` (see loopSection).
function routeWrites(FS, routing) {
  FS.writeFile('/probe', new Uint8Array(0));
  const fileOps = FS.lookupPath('/probe').node.stream_ops;  // shared by every file of the instance
  FS.unlink('/probe');
  const write = fileOps.write;
  fileOps.write = function (stream, buffer, offset, length, position, canOwn) {
    const node = stream.node;
    if (routing.pieces && node !== routing.source) {
      if (!routing.pieces.has(node.name)) routing.pieces.set(node.name, new BlobPieces(routing.repeat));
      routing.pieces.get(node.name).write(new Uint8Array(buffer.buffer, buffer.byteOffset + offset, length), position);
      return length;
    }
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

// The chosen folder's place for the WAVs. Each name the run may write that
// holds a container there gets a stand-in of its first bytes in the run's
// own folder, so that main refuses it exactly as the command line refuses
// the real file.
async function prepareOutput(kelvor, args, output, kind) {
  const folder = await FolderOutput.folderFor(output.folder, output.subfolders);
  for (const path of outputNames(kelvor, args[0], kind)) {
    const name = path.split('/').pop();
    if (await FolderOutput.holdsContainer(folder, name)) kelvor.FS.writeFile(name, new TextEncoder().encode('fZQ '));
  }
  return { folder };
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
let kept = null;  // { kelvor, sink, routing }, ready for the next file

async function instance() {
  if (kept) {
    const ready = kept;
    kept = null;
    ready.sink.printed = [];
    return ready;
  }
  const sink = { printed: [] };
  const kelvor = await newInstance(sink);
  const routing = { pieces: null, source: null, repeat: null };
  routeWrites(kelvor.FS, routing);
  kelvor.FS.mkdir(WORK_FOLDER);
  kelvor.FS.chdir(WORK_FOLDER);
  return { kelvor, sink, routing };
}

// Empties the instance's folder and keeps the instance when its run moved
// few bytes.
function keep(ready, bytes) {
  const { FS } = ready.kelvor;
  for (const entry of FS.readdir(WORK_FOLDER)) if (entry !== '.' && entry !== '..') FS.unlink(entry);
  if (bytes < KEEP_INSTANCE_BELOW) kept = ready;
}

// Runs the command line on the file: { reply, wavs, input, target, ready },
// `wavs` the WAVs it made, in the order of their names ({ name, head, and
// bytes in MEMFS or pieces on their way to a Blob }), `input` the file's
// bytes, `target` the WAVs' place in the output folder and `ready` the
// instance. The file's bytes join `held` too, to be let go with the WAVs'
// once the file is done: the peaks read them after the run.
async function convert({ file, reading, args, output, kind }, held, timing) {
  const lap = stopwatch(timing);
  const ready = await instance();
  const { kelvor, routing } = ready;
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
  const target = output ? await prepareOutput(kelvor, args, output, kind) : null;
  lap('read');
  let run;
  let pieces;
  let repeat = null;
  try {
    if (!target) {
      repeat = kind === 0 ? loopSection(kelvor, ready.sink, args) : null;
      Object.assign(routing, { pieces: new Map(), source: FS.lookupPath(file.name).node, repeat });
    }
    run = runCommandLine(kelvor, args, kind);
  } finally {
    pieces = routing.pieces;
    Object.assign(routing, { pieces: null, source: null, repeat: null });
    if (repeat) repeat.free();
  }
  const { status, facts } = run;
  lap('run');
  const reply = { printed: new Uint8Array(ready.sink.printed), status, wavs: [], facts };
  const converted = { reply, wavs: [], input, target, ready, moved: input.length };
  // A container without a track leaves an empty file, which is no WAV.
  if (status !== 0 || !facts.trk_mark) return converted;
  for (const name of writtenFiles(FS, file.name).sort()) {
    const bytes = pieces ? null : fileBytes(FS, name);
    const made = pieces ? pieces.get(name) || new BlobPieces() : null;
    if (bytes) held.push(bytes.buffer);
    const wav = { name, bytes, pieces: made, head: bytes ? bytes.subarray(0, HEAD_BYTES) : made.head() };
    converted.wavs.push(wav);
    const size = bytes ? bytes.length : made.length;
    reply.wavs.push({ name, size, playable: KelvorWav.playable(wav.head) });
    converted.moved += size;
  }
  return converted;
}

// The waveform's peaks, from the source's bytes where the run's facts say
// (see KelvorPeaks.sourcePeaks), or from the WAV's own, which `wholeWav`
// gives, where the repetitions do not fall on whole frames.
async function wavPeaks(head, input, facts, kelvor, wholeWav) {
  const fromSource = KelvorPeaks.sourcePeaks(head, input, facts, PEAK_COLUMNS, blockExtremesIn(kelvor));
  if (fromSource !== undefined) return fromSource;
  return KelvorPeaks.peaks(await wholeWav(), PEAK_COLUMNS, null, blockExtremesIn(kelvor));
}

// The table of each block's extremes for the waveform, made by the
// instance's kelvor_block_extremes a piece at a time: a piece of the PCM is
// copied into its memory, so that the memory needed stays the same for any
// length. The pieces are small enough for the instance's first memory,
// which then never grows for them. Null (the page's script makes the table
// instead) when the instance has no memory for it.
const PEAK_PIECE_BYTES = 64 * 1024;
function blockExtremesIn(kelvor) {
  return (samples, layout, frames, blockFrames) => {
    const blocks = Math.ceil(frames / blockFrames);
    const pieceBlocks = Math.max(1, Math.floor(PEAK_PIECE_BYTES / (blockFrames * layout.blockAlign)));
    const pcm = kelvor._malloc(pieceBlocks * blockFrames * layout.blockAlign + 8 * pieceBlocks);
    if (!pcm) return null;
    try {
      const lows = pcm + pieceBlocks * blockFrames * layout.blockAlign;  // a multiple of 4: blocks of whole frames
      const highs = lows + 4 * pieceBlocks;
      const low = new Float32Array(blocks);
      const high = new Float32Array(blocks);
      for (let b = 0; b < blocks; b += pieceBlocks) {
        const first = b * blockFrames;
        const end = Math.min(frames, (b + pieceBlocks) * blockFrames);
        kelvor.HEAPU8.set(samples.subarray(first * layout.blockAlign, end * layout.blockAlign), pcm);
        const made = kelvor._kelvor_block_extremes(pcm, end - first, layout.channels, layout.bits, blockFrames, lows, highs);
        low.set(kelvor.HEAPF32.subarray(lows >> 2, (lows >> 2) + made), b);
        high.set(kelvor.HEAPF32.subarray(highs >> 2, (highs >> 2) + made), b);
      }
      return { low, high };
    } finally {
      kelvor._free(pcm);
    }
  };
}

// Hands the WAVs over, written into the output folder or as Blobs, with
// the waveform's peaks of the sound. Returns the reply.
async function deliver({ reply, wavs, input, target, ready }, subfolders, held, timing) {
  const lap = stopwatch(timing);
  if (wavs.length === 0) return reply;
  // The sound, whichever the kind: the WAV unrolled, or the source's data once.
  const whole = async () => (wavs[0].bytes || new Uint8Array(await reply.wavs[0].blob.arrayBuffer()));
  if (!target) {
    wavs.forEach((wav, i) => { reply.wavs[i].blob = wav.pieces.blob('audio/wav', held); });
    lap('output');
    reply.peaks = await wavPeaks(wavs[0].head, input, reply.facts, ready.kelvor, whole);
    lap('peaks');
    return reply;
  }
  reply.peaks = await wavPeaks(wavs[0].head, input, reply.facts, ready.kelvor, whole);
  lap('peaks');
  // The run succeeded; the row fails all the same when a WAV cannot be
  // written, and keeps the run's messages.
  try {
    for (const [i, wav] of wavs.entries()) {
      await FolderOutput.write(target.folder, wav.name, wav.bytes);
      reply.wavs[i].written = [...subfolders, wav.name].join('/');
    }
    lap('output');
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
async function run({ id, file, reading, args, output, kind }) {
  const held = [];
  const timing = {};
  self.postMessage({ id, started: true });
  try {
    const converted = await convert({ file, reading, args, output, kind }, held, timing);
    const reply = await deliver(converted, output && output.subfolders, held, timing);
    keep(converted.ready, converted.moved);
    self.postMessage({ id, ...reply, timing }, [reply.printed.buffer]);
  } catch (error) {
    self.postMessage(failureReply(id, error));
  } finally {
    release(held);  // at once: a batch of large files never holds several at a time
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
