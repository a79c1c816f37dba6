// A WAV handed back to the page as a Blob, made as the run writes it, and
// the letting go of a finished file's buffers.
'use strict';

const KelvorBlobPieces = (() => {
  const Wav = typeof KelvorWav === 'object' ? KelvorWav : require('./wav.js');

  // A file handed back as a Blob is never held whole once it is large: its
  // bytes are copied, as the run writes them, into a staging buffer, then
  // into Blob pieces of STAGING_MOST through the same buffer (a Blob keeps a
  // copy of its bytes), and only its first bytes, the header, are kept.
  // Holding the whole file first had cost as much fresh memory again as the
  // Blob, which on this kind of machine is slower to get than the copy
  // itself. For the same reason the staging buffer, once its first bytes
  // are in, takes at once the length the RIFF header announces (at most
  // STAGING_MOST) rather than doubling. A small file is one Blob, as each
  // piece costs a round trip to the browser's own process.
  const STAGING_FIRST = 64 * 1024;
  const STAGING_MOST = 32 * 1024 * 1024;
  const HEAD_BYTES = 4096;

  class BlobPieces {
    constructor() {
      this.pieces = [];
      this.length = 0;
      this.firstBytes = new Uint8Array(HEAD_BYTES);
      this.staging = new Uint8Array(STAGING_FIRST);
      this.staged = 0;
    }

    // The run writes each file in order, from its start.
    write(bytes, position) {
      if (position !== this.length) throw new Error(`a write at ${position} into a file of ${this.length} bytes`);
      if (this.length < HEAD_BYTES) this.firstBytes.set(bytes.subarray(0, HEAD_BYTES - this.length), this.length);
      for (let at = 0; at < bytes.length;) {
        if (this.staged === this.staging.length) this.makeRoom();
        const n = Math.min(bytes.length - at, this.staging.length - this.staged);
        this.staging.set(bytes.subarray(at, at + n), this.staged);
        this.staged += n;
        at += n;
      }
      this.length += bytes.length;
    }

    makeRoom() {
      if (this.staging.length < STAGING_MOST) {
        const wanted = Math.max(2 * this.staging.length, Wav.announcedLength(this.head()));
        const grown = new Uint8Array(Math.min(STAGING_MOST, wanted));
        grown.set(this.staging);
        this.staging = grown;
        return;
      }
      this.pieces.push(new Blob([this.staging]));
      this.staged = 0;
    }

    // The file's first bytes (at most HEAD_BYTES).
    head() {
      return this.firstBytes.subarray(0, Math.min(this.length, HEAD_BYTES));
    }

    // The file as one Blob; the staging buffer joins `spent`, to be let go.
    blob(type, spent) {
      const last = this.staging.subarray(0, this.staged);
      spent.push(this.staging.buffer);
      this.staging = null;
      return new Blob(this.pieces.length > 0 ? [...this.pieces, last] : [last], { type });
    }
  }

  // Lets go of buffers at once. Detaching a buffer in script (transfer(0))
  // is not enough: a buffer that the browser made (a file's bytes) or was
  // handed (a WAV written into a folder) stays held by the browser's own
  // record of it until the collector comes round, which in some batches of
  // large files was only after some ten of them (900 MiB). Transferred in a
  // message, the bytes leave that record; sent to a closed port, the message
  // is dropped with them at once.
  function release(buffers) {
    const live = [...new Set(buffers)].filter((buffer) => buffer instanceof ArrayBuffer && buffer.byteLength > 0);
    if (live.length === 0) return;
    const { port1, port2 } = new MessageChannel();
    port2.close();
    try {
      port1.postMessage(null, live);
    } catch {
      for (const buffer of live) if (typeof buffer.transfer === 'function' && !buffer.detached) buffer.transfer(0);
    } finally {
      port1.close();
    }
  }

  return { BlobPieces, release, HEAD_BYTES, STAGING_MOST };
})();

if (typeof module === 'object') module.exports = KelvorBlobPieces;
