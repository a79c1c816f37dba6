// "Download all": the WAVs of a batch in one .zip, stored as they are (sound
// barely compresses), made as a stream by client-zip (bundled into the page),
// which writes ZIP64 records where sizes or offsets need them, so a batch has
// no size limit. Where the browser can save to a file of the user's choice
// the stream goes straight there; elsewhere it becomes one Blob.
import { downloadZip } from 'client-zip';

function archive(entries) {
  return downloadZip(entries.map(({ name, blob }) => ({ name, input: blob, lastModified: new Date() })));
}

export function download(blob, name) {
  const url = URL.createObjectURL(blob);
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// Resolves to 'saved', 'downloaded' or 'cancelled'.
export async function save(entries, name) {
  if (typeof showSaveFilePicker !== 'function') {
    download(await archive(entries).blob(), name);
    return 'downloaded';
  }
  let handle;
  try {
    handle = await showSaveFilePicker({
      suggestedName: name, types: [{ description: 'Zip archive', accept: { 'application/zip': ['.zip'] } }],
    });
  } catch (error) {
    if (error.name === 'AbortError') return 'cancelled';
    throw error;
  }
  await archive(entries).body.pipeTo(await handle.createWritable());
  return 'saved';
}

