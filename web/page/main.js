// The page's controls: the options, the drop zone and pickers, the output
// folder, and the results' progress and buttons. Files dropped or chosen
// join the list (batch.js) with the options in force at that moment; the
// list hands them to the worker pool (pool.js) and fills their rows
// (row.js).
import { DEFAULT_KIND, DEFAULT_QUALITY, FORMATS, KINDS, LOOP_ENDS, VORBIS_QUALITIES, formatOf, kindOf, loopEndOf } from '../shared/kinds.js';
import { NAMES as LOOP_LIST_NAMES, blob as loopListBlob } from '../shared/loop_list.js';
import { count } from '../shared/text.js';
import { createBatch } from './batch.js';
import { fromDrop, fromFilePicker, fromFolderPicker } from './gather.js';
import { readSeconds } from './lengths.js';
import { read as readLoopCount } from './loop_count.js';
import { createLoopListChoice } from './loop_list_apply.js';
import { createOutputFolder } from './output_folder.js';
import { createPool } from './pool.js';
import { createProgressLine } from './progress_line.js';
import { askReplace, withdrawQuestion } from './replace_question.js';
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
const toEnd = $('to-end');
// The listening lengths, each checked as it is typed, as the loop count is.
const lengthFields = { fade: $('fade'), delay: $('fade-delay'), target: $('target') };
const lengthProblems = { fade: $('fade-problem'), delay: $('fade-delay-problem'), target: $('target-problem') };
// One radio button for each entry of a table, in `place`.
function choices(table, name, place, help, first) {
  return table.map((entry) => {
    const input = document.createElement('input');
    Object.assign(input, { type: 'radio', id: `${name}-${entry.id}`, name, value: entry.id, checked: entry.id === first });
    input.setAttribute('aria-describedby', help);
    const label = document.createElement('label');
    label.append(input, ' ' + entry.label);
    $(place).append(label, ' ');
    return input;
  });
}
const outputKinds = choices(KINDS, 'output', 'output-kinds', 'output-kind-help', DEFAULT_KIND);
const loopEnds = choices(LOOP_ENDS, 'loop-end', 'loop-ends', 'loop-end-help', LOOP_ENDS[0].id);
const formats = choices(FORMATS, 'format', 'formats', 'format-help', FORMATS[0].id);
// A format this build cannot encode is shown, and cannot be chosen.
formats.forEach((input, i) => { input.disabled = !!FORMATS[i].refusal; });
const quality = $('quality');
for (const { quality: q, kbits } of VORBIS_QUALITIES) {
  quality.append(new Option(`${q} (about ${kbits} kbit/s)`, String(q), false, q === DEFAULT_QUALITY));
}
const loopEndHelp = $('loop-end-help');
const results = $('results');
const resultsTitle = $('results-title');
const resultControls = $('result-controls');
const emptyState = $('empty-state');
const undoLine = $('undo-line');
const undoButton = $('undo');
const problemsFilter = $('problems-filter');
const problemsOnly = $('problems-only');
const allDetails = $('all-details');
const convertAgain = $('convert-again');
const useDownloads = $('use-downloads');

// The WebAssembly is compiled once, here, and each worker gets the
// compiled module.
const compiled = WebAssembly.compile(Uint8Array.from(atob($('kelvor-wasm').textContent.trim()), (c) => c.charCodeAt(0)));
compiled.catch(() => {});  // met by the pool, which fails the files with its message
const pool = createPool({
  source: URL.createObjectURL(new Blob([$('worker-source').textContent], { type: 'text/javascript' })),
  module: compiled,
});
const folders = createOutputFolder({ ask: askReplace });
const loopList = createLoopListChoice({ input: $('apply-loops'), clear: $('clear-loops'), status: $('apply-loops-status') });
const batch = createBatch({ pool, folders, list: results, changed: () => showProgress(),
  replied: (entry, reply) => loopList.replied(entry.path, entry.settings.loops, reply.loopList) });
const progressLine = createProgressLine({ bar: progressBar, line: progress, notice: $('notice'), announcer: $('announcer') });

