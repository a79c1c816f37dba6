// The question asked before a run writes over files it did not write: a
// modal dialog listing them, whose answer holds for those files alone.
// Keeping both is the default (Enter, Escape, or closing it); a Stop
// withdraws it.
const dialog = document.getElementById('replace-dialog');
const text = document.getElementById('replace-text');
const list = document.getElementById('replace-names');

let pending = null;  // the resolve of the question on screen

// `paths`: the files met, each as "folder/sub/name.wav".
export function askReplace(paths) {
  text.textContent = paths.length === 1
    ? 'The output folder already holds this file, which this run did not write:'
    : `The output folder already holds these ${paths.length} files, which this run did not write:`;
  list.replaceChildren(...paths.map((path) => {
    const item = document.createElement('li');
    item.textContent = path;
    return item;
  }));
  dialog.returnValue = '';
  dialog.showModal();
  return new Promise((resolve) => { pending = resolve; });
}

dialog.addEventListener('close', () => {
  const resolve = pending;
  pending = null;
  if (resolve) resolve(dialog.returnValue === 'withdrawn' ? null : dialog.returnValue === 'replace' ? 'replace' : 'keep');
});

export function withdrawQuestion() {
  if (dialog.open) dialog.close('withdrawn');
}
