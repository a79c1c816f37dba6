// The page's controls: the options, the drop zone and pickers, the output
// folder, and the results' progress and buttons. Files dropped or chosen
// join the list (batch.js) with the options in force at that moment; the
// list hands them to the worker pool (pool.js) and fills their rows
// (row.js).
import { DEFAULT_KIND, KINDS, kindOf } from '../shared/kinds.js';
import { NAMES as LOOP_LIST_NAMES, blob as loopListBlob } from '../shared/loop_list.js';
import { count } from '../shared/text.js';
import { createBatch } from './batch.js';
import { fromDrop, fromFilePicker, fromFolderPicker } from './gather.js';
import { read as readLoopCount } from './loop_count.js';
import { createPool } from './pool.js';
import { download, save } from './zip.js';

const $ = (id) => document.getElementById(id);
const dropZone = $('drop-zone');
const filePicker = $('files');
const folderPicker = $('folder');
const loopCount = $('loop-count');
const loopCountProblem = $('loop-count-problem');
const shortFormat = $('short-format');
const outputChoice = $('output-choice');
const chooseOutput = $('choose-output');
const outputName = $('output-name');
const progress = $('progress');
const progressBar = $('progress-bar');
const stopButton = $('stop');
const clearButton = $('clear');
const downloadAll = $('download-all');
const loopsCsv = $('loops-csv');
const loopsJson = $('loops-json');
const outputKindHelp = $('output-kind-help');
const outputKinds = KINDS.map((kind) => {
  const input = document.createElement('input');
  Object.assign(input, { type: 'radio', id: `output-${kind.id}`, name: 'output-kind', value: kind.id,
    checked: kind.id === DEFAULT_KIND });
  input.setAttribute('aria-describedby', 'output-kind-help');
  const label = document.createElement('label');
  label.append(input, ' ' + kind.label);
  $('output-kinds').append(label, ' ');
  return input;
});
const results = $('results');
const resultsTitle = $('results-title');

// The WebAssembly is compiled once, here, and each worker gets the
// compiled module.
const compiled = WebAssembly.compile(Uint8Array.from(atob($('kelvor-wasm').textContent.trim()), (c) => c.charCodeAt(0)));
compiled.catch(() => {});  // met by the pool, which fails the files with its message
const pool = createPool({
  source: URL.createObjectURL(new Blob([$('worker-source').textContent], { type: 'text/javascript' })),
  module: compiled,
});
const batch = createBatch({ pool, list: results, changed: () => showProgress() });

// The loop count is checked as it is typed, and flagged at the field.
function loopCountNow() {
  const read = readLoopCount(loopCount.value);
  loopCount.setAttribute('aria-invalid', String(!!read.problem));
  loopCountProblem.textContent = read.problem || '';
  loopCountProblem.hidden = !read.problem;
  return read;
}
loopCount.addEventListener('input', loopCountNow);

// The output kind, remembered between visits. The loop count and -x
// belong to the kinds that unroll the loop alone.
const KIND_KEY = 'kelvor-output';
const outputKind = () => outputKinds.find((input) => input.checked).value;
function outputKindNow() {
  const kind = kindOf(outputKind());
  outputKindHelp.textContent = kind.help;
  loopCount.disabled = !kind.unrolls;
  shortFormat.disabled = !kind.unrolls;
  try {
    localStorage.setItem(KIND_KEY, kind.id);
  } catch { /* a browser that keeps nothing: the choice lasts this visit */ }
}
try {
  const remembered = outputKinds.find((input) => input.value === localStorage.getItem(KIND_KEY));
  if (remembered) remembered.checked = true;
} catch { /* nothing remembered */ }
for (const input of outputKinds) input.addEventListener('change', outputKindNow);

// The output folder, where the browser lets the page write into one.
let outputFolder = null;
if (typeof showDirectoryPicker === 'function') {
  outputChoice.hidden = false;
  chooseOutput.addEventListener('click', async () => {
    try {
      outputFolder = await showDirectoryPicker({ id: 'kelvor-output', mode: 'readwrite' });
      outputName.textContent = `WAVs are written into the folder "${outputFolder.name}".`;
    } catch (error) {
      if (error.name !== 'AbortError') outputName.textContent = 'That folder cannot be used: ' + error.message;
    }
  });
}

// Files found join the list with the options of this moment; none joins
// while the loop count is not one the command line reads as shown.
let announced = null;  // a message that outlasts the next progress update
async function take(found) {
  const read = loopCountNow();
  let files;
  try {
    files = await found;
  } catch (error) {
    announce(`The files could not be read: ${error && error.message ? error.message : error}`);
    return;
  }
  if (files.files.length === 0 && files.skipped === 0) return;
  const output = outputKind();
  if (read.problem && kindOf(output).unrolls) {
    announce(`Nothing was converted: ${read.problem}`);
    loopCount.focus();
    return;
  }
  announced = null;
  const added = batch.add(files, { output, loopCount: read.value, shortFormat: shortFormat.checked, folder: outputFolder });
  if (added.length > 0) bringIntoView(added[0].row.element);
}

function announce(text) {
  announced = text;
  progress.textContent = text;
}

