// Writing into the output folder the user chose: the WAVs, from the worker,
// and the loop lists, from the page.

// The folder for a relative path's subfolders, made where missing.
export async function folderFor(root, subfolders) {
  let folder = root;
  for (const name of subfolders) folder = await folder.getDirectoryHandle(name, { create: true });
  return folder;
}

// The first `n` bytes (or fewer) of the file `name` in `folder`; null when
// there is no file of that name (nothing, or a folder).
export async function firstBytes(folder, name, n) {
  let file;
  try {
    file = await (await folder.getFileHandle(name)).getFile();
  } catch (error) {
    if (error.name === 'NotFoundError' || error.name === 'TypeMismatchError') return null;
    throw error;
  }
  return new Uint8Array(await file.slice(0, n).arrayBuffer());
}

// Writes the Blob `blob` as `name` in `folder`, replacing what was there:
// its stream is piped into the file's. A failed write leaves the file as it
// was: the written data is kept aside until the stream closes, and a failed
// pipe aborts it.
export async function write(folder, name, blob) {
  const stream = await (await folder.getFileHandle(name, { create: true })).createWritable();
  await blob.stream().pipeTo(stream);
}
