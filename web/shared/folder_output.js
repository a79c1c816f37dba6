// Writing a WAV into the output folder the user chose, from the worker. A file
// already there is treated as the command line treats a destination: one
// that begins with "fZQ " is another container and is never written over;
// any other is replaced.
'use strict';

const FolderOutput = (() => {
  const WRITE_PIECE = 8 * 1024 * 1024;  // what one write of the stream takes
  const CONTAINER_MAGIC = [0x66, 0x5a, 0x51, 0x20];  // "fZQ "

  // The folder for a relative path's subfolders, made where missing.
  async function folderFor(root, subfolders) {
    let folder = root;
    for (const name of subfolders) folder = await folder.getDirectoryHandle(name, { create: true });
    return folder;
  }

  // True when `name` in `folder` is a file that begins with the container
  // magic. A missing name, or a folder of that name, is no container.
  async function holdsContainer(folder, name) {
    let file;
    try {
      file = await (await folder.getFileHandle(name)).getFile();
    } catch (error) {
      if (error.name === 'NotFoundError' || error.name === 'TypeMismatchError') return false;
      throw error;
    }
    if (file.size < CONTAINER_MAGIC.length) return false;
    const head = new Uint8Array(await file.slice(0, CONTAINER_MAGIC.length).arrayBuffer());
    return CONTAINER_MAGIC.every((byte, i) => head[i] === byte);
  }

  // Writes `bytes` as `name` in `folder`, replacing what was there. A failed
  // write leaves the file as it was: the stream's data is kept aside until
  // it is closed.
  async function write(folder, name, bytes) {
    const stream = await (await folder.getFileHandle(name, { create: true })).createWritable();
    try {
      for (let at = 0; at < bytes.length; at += WRITE_PIECE) {
        await stream.write(bytes.subarray(at, Math.min(at + WRITE_PIECE, bytes.length)));
      }
      if (bytes.length === 0) await stream.truncate(0);
    } catch (error) {
      await stream.abort().catch(() => {});
      throw error;
    }
    await stream.close();
  }

  return { folderFor, holdsContainer, write };
})();
