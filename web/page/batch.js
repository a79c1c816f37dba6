// The list of files the page converts: every file added since the last
// Clear, each with the settings and output folder that were in force when it
// was added, each shown at once as a waiting row. Files added while others
// convert join the queue; nothing done is taken away but by clear(). It
// hands the files to the pool in order (the next ones ahead, so that they
// are read while others convert), fills each row from its reply, keeps the
// counts, the WAVs for "Download all" and the loop list, writes the loop
// list into each output folder when the queue ends, and stops the queue on
// request after the files in progress.
import { commandLine, kindOf } from '../shared/kinds.js';
import { writeInto } from '../shared/loop_list.js';
import { createRow } from './row.js';

// Files handed to the pool ahead of the one converting: at least one, more
// while they are small.
const AHEAD_FILES = 8;
const AHEAD_BYTES = 16 * 1024 * 1024;

// `pool`: a pool.js pool; `list`: the <ol> that holds the rows; `changed()`
// is called whenever the progress may have changed.
export function createBatch({ pool, list, changed }) {
  let entries = [];  // { file, path, settings, row, state: waiting | handed | done, reply }
  let next = 0;  // the first entry not yet handed over
  let handed = [];  // handed over, not yet shown, in order
  let running = false;
  let stopping = false;
  let counts, wavs, loops, listProblems, names, urls, skipped, bytesDone, bytesTotal;
  const reset = () => {
    counts = { converted: 0, warned: 0, empty: 0, failed: 0, stopped: 0 };
    wavs = [];
    loops = [];
    listProblems = [];
    names = new Set();
    urls = [];
    skipped = 0;
    bytesDone = 0;
    bytesTotal = 0;
  };
  reset();

  // The zip must not hold two entries of one name: a repeated one gets " (2)", ...
  function uniqueName(name) {
    let unique = name;
    if (names.has(name)) {
      const dot = name.lastIndexOf('.');
      const stem = dot > 0 ? name.slice(0, dot) : name;
      const extension = dot > 0 ? name.slice(dot) : '';
      for (let n = 2; names.has(unique); n++) unique = `${stem} (${n})${extension}`;
    }
    names.add(unique);
    return unique;
  }

  // A Blob's address costs a round trip to the browser's own process (some
  // 3 ms): a row's is made when its link or player is first about to be used.
  function addressOf(blob) {
    let url = null;
    return () => {
      if (!url) {
        url = URL.createObjectURL(blob);
        urls.push(url);
      }
      return url;
    };
  }

  function add(found, settings) {
    const added = found.files.map(({ file, path }) => ({ file, path, settings, row: createRow(path, settings),
      state: 'waiting' }));
    list.append(...added.map((entry) => entry.row.element));
    entries.push(...added);
    skipped += found.skipped;
    bytesTotal += added.reduce((sum, entry) => sum + entry.file.size, 0);
    if (!running) start();
    changed();
    return added;
  }

  function handAhead() {
    const ahead = () => handed.slice(1).reduce((sum, entry) => sum + entry.file.size, 0);
    while (!stopping && next < entries.length &&
           (handed.length < 2 || (handed.length <= AHEAD_FILES && ahead() < AHEAD_BYTES))) {
      const entry = entries[next++];
      const { settings, file, path } = entry;
      const subfolders = path.split('/').slice(0, -1);
      const job = { file, args: commandLine(file.name, settings), kind: kindOf(settings.output).code,
        output: settings.folder ? { folder: settings.folder, subfolders } : null };
      const onPeaks = (peaks, ms) => {
        entry.row.showPeaks(peaks);
        measure({ peaks: ms });
      };
      const { reply } = pool.handOver(job, () => entry.row.converting(), onPeaks);
      entry.state = 'handed';
      entry.reply = reply;
      handed.push(entry);
    }
  }

  // Where the row finds each WAV, and the zip's share of it.
  function sourcesOf(entry, reply) {
    if (reply.type !== 'done' || reply.status !== 0) return [];
    const { folder } = entry.settings;
    return reply.wavs.map((wav) => (wav.written ? { written: `${folder.name}/${wav.written}` }
      : { url: addressOf(wav.blob), blob: wav.blob }));
  }

  // A converted file's WAVs for "Download all", and its line of the loop list.
  function remember(entry, reply, sources) {
    const subfolders = entry.path.split('/').slice(0, -1);
    const outputs = reply.wavs.map((wav, i) => {
      if (!sources[i].blob) return [...subfolders, wav.name].join('/');
      const name = uniqueName([...subfolders, wav.name].join('/'));
      wavs.push({ name, blob: sources[i].blob });
      return name;
    });
    loops.push({ path: entry.path, outputs, output: entry.settings.output, folder: entry.settings.folder, facts: reply.facts });
  }

  // Each output folder gets the loop list of the files written into it,
  // before the batch counts as done.
  async function writeLoopLists() {
    const folders = new Map();
    for (const entry of loops) {
      if (!entry.folder) continue;
      if (!folders.has(entry.folder)) folders.set(entry.folder, []);
      folders.get(entry.folder).push(entry);
    }
    listProblems = [];
    for (const [folder, entries] of folders) listProblems.push(...await writeInto(folder, entries));
  }

  // Where each file's time went, as User Timing measures ("kelvor run",
  // ...) that a profiler or the benchmark can read; let go by clear().
  function measure(timing) {
    const now = performance.now();
    for (const [stage, ms] of Object.entries(timing)) performance.measure(`kelvor ${stage}`, { start: now - ms, duration: ms });
  }

  async function run() {
    running = true;
    handAhead();
    while (handed.length > 0) {
      const entry = handed.shift();
      const reply = await entry.reply;
      entry.state = 'done';
      if (reply.type === 'discarded') {  // a Stop came before it started
        entry.row.stopped();
        counts.stopped++;
      } else {
        const sources = sourcesOf(entry, reply);
        const shownAt = performance.now();
        let outcome;
        try {
          outcome = entry.row.show(reply, sources);
        } catch (error) {  // a fault of the page's own: the row says so, the queue goes on
          outcome = entry.row.failed(`This result could not be shown: ${error && error.message ? error.message : error}`);
        }
        measure({ ...reply.timing, row: performance.now() - shownAt });
        counts[outcome]++;
        if (outcome === 'converted' || outcome === 'warned') remember(entry, reply, sources);
      }
      bytesDone += entry.file.size;
      handAhead();
      changed();
    }
    await writeLoopLists();
    running = false;
    stopping = false;
    changed();
    if (next < entries.length) start();  // added while the queue was stopping
  }

  // Every reply resolves and every row's fault is caught, so the queue
  // cannot stop half way; were it to, its files would say so.
  function start() {
    run().catch((error) => {
      running = false;
      stopping = false;
      for (const entry of entries) {
        if (entry.state !== 'done') entry.row.failed(`The page stopped unexpectedly: ${error && error.message}`);
        entry.state = 'done';
      }
      next = entries.length;
      handed = [];
      changed();
    });
  }

  // Ends the queue after the files in progress: every file not yet started
  // is let go, its row saying so.
  function stop() {
    if (!running || stopping) return;
    stopping = true;
    pool.stop();
    for (; next < entries.length; next++) {
      const entry = entries[next];
      entry.state = 'done';
      entry.row.stopped();
      counts.stopped++;
      bytesDone += entry.file.size;
    }
    changed();
  }

  // Takes every row away, with its sound and its WAV's address. Only
  // between runs: a file in progress keeps its row.
  function clear() {
    if (running) return false;
    for (const entry of entries) entry.row.remove();
    for (const url of urls) URL.revokeObjectURL(url);
    for (const stage of ['instance', 'read', 'run', 'peaks', 'output', 'row']) performance.clearMeasures(`kelvor ${stage}`);
    entries = [];
    next = 0;
    handed = [];
    reset();
    changed();
    return true;
  }

  function progress() {
    const done = entries.filter((entry) => entry.state === 'done').length;
    const current = handed[0];
    return { running, stopping, total: entries.length, done, bytesDone, bytesTotal, skipped,
      counts: { ...counts }, current: current ? current.path : null, zipFiles: wavs.length, listedFiles: loops.length, listProblems };
  }

  return { add, stop, clear, progress, zipEntries: () => wavs.slice(), loopEntries: () => loops.slice() };
}

