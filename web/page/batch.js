// The list of files the page converts: every file added since the last
// Clear, each with the settings and output folder that were in force when it
// was added, each shown at once as a waiting row. Files are converted in
// runs: the files added while a run converts join it; those added while it
// stops or ends start the next one, which the progress reports on its own.
// A run hands its files to the pool in order (the next ones ahead, so that
// they are read while others convert) and fills each row the moment its
// reply comes. The list keeps the WAVs for "Download all" and the loop
// list, writes the loop list into each output folder when a run ends, and
// stops a run on request, the files in progress included. Clear takes the
// rows away until the next file is added, and can be undone until then.
import { writeInto } from '../shared/loop_list.js';
import { keptFolderName, keptName } from '../shared/names.js';
import { numbered } from '../shared/text.js';
import { createRow } from './row.js';

// Files handed to the pool ahead of those converting: at least one, more
// while they are small.
const AHEAD_FILES = 8;
const AHEAD_BYTES = 16 * 1024 * 1024;
// A File's size costs the browser a look at the disk (about a millisecond),
// a row its making: both are done in slices this long between other work,
// never all at once.
const SLICE_MS = 8;

// Takes `queue`'s entries through `work` in slices, `after()` following each.
function inSlices(queue, work, after = () => {}) {
  const step = () => {
    const until = performance.now() + SLICE_MS;
    while (queue.length > 0 && performance.now() < until) work(queue.shift());
    if (queue.length > 0) setTimeout(step, 0);
    after();
  };
  setTimeout(step, 0);
}
// The outcomes "Show problems only" shows: every file that gave no WAV, or
// a WAV with a warning.
const PROBLEMS = ['failed', 'empty', 'stopped', 'warned'];

