// The page against the native command line and against the floor that any
// page pays: the same bytes read with File.arrayBuffer() and written with the
// same API (a Blob, or createWritable into a folder) without converting.
// Headless Chromium, the page served from loopback so that the origin's
// private file system can stand in for the output folder a user would choose.
//
//   node bench/browser_bench.mjs --page build-web/kelvor.html --kelvor build/kelvor \
//        --zqgen build/zqgen [--runs 3] [--work /dev/shm]
//
// Batches (the page's time runs from the files' arrival in the page to its
// "Done" line; the native time is one process per file, one after another):
//   one    one container of 64 MiB, -l3, WAV as a Blob
//   many   200 copies of the example, -l2, WAVs as Blobs, then into a folder
//   large  30 containers of 32 MiB, -l2, WAVs into a folder
// The page's own measures give each file's stages (instance, read, run,
// peaks, output, row). For the folder batches one more page run samples the resident memory of
// all of Chromium's processes (ps, every 50 ms) and prints the peak above the
// idle page; the timed runs go unsampled, as the floor does. Every output is
// compared with the native one.
import { execFileSync, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { basename, join, resolve } from 'node:path';
import { parseArgs } from 'node:util';

import { chromium } from 'playwright-core';

const { values: options } = parseArgs({
  options: {
    page: { type: 'string' }, kelvor: { type: 'string' }, zqgen: { type: 'string' },
    runs: { type: 'string', default: '3' }, work: { type: 'string', default: '/dev/shm' },
    chromium: { type: 'string', default: '/usr/bin/chromium' },
  },
});
const runs = Number(options.runs);
const MiB = 1024 * 1024;
const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const mid = sorted.length >> 1;
  return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

function run(command, args, cwd) {
  const result = spawnSync(command, args, { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
  if (result.status !== 0) throw new Error(`${command} ${args.join(' ')}: status ${result.status}`);
}

// The batches' sources, each batch in a folder of its own.
const work = mkdtempSync(join(options.work, 'kelvor-browser-bench-'));
function batchFolder(name, count, dataBytes) {
  const folder = join(work, name);
  mkdirSync(folder);
  const first = join(folder, `${name}-000.zq`);
  run(resolve(options.zqgen), dataBytes ? [first, String(dataBytes), String(dataBytes / 4)] : [first]);
  for (let i = 1; i < count; i++) copyFileSync(first, join(folder, `${name}-${String(i).padStart(3, '0')}.zq`));
  return { folder, files: readdirSync(folder).sort().map((f) => join(folder, f)) };
}
const batches = {
  one: { ...batchFolder('one', 1, 64 * MiB), loop: 3 },
  many: { ...batchFolder('many', 200, 0), loop: 2 },
  large: { ...batchFolder('large', 30, 32 * MiB), loop: 2 },
};

// Native: a shell loop, one process per file, in the batch's folder; the
// WAVs are kept as the reference and removed before each run.
function nativeSeconds(batch) {
  const times = [];
  for (let r = 0; r < runs; r++) {
    for (const f of readdirSync(batch.folder)) if (f.endsWith('.wav')) rmSync(join(batch.folder, f));
    const start = process.hrtime.bigint();
    run('sh', ['-c', 'for f in *.zq; do "$0" "$f" "$1" >/dev/null || exit 1; done', resolve(options.kelvor),
      `-l${batch.loop}`], batch.folder);
    times.push(Number(process.hrtime.bigint() - start) / 1e9);
  }
  return median(times);
}

const server = createServer((request, response) => {
  response.writeHead(request.url === '/kelvor.html' ? 200 : 404, { 'content-type': 'text/html; charset=utf-8' });
  response.end(request.url === '/kelvor.html' ? readFileSync(options.page) : '');
});
await new Promise((done) => server.listen(0, '127.0.0.1', done));
// A profile on disk: the private file system of an off-the-record context
// lives in memory, with a small quota, and would count in the memory figures.
const profile = mkdtempSync(join(tmpdir(), 'kelvor-bench-profile-'));
const browser = await chromium.launchPersistentContext(profile, {
  executablePath: options.chromium, acceptDownloads: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync', '--js-flags=--expose-gc'],
});
const page = browser.pages()[0] || await browser.newPage();
await page.goto(`http://127.0.0.1:${server.address().port}/kelvor.html`);

function chromiumResidentKiB() {
  try {
    return execFileSync('ps', ['-C', 'chromium', '-o', 'rss='], { encoding: 'utf8' })
      .split('\n').filter(Boolean).reduce((sum, line) => sum + Number(line), 0);
  } catch {
    return 0;
  }
}

// Empties the private file system and lets go of what the last batch held.
async function settle() {
  await page.evaluate(async () => {
    const root = await navigator.storage.getDirectory();
    for await (const name of root.keys()) await root.removeEntry(name, { recursive: true });
    if (window.gc) window.gc();
  });
  await new Promise((done) => setTimeout(done, 500));
}

// One batch through the page: its seconds, and with `sampleMemory` the peak
// resident memory above the idle page while it ran. Sampling runs ps twenty
// times a second, a load of its own on a small machine, so the timed runs
// go without it and the memory is taken in a run of its own.
async function pageRun(batch, folderOutput, sampleMemory = false) {
  await page.reload();
  await page.getByLabel('Loop count').fill(String(batch.loop));
  await settle();
  if (folderOutput) {
    await page.evaluate(async () => {
      const out = await (await navigator.storage.getDirectory()).getDirectoryHandle('out', { create: true });
      window.showDirectoryPicker = async () => out;
    });
    await page.getByRole('button', { name: 'Choose output folder' }).click();
    await page.getByText('WAVs are written into the folder "out".').waitFor();
  }
  const idle = sampleMemory ? chromiumResidentKiB() : 0;
  let peak = idle;
  const sampler = sampleMemory ? setInterval(() => { peak = Math.max(peak, chromiumResidentKiB()); }, 50) : null;
  await page.evaluate(() => {
    window.benchTime = new Promise((done) => {
      let start = 0;
      document.getElementById('files').addEventListener('change', () => { start = performance.now(); }, { once: true });
      const progress = document.getElementById('progress');
      const watch = new MutationObserver(() => {
        if (start && /^Done/.test(progress.textContent)) {
          watch.disconnect();
          done({ seconds: (performance.now() - start) / 1000, text: progress.textContent });
        }
      });
      watch.observe(progress, { childList: true, characterData: true, subtree: true });
    });
  });
  await page.setInputFiles('#files', batch.files);
  const { seconds, text } = await page.evaluate(() => window.benchTime);
  if (sampler) clearInterval(sampler);
  // Where the time went, summed over the files: the page records each
  // file's stages as User Timing measures.
  const stages = await page.evaluate(() => {
    const sums = {};
    for (const { name, duration } of performance.getEntriesByType('measure')) {
      if (name.startsWith('kelvor ')) sums[name.slice(7)] = (sums[name.slice(7)] || 0) + duration;
    }
    return sums;
  });
  const n = batch.files.length;
  if (text !== `Done: ${n} of ${n} files, ${n} converted, 0 failed.`) {
    throw new Error(text + (await page.locator("#results li.failed").allInnerTexts()).join("\n"));
  }
  return { seconds, peakMiB: (peak - idle) / 1024, stages };
}

// The SHA-256 of one output, from the page's first row or from the folder.
async function firstOutputHash(batch, folderOutput) {
  const name = basename(batch.files[0]).replace(/\.zq$/, '.wav');
  if (!folderOutput) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#results a[download]').first().click()]);
    return createHash('sha256').update(readFileSync(await download.path())).digest('hex');
  }
  return page.evaluate(async (file) => {
    const out = await (await navigator.storage.getDirectory()).getDirectoryHandle('out');
    const bytes = await (await (await out.getFileHandle(file)).getFile()).arrayBuffer();
    return [...new Uint8Array(await crypto.subtle.digest('SHA-256', bytes))].map((b) => b.toString(16).padStart(2, '0')).join('');
  }, name);
}

// The floor: in a worker, each file read with File.arrayBuffer() and as many
// bytes as its WAV written, as a Blob or into the folder in 8 MiB writes.
async function floorRun(batch, folderOutput) {
  await settle();
  const wavSizes = batch.files.map((f) => readFileSync(f.replace(/\.zq$/, '.wav')).length);
  await page.evaluate(({ sizes, folder }) => {
    const source = `onmessage = async ({ data: { files, sizes, folder } }) => {
      const out = folder ? await (await navigator.storage.getDirectory()).getDirectoryHandle('floor', { create: true }) : null;
      const start = performance.now();
      const kept = [];
      for (let i = 0; i < files.length; i++) {
        const input = new Uint8Array(await files[i].arrayBuffer());
        const bytes = new Uint8Array(sizes[i]);
        bytes.set(input.subarray(0, Math.min(input.length, bytes.length)));
        if (!out) { kept.push(new Blob([bytes])); continue; }
        const stream = await (await out.getFileHandle('f' + i, { create: true })).createWritable();
        for (let at = 0; at < bytes.length; at += 8 << 20) await stream.write(bytes.subarray(at, at + (8 << 20)));
        await stream.close();
      }
      postMessage((performance.now() - start) / 1000);
    };`;
    window.floorWorker = new Worker(URL.createObjectURL(new Blob([source])));
    window.floorSizes = sizes;
    window.floorFolder = folder;
  }, { sizes: wavSizes, folder: folderOutput });
  const input = await page.evaluateHandle(() => {
    const picker = document.createElement('input');
    picker.type = 'file';
    picker.multiple = true;
    document.body.append(picker);
    return picker;
  });
  await input.setInputFiles(batch.files);
  const seconds = await input.evaluate((picker) => new Promise((done) => {
    window.floorWorker.onmessage = (event) => done(event.data);
    window.floorWorker.postMessage({ files: [...picker.files], sizes: window.floorSizes, folder: window.floorFolder });
  }));
  await input.evaluate((picker) => { picker.remove(); window.floorWorker.terminate(); });
  return seconds;
}

const rows = [];
const stageRows = [];
const only = process.env.ONLY;
for (const [name, batch, folderOutput] of [['one', batches.one, false], ['many', batches.many, false],
  ['many', batches.many, true], ['large', batches.large, true]]) {
  if (only && only !== name) continue;
  const native = nativeSeconds(batch);
  const reference = createHash('sha256').update(readFileSync(batch.files[0].replace(/\.zq$/, '.wav'))).digest('hex');
  const pageRuns = [];
  const floors = [];
  for (let r = 0; r < runs; r++) {
    pageRuns.push(await pageRun(batch, folderOutput));
    if (r === 0 && await firstOutputHash(batch, folderOutput) !== reference) {
      throw new Error(`${name}: the page wrote other bytes than the native run`);
    }
    floors.push(await floorRun(batch, folderOutput));
  }
  const peakMiB = folderOutput ? (await pageRun(batch, folderOutput, true)).peakMiB : null;
  const pageSeconds = median(pageRuns.map((p) => p.seconds));
  const floor = median(floors);
  rows.push({ batch: `${name} (${batch.files.length} files)`, output: folderOutput ? 'folder' : 'Blob',
    native: native.toFixed(3), page: pageSeconds.toFixed(3), floor: floor.toFixed(3),
    'page/floor': (pageSeconds / floor).toFixed(2), 'page/native': (pageSeconds / native).toFixed(2),
    'peak MiB over idle': peakMiB === null ? '' : peakMiB.toFixed(0) });
  // Per file, in ms, from the median run: the workers' stages (two workers,
  // so they overlap) and the main thread's rows.
  const middle = pageRuns.slice().sort((a, b) => a.seconds - b.seconds)[runs >> 1];
  const n = batch.files.length;
  stageRows.push({ batch: `${name}, ${folderOutput ? 'folder' : 'Blob'}`,
    ...Object.fromEntries(['instance', 'read', 'run', 'peaks', 'output', 'row']
      .map((stage) => [`${stage} ms/file`, ((middle.stages[stage] || 0) / n).toFixed(2)])) });
}
await browser.close();
server.close();
rmSync(work, { recursive: true, force: true });
rmSync(profile, { recursive: true, force: true });

console.log(`medians of ${runs} runs; seconds; outputs compared with the native ones: equal`);
console.table(rows);
console.log('where the page\'s time goes, per file (worker stages overlap across the two workers):');
console.table(stageRows);
