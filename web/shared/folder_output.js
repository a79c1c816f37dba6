// Writing into the output folder the user chose: the WAVs, from the worker,
// and the loop lists, from the page. A file already there is treated as the
// command line treats a destination: one that begins with "fZQ " is another
// container and is never written over; any other is replaced.
const CONTAINER_MAGIC = [0x66, 0x5a, 0x51, 0x20];  // "fZQ "

// The folder for a relative path's subfolders, made where missing.
export async function folderFor(root, subfolders) {
  let folder = root;
  for (const name of subfolders) folder = await folder.getDirectoryHandle(name, { create: true });
  return folder;
}

// True when `name` in `folder` is a file that begins with the container
// magic. A missing name, or a folder of that name, is no container.
export async function holdsContainer(folder, name) {
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

// Writes the Blob `blob` as `name` in `folder`, replacing what was there:
// its stream is piped into the file's. A failed write leaves the file as it
// was: the written data is kept aside until the stream closes, and a failed
// pipe aborts it.
export async function write(folder, name, blob) {
  const stream = await (await folder.getFileHandle(name, { create: true })).createWritable();
  await blob.stream().pipeTo(stream);
}
