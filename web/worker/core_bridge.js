// The converter's instance, as the worker (and the unit tests, in Node) use
// it: made from the compiled module with standard output caught byte by
// byte, and the calls of web/core/page_api.cc with their arguments laid out
// in its memory.

// An instance of `createKelvor` (the module factory) made from the compiled
// WebAssembly `module`, whose standard output goes to `sink.printed`.
export async function newInstance(createKelvor, module, sink) {
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
  return Promise.race([made, failure]);
}

// Every name a run of `kind` in `format` (a format's code) may write for the
// source name `source`: the destination the command line derives first.
export function outputNames(kelvor, source, kind, format = 0) {
  const sourceSize = kelvor.lengthBytesUTF8(source) + 1;
  const namesSize = 3 * (sourceSize + 16);  // three names, each the source's and a suffix
  const block = kelvor._malloc(sourceSize + namesSize);
  if (!block) throw new RangeError('no memory for the names');
  try {
    kelvor.stringToUTF8(source, block, sourceSize);
    if (kelvor._kelvor_output_names(block, kind, format, block + sourceSize, namesSize) < 0) throw new Error('no derived name');
    return kelvor.UTF8ToString(block + sourceSize).split('\n');
  } finally {
    kelvor._free(block);
  }
}

// The converter's tables of output kinds and of formats (web/core/run_json.h's
// output_kinds_json and output_formats_json), as the page's build and
// Node's tests ask for them.
function table(kelvor, call, what) {
  const size = 16 * 1024;
  const block = kelvor._malloc(size);
  if (!block) throw new RangeError(`no memory for the table of ${what}`);
  try {
    const length = call(block, size);
    if (length < 0) throw new Error(`the table of ${what} does not fit`);
    return JSON.parse(kelvor.UTF8ToString(block, length));
  } finally {
    kelvor._free(block);
  }
}
export const kindsTable = (kelvor) => table(kelvor, kelvor._kelvor_kinds_json, 'kinds');
export const formatsTable = (kelvor) => table(kelvor, kelvor._kelvor_formats_json, 'formats');

// Calls `call(argc, argv)` with `args` after the program's name as main
// would be given them, laid out in the instance's memory.
function withArguments(kelvor, args, call) {
  const argv = ['kelvor', ...args];
  const sizes = argv.map((arg) => kelvor.lengthBytesUTF8(arg) + 1);
  const block = kelvor._malloc(4 * argv.length + sizes.reduce((a, b) => a + b, 0));
  if (!block) throw new RangeError('no memory for the arguments');
  try {
    let text = block + 4 * argv.length;
    argv.forEach((arg, i) => {
      kelvor.stringToUTF8(arg, text, sizes[i]);
      kelvor.setValue(block + 4 * i, text, 'i32');
      text += sizes[i];
    });
    return call(argv.length, block);
  } finally {
    kelvor._free(block);
  }
}

const JSON_FIRST_BYTES = 64 * 1024;

// One run of the command line with `args` for the output kind `kind` in
// `format` (a format's code; Ogg Vorbis at `qualityTenths`), its files
// planned rather than written: { status, run }, `run` the facts and plans
// that web/core/run_json.h describes. A run whose JSON does not fit is made
// again with room for it: a run changes nothing but empty destination
// files, which it makes again.
//
// `lengths` are the listening lengths and the loop list: { args (the batch
// command's options for the lengths, as web/shared/kinds.js's lengthArgs
// makes them), loops (null, or { name, text } of a loop list to apply),
// path (the file's path as the page shows it, by which the list's line is
// found) }.
export function planRun(kelvor, args, kind, sink, loopEnd = 0, format = 0, qualityTenths = 50,
  { args: lengthArgs = [], loops = null, path = '' } = {}) {
  const texts = [lengthArgs.join('\n'), loops ? loops.text : '', loops ? loops.name : '', path];
  const sizes = texts.map((text) => kelvor.lengthBytesUTF8(text) + 1);
  const strings = kelvor._malloc(sizes.reduce((a, b) => a + b, 0));
  if (!strings) throw new RangeError('no memory for the run\'s lengths');
  const at = [];
  texts.reduce((place, text, i) => {
    kelvor.stringToUTF8(text, place, sizes[i]);
    at.push(place);
    return place + sizes[i];
  }, strings);
  const json = loops && /\.json$/i.test(loops.name) ? 1 : 0;
  try {
    return planWith(kelvor, args, sink,
      (argc, argv, block, room) => kelvor._kelvor_page_plan(argc, argv, kind, loopEnd, format, qualityTenths, at[0], at[1], json,
        at[2], at[3], block, room, block + room));
  } finally {
    kelvor._free(strings);
  }
}

