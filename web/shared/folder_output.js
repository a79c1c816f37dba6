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

// Whether `name` in `folder` is taken: by a file, or by a folder.
export async function taken(folder, name) {
  try {
    await folder.getFileHandle(name);
    return true;
  } catch (error) {
    if (error.name === 'TypeMismatchError') return true;
    if (error.name === 'NotFoundError') return false;
    throw error;
  }
}

// Writes the Blob `blob` as `name` in `folder`, replacing what was there:
// its stream is piped into the file's. A failed write leaves the file as it
// was: the written data is kept aside until the stream closes, and a failed
// pipe aborts it.
export async function write(folder, name, blob) {
  const stream = await (await folder.getFileHandle(name, { create: true })).createWritable();
  await blob.stream().pipeTo(stream);
}

// Writes each of `wavs` ({ name, blob, existed }) into `folder`, all or
// none: each file's data is kept aside by the browser until every WAV is
// written, and only then are they closed, which puts them in place. On a
// failure or an abort through `signal`, a file that was there before stays
// as it was and every file made here is removed, and the error is thrown.
// `onBytes(n)` is told the bytes written so far.
export async function writeAll(folder, wavs, { signal, onBytes = () => {} } = {}) {
  const open = [];
  let written = 0;
  const counted = () => new TransformStream({
    transform(chunk, controller) {
      written += chunk.byteLength;
      onBytes(written);
      controller.enqueue(chunk);
    },
  });
  try {
    for (const wav of wavs) {
      signal?.throwIfAborted();
      const stream = await (await folder.getFileHandle(wav.name, { create: true })).createWritable();
      open.push(stream);
      await wav.blob.stream().pipeThrough(counted()).pipeTo(stream, { preventClose: true, signal });
    }
    while (open.length > 0) await open.shift().close();
  } catch (error) {
    for (const stream of open) await stream.abort().catch(() => {});
    await removeMade(folder, wavs);
    throw error;
  }
}

// Removes the files of `wavs` that were not there before. A file whose
// writer a stopped worker held may stay locked a moment: it is tried again.
export async function removeMade(folder, wavs) {
  for (const wav of wavs.filter((w) => !w.existed)) {
    for (let attempt = 0; attempt < 10; attempt++) {
      try {
        await folder.removeEntry(wav.name);
        break;
      } catch (error) {
        if (error.name === 'NotFoundError' || error.name === 'TypeMismatchError') break;
        await new Promise((done) => setTimeout(done, 100));
      }
    }
  }
}