// The loop count is checked as it is typed, and flagged at the field while
// it applies; the alert changes only when the problem does.
function loopCountNow() {
  const read = readLoopCount(loopCount.value);
  const problem = loopCount.disabled ? '' : read.problem || '';
  loopCount.setAttribute('aria-invalid', String(!!problem));
  if (loopCountProblem.textContent !== problem) loopCountProblem.textContent = problem;
  loopCountProblem.hidden = !problem;
  return read;
}
loopCount.addEventListener('input', loopCountNow);

// The lengths now: { values } or { problem, field } for the first that is
// not one the converter takes; each field flags its own problem.
function lengthsNow() {
  const values = {};
  let first = null;
  for (const [name, field] of Object.entries(lengthFields)) {
    const read = readSeconds(name, field.value);
    const problem = field.disabled ? '' : read.problem || '';
    field.setAttribute('aria-invalid', String(!!problem));
    if (lengthProblems[name].textContent !== problem) lengthProblems[name].textContent = problem;
    lengthProblems[name].hidden = !problem;
    if (problem && !first) first = { problem, field };
    values[name] = read.value || '';
  }
  return first || { values };
}
for (const field of Object.values(lengthFields)) field.addEventListener('input', lengthsNow);

// The output kind and the loop end, remembered between visits. The loop
// count belongs to the kinds that unroll the loop, -x to the command line's
// own, the loop end to those that mark the loop in a smpl chunk.
// The format and the Vorbis quality likewise; -x and the loop end belong
// to WAVs, the quality to Ogg Vorbis.
const KIND_KEY = 'kelvor-output';
const LOOP_END_KEY = 'kelvor-loop-end';
const FORMAT_KEY = 'kelvor-format';
const QUALITY_KEY = 'kelvor-quality';
const outputKind = () => outputKinds.find((input) => input.checked).value;
const loopEnd = () => loopEnds.find((input) => input.checked).value;
const format = () => formats.find((input) => input.checked).value;
function outputKindNow() {
  const kind = kindOf(outputKind());
  const chosen = formatOf(format());
  const wav = chosen.id === 'wav';
  outputKindHelp.textContent = kind.help;
  $('format-help').textContent = chosen.help + FORMATS.filter((f) => f.refusal).map((f) => ` (${f.refusal})`).join('');
  loopCount.disabled = !kind.unrolls;
  for (const field of [...Object.values(lengthFields), toEnd]) field.disabled = !kind.unrolls;
  shortFormat.disabled = !kind.shortFormat || !wav;
  $('loop-end').disabled = !kind.smpl || !wav;
  quality.disabled = chosen.id !== 'ogg';
  loopEndHelp.textContent = !wav ? 'only for WAVs: FLAC and Ogg files keep the loop in tags'
    : kind.smpl ? loopEndOf(loopEnd()).help : 'only for the kinds with loop points in a smpl chunk';
  loopCountNow();
  lengthsNow();
  try {
    localStorage.setItem(KIND_KEY, kind.id);
    localStorage.setItem(LOOP_END_KEY, loopEnd());
    localStorage.setItem(FORMAT_KEY, chosen.id);
    localStorage.setItem(QUALITY_KEY, quality.value);
  } catch { /* a browser that keeps nothing: the choice lasts this visit */ }
}
for (const [inputs, key] of [[outputKinds, KIND_KEY], [loopEnds, LOOP_END_KEY], [formats, FORMAT_KEY]]) {
  try {
    const remembered = inputs.find((input) => input.value === localStorage.getItem(key) && !input.disabled);
    if (remembered) remembered.checked = true;
  } catch { /* nothing remembered */ }
  for (const input of inputs) input.addEventListener('change', outputKindNow);
}
try {
  const remembered = [...quality.options].find((option) => option.value === localStorage.getItem(QUALITY_KEY));
  if (remembered) quality.value = remembered.value;
} catch { /* nothing remembered */ }
quality.addEventListener('change', outputKindNow);

// The output folder, where the browser lets the page write into one, and
// the way back to downloads.
const DOWNLOADS_TEXT = outputName.textContent;
if (typeof showDirectoryPicker === 'function') {
  outputChoice.hidden = false;
  chooseOutput.addEventListener('click', async () => {
    try {
      folders.choose(await showDirectoryPicker({ id: 'kelvor-output', mode: 'readwrite' }));
      outputName.textContent = `WAVs are written into the folder "${folders.chosen().name}".`;
      useDownloads.hidden = false;
    } catch (error) {
      if (error.name !== 'AbortError') outputName.textContent = 'That folder cannot be used: ' + error.message;
    }
  });
  useDownloads.addEventListener('click', () => {
    folders.forget();
    outputName.textContent = DOWNLOADS_TEXT;
    useDownloads.hidden = true;
    chooseOutput.focus();
  });
}

