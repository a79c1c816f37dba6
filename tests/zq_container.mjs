// Containers for the Node tests: tags and little-endian fields, 44,100 Hz.
// A container of `data` with a loop from `loopUnits` 4-byte units, or none.
export function container(data, loopUnits = null, { channels = 2, bits = 16 } = {}) {
  const trk = Buffer.alloc(36);
  trk.write('cTRK');
  [1, 0, 36, data.length / 4, 44100].forEach((v, i) => trk.writeUInt32LE(v, 4 + 4 * i));
  [0, channels, bits, 0, bits, 0].forEach((v, i) => trk.writeUInt16LE(v, 24 + 2 * i));
  const slp = Buffer.alloc(loopUnits === null ? 0 : 24);
  if (loopUnits !== null) {
    slp.write('cSLP');
    [1, 0, loopUnits, 0, 0].forEach((v, i) => slp.writeUInt32LE(v, 4 + 4 * i));
  }
  const head = Buffer.alloc(8);
  head.write('fZQ ');
  head.writeUInt32LE(8 + 36 + data.length + slp.length, 4);
  return Buffer.concat([head, trk, data, slp]);
}
