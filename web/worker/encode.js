// A planned file of an encoded format made in the converter's instance: its
// sound read from the dropped file a piece at a time, each handed to the
// encoder (web/core/page_encode.cc) and its bytes taken at once, so that
// between two pieces the worker hears a stop and tells its progress.
import { formatOf, qualityTenths } from '../shared/kinds.js';
import { encodedBlob, soundBytes } from '../shared/plan_blob.js';
import { fadeIn, startEncoding } from './core_bridge.js';

// The sound goes to the encoder in pieces of this size: each is some tens
// of milliseconds of encoding, so a stop is heard within a second. The
// encoders' bytes do not depend on it (wave/vorbis_encoder.cc steps its
// analysis alike whatever the pieces).
const PIECE_BYTES = 1024 * 1024;
const TYPES = { flac: 'audio/flac', ogg: 'audio/ogg' };

// The encoder failed (its line printed by the instance): `status` its code.
export class EncodingFailed extends Error {
  constructor(status) {
    super(`the encoder failed with ${status}`);
    this.name = 'EncodingFailed';
    this.status = status;
  }
}

// The file of `wav` (a planned file with an `encoding`) in `format` (a row
// of web/shared/kinds.js's FORMATS) at `tenths` (its quality in tenths), as a Blob;
// `options` as encodedBlob takes them.
export async function encodedFile(kelvor, wav, file, format, tenths, options) {
  const encoding = startEncoding(kelvor, wav.encoding, format.code, tenths, PIECE_BYTES);
  const check = (status) => {
    if (status !== 0) throw new EncodingFailed(status);
  };
  const taken = (status) => {  // what a step wrote, which the next step may add to
    check(status);
    return [encoding.take()];
  };
  try {
    check(encoding.status);
    const encoder = { piece: (bytes) => taken(encoding.piece(bytes)), end: () => taken(encoding.end()),
      head: () => encoding.head() };
    return await encodedBlob(wav, file, encoder, PIECE_BYTES, TYPES[format.id], { ...options, fade: fadeIn(kelvor) });
  } finally {
    encoding.free();
  }
}

// Encodes each planned file into its Blob, telling the share of the
// sound encoded; a failure of the encoder fails the run with its line, and
// nothing is handed back.
export async function encodeAll(kelvor, sink, run, reply, file, settings, signal, onProgress) {
  const format = formatOf(settings.format);
  const total = run.wavs.reduce((sum, wav) => sum + soundBytes(wav), 0);
  let done = 0;
  try {
    for (const [i, wav] of run.wavs.entries()) {
      const onSound = (bytes) => onProgress('encoding', (done += bytes), total);
      reply.wavs[i].blob = await encodedFile(kelvor, wav, file, format, qualityTenths(settings), { signal, onSound });
      reply.wavs[i].size = reply.wavs[i].blob.size;
      reply.wavs[i].playable = false;  // the row's players play the sound once, a WAV
    }
  } catch (error) {
    if (!(error instanceof EncodingFailed)) throw error;
    reply.status = error.status;
    reply.printed = new Uint8Array(sink.printed);
    reply.wavs = [];
    reply.once = null;
  }
}
