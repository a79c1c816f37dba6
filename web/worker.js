// The converter's worker. It is started from a Blob that holds the module
// factory `createKelvor` (the command line's own main, compiled to
// WebAssembly) followed by this file.
//
// One message per file: { id, file, args }. Each file is converted in a fresh
// instance of the module, in a folder of its own that holds only that file,
// exactly as one run of the command line would: main receives `args`, and
// every byte it prints is sent back as printed.
'use strict';

const WORK_FOLDER = '/work';

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
      const grown = allocate(Math.max(doubled, announcedLength(held, node.usedBytes)), doubled);
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

// The file length that a RIFF header at the start of `bytes` announces, or 0.
function announcedLength(bytes, used) {
  if (used < 8 || bytes[0] !== 0x52 || bytes[1] !== 0x49 || bytes[2] !== 0x46 || bytes[3] !== 0x46) return 0;
  return new DataView(bytes.buffer, bytes.byteOffset, 8).getUint32(4, true) + 8;
}

// Length in seconds that a WAV header announces: data length / bytes per second.
function seconds(bytes) {
  if (bytes.byteLength < 44) return 0;
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const dataLengthAt = 20 + view.getUint32(16, true) + 4;  // after the format block and the "data" tag
  if (dataLengthAt + 4 > bytes.byteLength) return 0;
  const byteRate = view.getUint32(28, true);
  return byteRate === 0 ? 0 : view.getUint32(dataLengthAt, true) / byteRate;
}

// The WAV as a Blob, made straight from the bytes MEMFS holds (a Blob is
// posted to the page without a copy).
function wavFile(FS, name) {
  const node = FS.lookupPath(name).node;
  const bytes = node.contents ? node.contents.subarray(0, node.usedBytes) : new Uint8Array(0);
  return { name, blob: new Blob([bytes], { type: 'audio/wav' }), seconds: seconds(bytes) };
}

// The files main left in the folder besides the source: the WAV it wrote, if any.
function writtenFiles(FS, sourceName) {
  return FS.readdir(WORK_FOLDER).filter((entry) => entry !== '.' && entry !== '..' && entry !== sourceName);
}

async function convert(file, args) {
  const printed = [];
  const kelvor = await createKelvor({
    stdout: (byte) => { if (byte !== null) printed.push(byte); },
    stderr: () => {},  // the tool writes nothing there
  });
  const FS = kelvor.FS;
  growFilesAtOnce(FS);
  FS.mkdir(WORK_FOLDER);
  FS.chdir(WORK_FOLDER);
  FS.writeFile(file.name, new Uint8Array(await file.arrayBuffer()), { canOwn: true });
  const status = kelvor.callMain(args);  // main's result, through exit
  const written = writtenFiles(FS, file.name);
  return { printed: new Uint8Array(printed), status, wav: written.length === 1 ? wavFile(FS, written[0]) : null };
}

// A browser that cannot hold the file or its WAV throws a RangeError (or,
// reading the file, a NotReadableError) rather than returning a result code.
function isOutOfMemory(error) {
  return error instanceof RangeError || (error && error.name === 'NotReadableError') ||
         /memory|allocation/i.test(String(error && error.message));
}

self.onmessage = async (event) => {
  const { id, file, args } = event.data;
  try {
    const result = await convert(file, args);
    self.postMessage({ id, ...result }, [result.printed.buffer]);
  } catch (error) {
    self.postMessage({ id, failure: isOutOfMemory(error) ? 'memory' : 'internal', detail: String(error) });
  }
};
