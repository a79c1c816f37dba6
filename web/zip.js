// "Download all": the WAVs of a batch in one .zip, stored as they are (sound
// barely compresses). The archive is written by fflate, bundled into the page
// at build time; the files are fed to it in slices, so that a large batch
// never blocks the page for long.
'use strict';

const KelvorZip = (() => {
  // Without ZIP64 records every offset and size must fit in 32 bits.
  const LIMIT = 0xFFFFFFFF;
  const ENTRY_OVERHEAD = 30 + 46 + 16;  // local header + central header + data descriptor

  function fits(entries) {
    const encoder = new TextEncoder();
    let total = 22;  // end of central directory
    for (const { name, blob } of entries) total += blob.size + ENTRY_OVERHEAD + 2 * encoder.encode(name).length;
    return total <= LIMIT;
  }

  async function zipBlobs(entries) {
    if (!fits(entries)) throw new RangeError('the archive would pass 4 GiB');
    const parts = [];
    let failure = null;
    const zip = new fflate.Zip((error, chunk) => {
      if (error) failure = error;
      else parts.push(chunk);
    });
    for (const { name, blob } of entries) {
      const entry = new fflate.ZipPassThrough(name);
      zip.add(entry);
      const reader = blob.stream().getReader();
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        entry.push(value);
      }
      entry.push(new Uint8Array(0), true);
      if (failure) throw failure;
    }
    zip.end();
    if (failure) throw failure;
    return new Blob(parts, { type: 'application/zip' });
  }

  return { zipBlobs };
})();