function planWith(kelvor, args, sink, call) {
  for (let room = JSON_FIRST_BYTES; ;) {
    const block = kelvor._malloc(room + 4);
    if (!block) throw new RangeError('no memory for the run\'s plan');
    try {
      sink.printed = [];
      const status = withArguments(kelvor, args, (argc, argv) => call(argc, argv, block, room));
      const length = kelvor.getValue(block + room, 'i32');
      if (length < room) return { status, run: JSON.parse(kelvor.UTF8ToString(block, length)) };
      room = length + 1;
    } finally {
      kelvor._free(block);
    }
  }
}

// The fade of a planned WAV's faded extents (web/core/run_json.h), made by
// the instance's kelvor_fade: `fade(bytes, fadeAt, fadeFrames)` gives a copy
// of `bytes` (whole frames of the WAV's `layout`, its "fade") faded from
// fade position `fadeAt`. Pieces go through the instance's memory one at a
// time.
export function fadeIn(kelvor) {
  return (bytes, fadeAt, fadeFrames, layout) => {
    const at = kelvor._malloc(Math.max(1, bytes.length));
    if (!at) throw new RangeError('no memory for the fade');
    try {
      kelvor.HEAPU8.set(bytes, at);
      kelvor._kelvor_fade(at, bytes.length / layout.block_align, layout.channels, layout.slot_bytes, fadeAt, fadeFrames);
      return kelvor.HEAPU8.slice(at, at + bytes.length);
    } finally {
      kelvor._free(at);
    }
  };
}

// The table of each block's extremes for the waveform (web/shared/peaks.js),
// made by the instance's kelvor_block_extremes a piece at a time: a piece of
// the PCM is copied into its memory, so that the memory needed stays the
// same for any length. The pieces are small enough for the instance's first
// memory, which then never grows for them. Null (the script makes the table
// instead) when the instance has no memory for it.
const PEAK_PIECE_BYTES = 64 * 1024;
export function blockExtremesIn(kelvor) {
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

// An encoding in the instance (web/core/page_encode.cc) of a planned file's
// sound, `encoding` the plan's (web/core/run_json.h), in `format` (a
// format's code) at `qualityTenths`, taking pieces of up to `pieceBytes`:
// `status` (0, or the failure whose line the instance printed), and the
// steps, each returning that step's status: piece(bytes), end(); take()
// gives the bytes written since last asked, head() the file's first bytes,
// final once it ended. free() lets it go, at any step.
export function startEncoding(kelvor, encoding, format, qualityTenths, pieceBytes) {
  const comments = encoding.comments.map((text) => kelvor.lengthBytesUTF8(text) + 1);
  const commentBytes = comments.reduce((a, b) => a + b, 0);
  const block = kelvor._malloc(8 + commentBytes + pieceBytes);
  if (!block) throw new RangeError('no memory for the encoder');
  const [out, piece] = [block, block + 8 + commentBytes];  // out: the encoding, then a place for the bytes' address
  let text = block + 8;
  encoding.comments.forEach((comment, i) => {
    kelvor.stringToUTF8(comment, text, comments[i]);
    text += comments[i];
  });
  const frames = encoding.frames;
  const status = kelvor._kelvor_encode_start(format, qualityTenths, encoding.channels, encoding.slot_bytes, encoding.rate,
    frames % 2 ** 32, Math.floor(frames / 2 ** 32), block + 8, comments.length, out);
  const handle = kelvor.getValue(out, 'i32');
  const bytes = (length) => {
    const at = kelvor.getValue(out + 4, 'i32');
    return kelvor.HEAPU8.slice(at, at + length);
  };
  return {
    status,
    piece(data) {
      kelvor.HEAPU8.set(data, piece);
      return kelvor._kelvor_encode_piece(handle, piece, data.length);
    },
    end: () => kelvor._kelvor_encode_end(handle),
    take() {
      const taken = bytes(kelvor._kelvor_encode_ready(handle, out + 4));
      kelvor._kelvor_encode_taken(handle);
      return taken;
    },
    head: () => bytes(kelvor._kelvor_encode_head(handle, out + 4)),
    free() {
      if (handle) kelvor._kelvor_encode_free(handle);
      kelvor._free(block);
    },
  };
}