// `pool`: a pool.js pool; `folders`: the output folder's owner
// (output_folder.js); `list`: the <ol> that holds the rows; `changed()` is
// called whenever the progress may have changed, `replied(entry, reply)`
// when a file's conversion answered (protocol.js's `done`).
export function createBatch({ pool, folders, list, changed, replied = () => {} }) {
  let entries = [];  // every file since Clear: { file, path, settings, row, state, size, ... }
  let run = null;  // the current or last run
  let next = null;  // { entries, skipped }: added while a run stops or ends, the next run's
  let zipNames = new Set();
  let cleared = null;  // { entries, run, zipNames }: what Undo puts back
  const listsWritten = new Map();  // folder handle -> the loop lists written into it (web/shared/loop_list.js)
  const unsized = [];

  const newRun = ({ entries: files, skipped }) => ({
    entries: files, skipped, next: 0, flying: [], done: 0, phase: 'converting', startedAt: performance.now(),
    counts: { converted: 0, warned: 0, empty: 0, failed: 0, stopped: 0 }, listProblems: [],
  });

  function sizeOf(entry) {
    if (entry.size === undefined) {
      try {
        entry.size = entry.file.size;
      } catch {
        entry.size = 0;  // the file is gone; its conversion says so
      }
    }
    return entry.size;
  }

  // Rows are made in slices between other work, so that adding hundreds of
  // files never holds the page; a placeholder names each file meanwhile, and
  // a file handed over before its slice came gets its row then.
  const unmade = [];
  let detailsShown = false;

  function rowOf(entry) {
    if (!entry.row) {
      entry.row = createRow(entry.path, entry.settings, { onSaved: () => { entry.saved = true; }, open: detailsShown });
      entry.placeholder.replaceWith(entry.row.element);
    }
    return entry.row;
  }


  function add(found, settings) {
    dropCleared();
    const added = found.files.map(({ file, path }) => {
      // Its WAVs go under its subfolders as they are saved (web/shared/names.js).
      const entry = { file, path, subfolders: path.split('/').slice(0, -1).map(keptFolderName), settings, state: 'waiting',
        urls: [], zip: [], loop: null, saved: false, row: null, placeholder: document.createElement('li') };
      entry.placeholder.className = 'result placeholder';
      entry.placeholder.textContent = path;
      return entry;
    });
    list.append(...added.map((entry) => entry.placeholder));
    if (unmade.push(...added) === added.length) inSlices(unmade, rowOf);
    entries.push(...added);
    if (unsized.push(...added) === added.length) inSlices(unsized, sizeOf, changed);
    if (run && run.phase === 'converting') {
      run.entries.push(...added);
      run.skipped += found.skipped;
      handSoon();
    } else {
      next = next || { entries: [], skipped: 0 };
      next.entries.push(...added);
      next.skipped += found.skipped;
      if (!run || run.phase === 'ended') startRun();
    }
    changed();
    return added;
  }

  // The rows already there converted again with `settings`, from the files
  // they were made from: each row is made anew in its place. Only between
  // runs.
  function again(settings) {
    if (run && run.phase !== 'ended') return [];
    const files = entries.map(({ file, path }) => ({ file, path }));
    const placeholders = entries.map((entry) => {
      const spot = document.createComment('');
      (entry.row ? entry.row.element : entry.placeholder).replaceWith(spot);
      return spot;
    });
    drop(entries);
    entries = [];
    zipNames = new Set();
    unmade.length = 0;
    const added = add({ files, skipped: 0 }, settings);
    added.forEach((entry, i) => placeholders[i].replaceWith(entry.row ? entry.row.element : entry.placeholder));
    return added;
  }

  // Opens or closes every row's details, and those of the rows to come.
  function showDetails(shown) {
    detailsShown = shown;
    for (const entry of entries) if (entry.row) entry.row.expand(shown);
  }

  function startRun() {
    run = newRun(next);
    next = null;
    folders.startRun();
    handSoon();
    changed();
    if (run.entries.length === 0) finish(run);
  }

  // Files are handed over after the task that added them, which then costs
  // no look at their sizes on disk.
  let handTimer = 0;
  function handSoon() {
    if (handTimer) return;
    handTimer = setTimeout(() => {
      handTimer = 0;
      if (run) handAhead();
    }, 0);
  }

  function handAhead() {
    const ahead = () => run.flying.slice(1).reduce((sum, entry) => sum + sizeOf(entry), 0);
    while (run.phase === 'converting' && run.next < run.entries.length &&
           (run.flying.length < 2 || (run.flying.length <= AHEAD_FILES && ahead() < AHEAD_BYTES))) {
      hand(run.entries[run.next++]);
    }
  }

  function hand(entry) {
    const { settings, file, subfolders } = entry;
    rowOf(entry);
    const { folder, output, loopCount, shortFormat, loopEnd, format, quality, fade, delay, target, toEnd, loops } = settings;
    const job = { file, path: entry.path,
      settings: { output, loopCount, shortFormat, loopEnd, format, quality, fade, delay, target, toEnd, loops },
      output: folder ? { folder, subfolders } : null };
    const thisRun = run;
    entry.state = 'handed';
    thisRun.flying.push(entry);
    const reply = pool.handOver(job, sizeOf(entry), {
      onStart: () => {
        entry.state = 'converting';
        entry.row.converting();
        changed();
      },
      onProgress: (written, total, stage) => {
        entry.fraction = total > 0 ? written / total : 0;
        if (stage === 'encoding') entry.row.encoding(written, total);
        else entry.row.writing(written, total);
        changed();
      },
      onNames: async (names) => {
        entry.named = await folders.claim(folder, subfolders, names.map(keptName));
        return entry.named;
      },
      onPeaks: (peaks, ms) => {
        entry.row.showPeaks(peaks);
        measure({ peaks: ms });
      },
    });
    reply.then((answer) => settle(thisRun, entry, answer));
  }

  // A reply: the row shows it at once, whatever the files before it do.
  function settle(thisRun, entry, reply) {
    thisRun.flying.splice(thisRun.flying.indexOf(entry), 1);
    entry.state = 'done';
    thisRun.done++;
    let outcome;
    if (reply.type === 'discarded') {  // a Stop came before it started
      outcome = entry.row.stopped();
    } else {
      const shownAt = performance.now();
      let sources = [];
      try {
        sources = sourcesOf(entry, reply);
        outcome = entry.row.show(reply, sources, { fileSize: sizeOf(entry) });
      } catch (error) {  // a fault of the page's own: the row says so, the run goes on
        outcome = entry.row.failed('This result could not be shown.', error && error.message ? error.message : String(error));
      }
      measure({ ...reply.timing, row: performance.now() - shownAt });
      if (reply.type === 'done') replied(entry, reply);
      if (outcome === 'converted' || outcome === 'warned') remember(entry, reply, sources);
    }
    // What a file that did not end well made in the folder goes; a worker
    // that was lost could not see to it.
    if (entry.named && outcome !== 'converted' && outcome !== 'warned') {
      folders.removeFailed(entry.settings.folder, entry.subfolders, entry.named);
    }
    entry.outcome = outcome;
    thisRun.counts[outcome]++;
    if (thisRun === run) handAhead();
    changed();
    if (thisRun.flying.length === 0 && (thisRun.phase === 'stopping' || thisRun.next >= thisRun.entries.length)) finish(thisRun);
  }

  // The zip must not hold two entries of one name: a repeated one gets " (2)", ...
  function uniqueName(name) {
    let unique = name;
    for (let n = 2; zipNames.has(unique); n++) unique = numbered(name, n);
    zipNames.add(unique);
    return unique;
  }

  // A Blob's or a written file's address, made when first needed (it costs
  // a round trip to the browser's own process) and let go with the row.
  function addressOf(entry, blob) {
    const url = URL.createObjectURL(blob);
    entry.urls.push(url);
    return url;
  }

  // Where the row finds each WAV: in the page, under its name in the zip, or
  // in the output folder, read back from there to be played.
  function sourcesOf(entry, reply) {
    if (reply.type !== 'done' || reply.status !== 0 || reply.writeFailure) return [];
    const { folder } = entry.settings;
    return reply.wavs.map((wav) => {
      if (wav.written) {
        let url = null;
        return { name: wav.name, written: `${folder.name}/${wav.written}`, path: wav.written,
          url: async () => url || (url = addressOf(entry, await readBack(folder, wav.written))) };
      }
      const zipName = uniqueName([...entry.subfolders, keptName(wav.name)].join('/'));
      let url = null;
      return { name: zipName.split('/').pop(), path: zipName, blob: wav.blob,
        url: async () => url || (url = addressOf(entry, wav.blob)) };
    });
  }

  // A converted file's WAVs for "Download all", and its line of the loop list.
  function remember(entry, reply, sources) {
    entry.zip = sources.filter((source) => source.blob).map((source) => ({ name: source.path, blob: source.blob }));
    entry.loop = { path: entry.path, outputs: sources.map((source) => source.path), roles: reply.wavs.map((wav) => wav.role),
      output: entry.settings.output, format: entry.settings.format,
      loopEnd: entry.settings.loopEnd, folder: entry.settings.folder, facts: reply.facts };
  }

  // Each output folder gets the loop list of the files written into it,
  // before the run counts as ended.
  // Each folder's list also names the WAVs written there before (read back
  // from the list the page wrote), and never replaces a list changed by hand:
  // `listsWritten` is what the page wrote into each folder.
  async function writeLoopLists() {
    const byFolder = new Map();
    for (const { loop } of entries) {
      if (!loop || !loop.folder) continue;
      if (!byFolder.has(loop.folder)) byFolder.set(loop.folder, []);
      byFolder.get(loop.folder).push(loop);
    }
    const said = [];
    for (const [folder, lines] of byFolder) {
      if (!listsWritten.has(folder)) listsWritten.set(folder, new Map());
      const { problems, notes } = await writeInto(folder, lines, listsWritten.get(folder));
      said.push(...problems, ...notes);
    }
    return said;
  }

  async function finish(thisRun) {
    if (thisRun.phase === 'finishing' || thisRun.phase === 'ended') return;
    const stopped = thisRun.phase === 'stopping';
    thisRun.phase = 'finishing';
    try {
      thisRun.listProblems = await writeLoopLists();
    } catch (error) {
      thisRun.listProblems = [`The loop list could not be written: ${error && error.message ? error.message : error}`];
    }
    thisRun.phase = 'ended';
    thisRun.stopped = stopped;
    changed();
    if (next) startRun();
  }

  // Where each file's time went, as User Timing measures ("kelvor run",
  // ...) that a profiler or the benchmark can read; let go with the rows.
  function measure(timing) {
    const now = performance.now();
    for (const [stage, ms] of Object.entries(timing)) performance.measure(`kelvor ${stage}`, { start: now - ms, duration: ms });
  }

  // Ends the run: every file not yet started is let go, its row saying so,
  // and the files in progress stop within a second, leaving nothing behind.
  function stop() {
    if (!run || run.phase !== 'converting') return;
    run.phase = 'stopping';
    pool.stop();
    folders.cancel();
    for (; run.next < run.entries.length; run.next++) {
      const entry = run.entries[run.next];
      entry.state = 'done';
      entry.outcome = rowOf(entry).stopped();
      run.counts.stopped++;
      run.done++;
    }
    changed();
    if (run.flying.length === 0) finish(run);
  }

  // Takes every row away (silenced, kept for an undo). Only between runs.
  function clear() {
    if (run && run.phase !== 'ended') return 0;
    dropCleared();
    cleared = { entries, run, zipNames };
    unmade.length = 0;
    for (const entry of entries) {
      if (entry.row) entry.row.detach();
      else entry.placeholder.remove();
    }
    entries = [];
    run = null;
    zipNames = new Set();
    changed();
    return cleared.entries.length;
  }

  // Puts back what Clear took, while nothing was added since.
  function undo() {
    if (!cleared || entries.length > 0) return false;
    ({ entries, run, zipNames } = cleared);
    cleared = null;
    list.append(...entries.map((entry) => rowOf(entry).element));
    changed();
    return true;
  }

  // Lets go of the rows of `gone` for good: their sounds and addresses.
  function drop(gone) {
    for (const entry of gone) {
      if (entry.row) entry.row.dispose();
      else entry.placeholder.remove();
      for (const url of entry.urls) URL.revokeObjectURL(url);
    }
  }

  function dropCleared() {
    if (!cleared) return;
    drop(cleared.entries);
    for (const stage of ['instance', 'read', 'run', 'peaks', 'output', 'row']) performance.clearMeasures(`kelvor ${stage}`);
    cleared = null;
    changed();
  }

  // The current or last run, and the list as a whole.
  function progress() {
    const r = run || newRun({ entries: [], skipped: 0 });
    const sized = r.entries.every((entry) => entry.size !== undefined);
    const bytesTotal = sized ? r.entries.reduce((sum, entry) => sum + entry.size, 0) : null;
    const bytesDone = sized ? r.entries.reduce((sum, entry) => sum + (entry.state === 'done' ? entry.size
      : entry.state === 'converting' ? entry.size * (entry.fraction || 0) : 0), 0) : null;
    return {
      phase: run ? r.phase : 'idle', stopped: !!r.stopped, total: r.entries.length, done: r.done, bytesDone, bytesTotal,
      skipped: r.skipped, counts: { ...r.counts }, startedAt: r.startedAt, listProblems: r.listProblems,
      converting: r.flying.filter((entry) => entry.state === 'converting').map((entry) => entry.path),
      rows: entries.length, problemRows: entries.filter((entry) => PROBLEMS.includes(entry.outcome)).length,
      zipFiles: entries.reduce((sum, entry) => sum + entry.zip.length, 0),
      listedFiles: entries.filter((entry) => entry.loop).length,
      unsaved: entries.some((entry) => entry.zip.length > 0 && !entry.saved),
      canUndo: !!cleared && entries.length === 0, cleared: cleared ? cleared.entries.length : 0,
    };
  }

  return {
    add, again, showDetails, stop, clear, undo, progress,
    zipEntries: () => entries.flatMap((entry) => entry.zip),
    loopEntries: () => entries.filter((entry) => entry.loop).map((entry) => entry.loop),
    // After a zip of every WAV was saved.
    markSaved() { for (const entry of entries) entry.saved = true; },
  };
}

// The file at `path` (relative, "/"-separated) in the folder `root`.
async function readBack(root, path) {
  const parts = path.split('/');
  let folder = root;
  for (const name of parts.slice(0, -1)) folder = await folder.getDirectoryHandle(name);
  return (await folder.getFileHandle(parts.at(-1))).getFile();
}
