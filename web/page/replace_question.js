// The question asked before a run writes over a file it did not write: a
// modal dialog whose answer holds for the rest of the run. Keeping both is
// the default (Enter, Escape, or closing it); a Stop withdraws it.
const dialog = document.getElementById('replace-dialog');
const text = document.getElementById('replace-text');

let pending = null;  // the resolve of the question on screen

export function askReplace(name, folderName) {
  text.textContent = `"${folderName}" already holds "${name}", which this run did not write.`;
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