// Files found join the list with the options of this moment; none joins
// while the loop count is not one the command line reads as shown. The
// page's work of adding them, from `start`, is the User Timing measure
// "kelvor add", which the browser test holds to a budget.
async function take(found, start = performance.now()) {
  const read = loopCountNow();
  let files;
  try {
    files = await found;
  } catch (error) {
    progressLine.say(`The files could not be read: ${error && error.message ? error.message : error}`);
    return;
  }
  if (files.files.length === 0 && files.skipped === 0) return;
  const settings = settingsNow(read);
  if (!settings) return;
  const added = batch.add(files, settings);
  if (added.length > 0 && added[0].row) bringIntoView(added[0].row.element);
  performance.measure('kelvor add', { start, end: performance.now() });
}

// The options of this moment, or null (the page saying why) when the loop
// count is not one the command line reads as shown.
function settingsNow(read = loopCountNow()) {
  const output = outputKind();
  if (read.problem && kindOf(output).unrolls) {
    progressLine.say(`Nothing was converted: ${read.problem}`);
    loopCount.focus();
    return null;
  }
  const lengths = lengthsNow();
  const unrolls = kindOf(output).unrolls;
  if (lengths.problem && unrolls) {
    progressLine.say(`Nothing was converted: ${lengths.problem}`);
    lengths.field.focus();
    return null;
  }
  const { fade = '', delay = '', target = '' } = unrolls ? lengths.values : {};
  if (unrolls && toEnd.checked && (fade || delay || target)) {
    progressLine.say('Nothing was converted: "Play to the end" is instead of a fade, a fade delay or a target length: ' +
      'clear those, or the box.');
    toEnd.focus();
    return null;
  }
  progressLine.say('');
  const chosen = formatOf(format()).id;
  return { output, loopCount: read.value, shortFormat: shortFormat.checked && chosen === 'wav', loopEnd: loopEnd(),
    format: chosen, quality: Number(quality.value), folder: folders.chosen(),
    fade, delay, target, toEnd: unrolls && toEnd.checked, loops: loopList.chosen() };
}

// New rows are brought into view unless the user has scrolled to them.
function bringIntoView(row) {
  const box = row.getBoundingClientRect();
  if (box.top < innerHeight && box.bottom > 0) return;
  resultsTitle.scrollIntoView({ block: 'start', behavior: matchMedia('(prefers-reduced-motion: reduce)').matches ? 'auto' : 'smooth' });
}

// The controls follow the progress. A control that had the focus and is
// now disabled or hidden hands it to the next useful one, never to the page.
let zipping = false;
function showProgress() {
  const p = batch.progress();
  const before = document.activeElement;
  const running = p.phase !== 'idle' && p.phase !== 'ended';
  stopButton.disabled = p.phase !== 'converting';
  clearButton.disabled = running || p.rows === 0;
  downloadAll.disabled = running || p.zipFiles === 0;
  loopsCsv.disabled = loopsJson.disabled = running || p.listedFiles === 0;
  resultControls.hidden = p.rows === 0;
  emptyState.hidden = p.rows > 0;
  undoLine.hidden = !p.canUndo;
  if (p.canUndo) $('undo-text').textContent = `Cleared ${count(p.cleared)} file${p.cleared === 1 ? '' : 's'}.`;
  problemsFilter.hidden = p.problemRows === 0;
  if (p.problemRows === 0) problemsOnly.checked = false;
  $('problems-count').textContent = count(p.problemRows);
  results.classList.toggle('problems-only', problemsOnly.checked);
  convertAgain.disabled = running || p.rows === 0;
  progressLine.update(p, batch.progress);
  if (before && before !== document.body && !usable(before)) {
    const next = [undoButton, clearButton, downloadAll, stopButton, loopsCsv, convertAgain, filePicker].find(usable);
    if (next) next.focus();
  }
}

