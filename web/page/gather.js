// The files of a batch, each with its path relative to what was dropped or
// chosen. Files dropped or chosen one by one are all taken; in a folder only
// the names ending in ".zq" (any letter case) are, and the others are counted.
const isContainerName = (name) => /\.zq$/i.test(name);
const byPath = (a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0);

// One call of readEntries gives at most 100 entries (in Chromium): it is
// called again until it gives none.
async function folderEntries(folder) {
  const reader = folder.createReader();
  const all = [];
  for (;;) {
    const some = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (some.length === 0) break;
    all.push(...some);
  }
  return all.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
}

async function walk(entry, found) {
  if (entry.isDirectory) {
    for (const inner of await folderEntries(entry)) await walk(inner, found);
  } else if (isContainerName(entry.name)) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    found.files.push({ file, path: entry.fullPath.replace(/^\/+/, '') });
  } else {
    found.skipped++;
  }
}

// A drop: the entries must be taken while the event lasts; the folders are
// walked after it.
export function fromDrop(dataTransfer) {
  const dropped = [...dataTransfer.items].filter((item) => item.kind === 'file').map((item) => ({
    entry: item.webkitGetAsEntry ? item.webkitGetAsEntry() : null,
    file: item.getAsFile(),
  }));
  return (async () => {
    const found = { files: [], skipped: 0 };
    for (const { entry, file } of dropped) {
      if (entry && entry.isDirectory) {
        const inFolder = { files: [], skipped: 0 };
        await walk(entry, inFolder);
        found.files.push(...inFolder.files.sort(byPath));
        found.skipped += inFolder.skipped;
      } else if (file) {
        found.files.push({ file, path: file.name });
      }
    }
    return found;
  })();
}

// The folder picker lists every file under the folder, with its path.
export function fromFolderPicker(fileList) {
  const found = { files: [], skipped: 0 };
  for (const file of fileList) {
    if (isContainerName(file.name)) found.files.push({ file, path: file.webkitRelativePath || file.name });
    else found.skipped++;
  }
  found.files.sort(byPath);
  return found;
}

export function fromFilePicker(fileList) {
  return { files: [...fileList].map((file) => ({ file, path: file.name })), skipped: 0 };
}

