// Lets go of buffers at once. Detaching a buffer in script (transfer(0)) is
// not enough: a buffer that the browser made (a file's bytes) stays held by
// the browser's own record of it until the collector comes round, which in
// some batches of large files was only after some ten of them (900 MiB).
// Transferred in a message, the bytes leave that record; sent to a closed
// port, the message is dropped with them at once.
export function release(buffers) {
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