// New rows are brought into view unless the user has scrolled to them.
function bringIntoView(row) {
  const box = row.getBoundingClientRect();
  if (box.top < innerHeight && box.bottom > 0) return;
  resultsTitle.scrollIntoView({ block: 'start', behavior: matchMedia('(prefers-reduced-motion: reduce)').matches ? 'auto' : 'smooth' });
}

// The progress: a <progress> and a line of text, brought up to date at
// most four times a second (a batch of small files ends hundreds a
// second), and at once when the list starts, stops or ends.
const MB = 1e6;
let shownAt = 0;
let timer = 0;
let last = { running: false, stopping: false };
let startedAt = 0;
function showProgress() {
  const p = batch.progress();
  const turned = p.running !== last.running || p.stopping !== last.stopping;
  if (p.running && !last.running) startedAt = performance.now();
  last = p;
  const wait = 250 - (performance.now() - shownAt);
  if (!turned && wait > 0) {
    if (!timer) timer = setTimeout(() => { timer = 0; showProgress(); }, wait);
    return;
  }
  shownAt = performance.now();
  stopButton.disabled = !p.running || p.stopping;
  clearButton.disabled = p.running || p.total === 0;
  downloadAll.disabled = p.running || p.zipFiles === 0;
  loopsCsv.disabled = loopsJson.disabled = p.running || p.listedFiles === 0;
  progressBar.max = Math.max(1, p.bytesTotal);
  progressBar.value = p.bytesDone;
  progressBar.hidden = p.total === 0;
  if (announced && !p.running) return;
  progress.textContent = progressText(p);
}

function progressText(p) {
  const converted = p.counts.converted + p.counts.warned;
  const finished = p.done - p.counts.stopped;
  const skipped = p.skipped ? ` ${count(p.skipped)} other file${p.skipped === 1 ? '' : 's'} skipped.` : '';
  if (p.stopping) return 'Stopping after the files in progress ...';
  if (p.running) {
    let text = `Converting ${Math.min(p.done + 1, p.total)} of ${p.total}` + (p.current ? `: ${p.current}` : '') +
      ` (${(p.bytesDone / MB).toFixed(1)} of ${(p.bytesTotal / MB).toFixed(1)} MB done`;
    const elapsed = (performance.now() - startedAt) / 1000;
    if (p.bytesDone > 0 && elapsed > 1) text += `, about ${Math.ceil(elapsed / p.bytesDone * (p.bytesTotal - p.bytesDone))} s left`;
    return text + ')';
  }
  if (p.total === 0) return '';
  const warned = p.counts.warned ? ` (${p.counts.warned} with a warning)` : '';
  const empty = p.counts.empty ? `, ${p.counts.empty} without a track` : '';
  return (p.counts.stopped ? `Stopped after ${finished} of ${p.total} files` : `Done: ${finished} of ${p.total} files`) +
    `, ${converted} converted${warned}, ${p.counts.failed} failed${empty}.` + skipped +
    p.listProblems.map((problem) => ' ' + problem).join('');
}

stopButton.addEventListener('click', () => batch.stop());
clearButton.addEventListener('click', () => {
  announced = null;
  batch.clear();
});

// The loop list of every file converted since the last Clear.
for (const [button, name] of [[loopsCsv, 'loops.csv'], [loopsJson, 'loops.json']]) {
  button.addEventListener('click', () => download(loopListBlob(name, batch.loopEntries()), name));
}

downloadAll.addEventListener('click', async () => {
  const loops = batch.loopEntries().filter((entry) => !entry.folder);  // the files in the .zip
  const entries = [...batch.zipEntries(),
    ...(loops.length > 0 ? LOOP_LIST_NAMES.map((name) => ({ name, blob: loopListBlob(name, loops) })) : [])];
  downloadAll.disabled = true;
  announce('Making the .zip ...');
  try {
    const outcome = await save(entries, 'kelvor-wav.zip');
    const count = batch.zipEntries().length;
    announce(outcome === 'cancelled' ? 'No .zip was made.' : `The .zip holds ${count} WAV file${count === 1 ? '' : 's'}` +
      (loops.length > 0 ? ' and the loop list.' : '.'));
  } catch (error) {
    announce('The .zip could not be made: ' + (error && error.message ? error.message : error));
  } finally {
    downloadAll.disabled = false;
  }
});

filePicker.addEventListener('change', () => {
  take(Promise.resolve(fromFilePicker(filePicker.files)));
  filePicker.value = '';  // choosing the same files again converts them again
});
folderPicker.addEventListener('change', () => {
  take(Promise.resolve(fromFolderPicker(folderPicker.files)));
  folderPicker.value = '';
});
for (const type of ['dragenter', 'dragover']) {
  dropZone.addEventListener(type, (event) => {
    event.preventDefault();
    dropZone.classList.add('over');
  });
}
dropZone.addEventListener('dragleave', () => dropZone.classList.remove('over'));
dropZone.addEventListener('drop', (event) => {
  event.preventDefault();
  dropZone.classList.remove('over');
  take(fromDrop(event.dataTransfer));
});
loopCountNow();
outputKindNow();
showProgress();