const usable = (control) => control.isConnected && !control.disabled && !control.closest('[hidden]');

stopButton.addEventListener('click', () => {
  withdrawQuestion();
  batch.stop();
});
clearButton.addEventListener('click', () => {
  batch.clear();
});
undoButton.addEventListener('click', () => {
  batch.undo();
});
problemsOnly.addEventListener('change', showProgress);
allDetails.addEventListener('change', () => batch.showDetails(allDetails.checked));

// The rows already there, converted again with the options now chosen.
convertAgain.addEventListener('click', () => {
  const settings = settingsNow();
  if (settings) batch.again(settings);
});

// Up and down arrows (and Home, End) move between the rows' toggles.
results.addEventListener('keydown', (event) => {
  if (!event.target.classList.contains('toggle') || !['ArrowDown', 'ArrowUp', 'Home', 'End'].includes(event.key)) return;
  const toggles = [...results.querySelectorAll('.result > .line > .toggle')].filter((toggle) => toggle.offsetParent !== null);
  const at = toggles.indexOf(event.target);
  const to = { ArrowDown: at + 1, ArrowUp: at - 1, Home: 0, End: toggles.length - 1 }[event.key];
  if (to < 0 || to >= toggles.length) return;
  event.preventDefault();
  toggles[to].focus();
});

// Leaving the page while a run converts, or with WAVs that were neither
// downloaded nor saved in a zip, asks first.
addEventListener('beforeunload', (event) => {
  const p = batch.progress();
  if ((p.phase !== 'idle' && p.phase !== 'ended') || p.unsaved) {
    event.preventDefault();
    event.returnValue = '';
  }
});

// The loop list of every file converted since the last Clear.
for (const [button, name] of [[loopsCsv, 'loops.csv'], [loopsJson, 'loops.json']]) {
  button.addEventListener('click', () => download(loopListBlob(name, batch.loopEntries()), name));
}

// Making the zip keeps the button (and the focus); a second press waits.
downloadAll.addEventListener('click', async () => {
  if (zipping) return;
  const loops = batch.loopEntries().filter((entry) => !entry.folder);  // the files in the .zip
  const entries = [...batch.zipEntries(),
    ...(loops.length > 0 ? LOOP_LIST_NAMES.map((name) => ({ name, blob: loopListBlob(name, loops) })) : [])];
  zipping = true;
  downloadAll.setAttribute('aria-disabled', 'true');
  progressLine.say('Making the .zip ...');
  try {
    const outcome = await save(entries, 'kelvor-wav.zip');
    const wavs = batch.zipEntries().length;
    if (outcome !== 'cancelled') batch.markSaved();
    progressLine.say(outcome === 'cancelled' ? 'No .zip was made.' : `The .zip holds ${wavs} WAV file${wavs === 1 ? '' : 's'}` +
      (loops.length > 0 ? ' and the loop list.' : '.'));
  } catch (error) {
    progressLine.say('The .zip could not be made: ' + (error && error.message ? error.message : error));
  } finally {
    zipping = false;
    downloadAll.removeAttribute('aria-disabled');
  }
});

filePicker.addEventListener('change', () => {
  const start = performance.now();
  take(Promise.resolve(fromFilePicker(filePicker.files)), start);
  filePicker.value = '';  // choosing the same files again converts them again
});
folderPicker.addEventListener('change', () => {
  const start = performance.now();
  take(Promise.resolve(fromFolderPicker(folderPicker.files)), start);
  folderPicker.value = '';
});
// Files dropped anywhere on the page are taken; the browser never leaves
// the page to show a dropped file.
const carriesFiles = (event) => event.dataTransfer && [...event.dataTransfer.types].includes('Files');
for (const type of ['dragenter', 'dragover']) {
  document.addEventListener(type, (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = 'copy';
    dropZone.classList.add('over');
  });
}
document.addEventListener('dragleave', (event) => {
  if (!event.relatedTarget) dropZone.classList.remove('over');
});
document.addEventListener('drop', (event) => {
  if (!carriesFiles(event)) return;
  event.preventDefault();
  dropZone.classList.remove('over');
  take(fromDrop(event.dataTransfer));
});
loopCountNow();
outputKindNow();
showProgress();
