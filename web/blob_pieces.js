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

  // A WAV that unrolls a loop holds its loop section again and again. Given
  // `repeat` ({ dataBytes, loopStart, keep, kept, same }: where the section
  // lies in the sample data, which follows the header, and functions that
  // keep the section's bytes, give them back and compare bytes with them),
  // the section's bytes are kept as the run first writes them and become a
  // Blob of their own, and each later write that holds exactly its bytes,
  // as `same` checks, adds a reference to that Blob rather than a copy: the
  // section is copied once however often it repeats. The first write that
  // differs ends the references; it and all after it are staged as any other.
  class BlobPieces {
    constructor(repeat = null) {
      this.pieces = [];
      this.length = 0;
      this.firstBytes = new Uint8Array(HEAD_BYTES);
      this.staging = new Uint8Array(STAGING_FIRST);
      this.staged = 0;
      this.repeat = repeat;
      this.section = null;  // { from, to }: where the loop section lies in the file
      this.loop = null;  // its Blob, once written
      this.matched = 0;  // bytes of the repetition under way that matched it
    }

    // The run writes each file in order, from its start.
    write(bytes, position) {
      if (position !== this.length) throw new Error(`a write at ${position} into a file of ${this.length} bytes`);
      if (this.length < HEAD_BYTES) this.firstBytes.set(bytes.subarray(0, HEAD_BYTES - this.length), this.length);
      if (this.repeat && !this.section) this.findSection(Math.min(HEAD_BYTES, this.length + bytes.length));
      for (let at = 0; at < bytes.length;) at += this.take(bytes.subarray(at), this.length + at);
      this.length += bytes.length;
    }

    // Takes the first bytes of `bytes`, written at `offset`, up to the next
    // edge of the loop section: returns how many.
    take(bytes, offset) {
      const section = this.section;
      if (!section || offset < section.from) {
        const n = section ? Math.min(bytes.length, section.from - offset) : bytes.length;
        this.stage(bytes.subarray(0, n));
        if (section && offset + n === section.from) this.cut();
        return n;
      }
      const sectionBytes = section.to - section.from;
      if (offset < section.to) {
        const n = Math.min(bytes.length, section.to - offset);
        this.repeat.keep(bytes.subarray(0, n), offset - section.from);
        if (offset + n === section.to) {
          this.loop = new Blob([this.repeat.kept(sectionBytes)]);
          this.pieces.push(this.loop);
        }
        return n;
      }
      const n = Math.min(bytes.length, sectionBytes - this.matched);
      if (!this.repeat.same(bytes.subarray(0, n), this.matched)) {
        this.endRepeats();
        return 0;
      }
      this.matched += n;
      if (this.matched === sectionBytes) {
        this.pieces.push(this.loop);
        this.matched = 0;
      }
      return n;
    }

    // Once the header is in: the section from the sample data's start (the
    // "data" chunk's), if it has not been passed. Otherwise no repetitions.
    findSection(known) {
      const { dataBytes, loopStart } = this.repeat;
      const data = Wav.dataChunk(this.firstBytes.subarray(0, known));
      if (!data && known < HEAD_BYTES) return;
      if (!data || loopStart >= dataBytes || data.at + loopStart < this.length) {
        this.repeat = null;
        return;
      }
      this.section = { from: data.at + loopStart, to: data.at + dataBytes };
    }

    // The staged bytes as a piece of their own.
    cut() {
      if (this.staged > 0) this.pieces.push(new Blob([this.staging.subarray(0, this.staged)]));
      this.staged = 0;
    }

    // What was kept of a section the file ended in, or the repetition under
    // way as far as it matched; nothing more is taken as a repetition.
    endRepeats() {
      const { section, loop, matched } = this;
      if (section && !loop && this.length > section.from) {
        this.pieces.push(new Blob([this.repeat.kept(this.length - section.from)]));
      }
      if (matched > 0) this.pieces.push(loop.slice(0, matched));
      this.matched = 0;
      this.section = null;
      this.repeat = null;
    }

    stage(bytes) {
      for (let at = 0; at < bytes.length;) {
        if (this.staged === this.staging.length) this.makeRoom();
        const n = Math.min(bytes.length - at, this.staging.length - this.staged);
        this.staging.set(bytes.subarray(at, at + n), this.staged);
        this.staged += n;
        at += n;
      }
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
      if (this.section) this.endRepeats();
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
