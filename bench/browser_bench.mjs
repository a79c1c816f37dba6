// The page against references measured in the same run: the native command
// line, one read of the files in the page (File.arrayBuffer() in a worker,
// nothing else), and the floor that any page pays to hand the WAVs over (the
// same bytes read, then as many as the WAVs hold written with the same API:
// a Blob, or createWritable into a folder). Headless Chromium, the page
// served from loopback so that the origin's private file system can stand in
// for the output folder a user would choose.
//
//   node bench/browser_bench.mjs --page build-web/kelvor.html --kelvor build/kelvor \
//        --zqgen build/zqgen [--runs 3] [--work /dev/shm]
//
// Cases (the page's time runs from the files' arrival in the page to its
// "Done" line; the native time is one process per file, one after another):
//   one    one container of 64 MiB at -l1, -l3 and -l10, WAV as a Blob
//   many   200 copies of the example, -l2, WAVs as Blobs, then into a folder
//   large  30 containers of 32 MiB, -l2, WAVs into a folder; once more while
//          another process keeps a core busy and churns 1 GiB of memory
//   sparse one container of 2 GiB less 1 KiB of data, the largest the
//          reader's 32-bit positions reach (a sparse file), -l1, WAV as a
//          Blob: the page alone, its time and memory (no reference can read
//          such a file whole)
// Every run samples the resident memory of all of Chromium's processes (ps,
// every 100 ms; the references are sampled alike) and reports the peak above
// the idle page. The page's own measures give each file's stages (instance,
// read, run, peaks, output, row). Every output is compared with the native
// one. The targets: the 64 MiB track done within 1.5 x one read of it at
// every loop count, at most 128 MiB above idle; the folder of 30 x 32 MiB
// under 300 MiB above idle in every run, the loaded one included.
import { execFileSync, spawn, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { closeSync, copyFileSync, mkdirSync, mkdtempSync, openSync, readFileSync, readdirSync, rmSync, writeSync } from 'node:fs';
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
const one = batchFolder('one', 1, 64 * MiB);
const many = batchFolder('many', 200, 0);
const large = batchFolder('large', 30, 32 * MiB);
// A sparse container of the largest sound the reader reaches (its positions
// are 32-bit, below 2^31): the loop chunk first, then the track, its data a
// hole but for the last byte.
function sparseFolder(dataBytes) {
  const folder = join(work, 'sparse');
  mkdirSync(folder);
  const file = join(folder, 'sparse.zq');
  const head = Buffer.alloc(8 + 24 + 36);
  head.write('fZQ ');
  head.writeUInt32LE(head.length + dataBytes, 4);
  head.write('cSLP', 8);
  [1, 0, dataBytes / 8, 0, 0].forEach((v, i) => head.writeUInt32LE(v, 12 + 4 * i));
  head.write('cTRK', 32);
  [1, 0, 36, dataBytes / 4, 44100].forEach((v, i) => head.writeUInt32LE(v, 36 + 4 * i));
  [0, 2, 16, 0, 16, 0].forEach((v, i) => head.writeUInt16LE(v, 56 + 2 * i));
  const fd = openSync(file, 'w');
  writeSync(fd, head, 0, head.length, 0);
  writeSync(fd, Buffer.alloc(1), 0, 1, head.length + dataBytes - 1);
  closeSync(fd);
  return { folder, files: [file] };
}
const sparse = process.env.ONLY && !'sparse'.startsWith(process.env.ONLY) ? null : sparseFolder(2 ** 31 - 1024);
const cases = [
  { name: 'one, -l1', batch: { ...one, loop: 1 }, folder: false, target: { read: 1.5, peak: 128 } },
  { name: 'one, -l3', batch: { ...one, loop: 3 }, folder: false, target: { read: 1.5, peak: 128 } },
  { name: 'one, -l10', batch: { ...one, loop: 10 }, folder: false, target: { read: 1.5, peak: 128 } },
  { name: 'many', batch: { ...many, loop: 2 }, folder: false },
  { name: 'many', batch: { ...many, loop: 2 }, folder: true },
  { name: 'large', batch: { ...large, loop: 2 }, folder: true, target: { peak: 300 } },
  { name: 'large, loaded', batch: { ...large, loop: 2 }, folder: true, target: { peak: 300 }, loaded: true },
  { name: 'sparse', batch: { ...sparse, loop: 1 }, folder: false, target: { peak: 128 }, alone: true },
];

// Native: a shell loop, one process per file, in the batch's folder; the
// WAVs are kept as the reference and removed before each run.
function nativeSeconds(batch) {
  const times = [];
  for (let r = 0; r < runs; r++) {
    for (const f of readdirSync(batch.folder)) if (f.endsWith('.wav')) rmSync(join(batch.folder, f), { force: true });
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

// The peak of Chromium's resident memory above `idle` while `work` runs, in
// MiB, with what `work` gives.
async function sampled(work) {
  const idle = chromiumResidentKiB();
  let peak = idle;
  const sampler = setInterval(() => { peak = Math.max(peak, chromiumResidentKiB()); }, 100);
  try {
    const result = await work();
    peak = Math.max(peak, chromiumResidentKiB());
    return { ...result, peakMiB: (peak - idle) / 1024 };
  } finally {
    clearInterval(sampler);
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

// One batch through the page: its seconds, the peak memory above the idle
// page, and where the time went.
async function pageRun(batch, folderOutput) {
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
  // The memory is sampled until the waveforms' peaks have come too, which
  // follow each file's being done.
  const run = await sampled(async () => {
    await page.setInputFiles('#files', batch.files);
    const done = await page.evaluate(() => window.benchTime);
    await page.waitForFunction((n) => performance.getEntriesByName('kelvor peaks').length >= n, batch.files.length,
      { timeout: 60000 });
    return done;
  });
  // Where the time went, summed over the files: the page records each
  // file's stages as User Timing measures, the waveform's peaks among them.
  const stages = await page.evaluate(() => {
    const sums = {};
    for (const { name, duration } of performance.getEntriesByType('measure')) {
      if (name.startsWith('kelvor ')) sums[name.slice(7)] = (sums[name.slice(7)] || 0) + duration;
    }
    return sums;
  });
  const n = batch.files.length;
  if (run.text !== `Done: ${n} of ${n} files, ${n} converted, 0 failed.`) {
    throw new Error(run.text + (await page.locator('#results li.failed').allInnerTexts()).join('\n'));
  }
  return { seconds: run.seconds, peakMiB: run.peakMiB, stages };
}

// The SHA-256 of one output, from the page's first row or from the folder.
async function firstOutputHash(batch, folderOutput) {
  const name = basename(batch.files[0]).replace(/\.zq$/, '.wav');
  if (!folderOutput) {
    await page.locator('#results > li .toggle').first().click();  // the row's details hold its download
    const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#results a[download]').first().click()]);
    const hash = createHash('sha256');
    for await (const piece of (await download.createReadStream())) hash.update(piece);
    return hash.digest('hex');
  }
  return page.evaluate(async (file) => {
    const out = await (await navigator.storage.getDirectory()).getDirectoryHandle('out');
    const bytes = await (await (await out.getFileHandle(file)).getFile()).arrayBuffer();
    return [...new Uint8Array(await crypto.subtle.digest('SHA-256', bytes))].map((b) => b.toString(16).padStart(2, '0')).join('');
  }, name);
}

// A reference run in a worker of the page: each file read with
// File.arrayBuffer(); with `write`, then as many bytes as its WAV written,
// as a Blob or into the folder in 8 MiB writes (the floor). Its seconds, on
// the page's clock as the page's own runs are timed (from the files handed
// to the worker to its answer back), and peak memory.
async function referenceRun(batch, folderOutput, write) {
  await settle();
  const wavSizes = batch.files.map((f) => readFileSync(f.replace(/\.zq$/, '.wav')).length);
  await page.evaluate(({ sizes, folder, write }) => {
    const source = `onmessage = async ({ data: { files, sizes, folder, write } }) => {
      const out = folder ? await (await navigator.storage.getDirectory()).getDirectoryHandle('floor', { create: true }) : null;
      const kept = [];
      for (let i = 0; i < files.length; i++) {
        const input = new Uint8Array(await files[i].arrayBuffer());
        if (!write) continue;
        const bytes = new Uint8Array(sizes[i]);
        bytes.set(input.subarray(0, Math.min(input.length, bytes.length)));
        if (!out) { kept.push(new Blob([bytes])); continue; }
        const stream = await (await out.getFileHandle('f' + i, { create: true })).createWritable();
        for (let at = 0; at < bytes.length; at += 8 << 20) await stream.write(bytes.subarray(at, at + (8 << 20)));
        await stream.close();
      }
      postMessage(null);
    };`;
    window.floorWorker = new Worker(URL.createObjectURL(new Blob([source])));
    window.floorTask = { sizes, folder, write };
  }, { sizes: wavSizes, folder: folderOutput, write });
  const input = await page.evaluateHandle(() => {
    const picker = document.createElement('input');
    picker.type = 'file';
    picker.multiple = true;
    document.body.append(picker);
    return picker;
  });
  await input.setInputFiles(batch.files);
  const run = await sampled(async () => ({ seconds: await input.evaluate((picker) => new Promise((done) => {
    const start = performance.now();
    window.floorWorker.onmessage = () => done((performance.now() - start) / 1000);
    window.floorWorker.postMessage({ files: [...picker.files], ...window.floorTask });
  })) }));
  await input.evaluate((picker) => { picker.remove(); window.floorWorker.terminate(); });
  return run;
}

// Another heavy process: a core kept busy and 1 GiB of memory written over
// and over, until it is stopped.
function heavyProcess() {
  return spawn(process.execPath, ['-e', `
    const block = Buffer.alloc(1 << 30);
    for (let round = 0; ; round++) {
      for (let at = 0; at < block.length; at += 4096) block[at] = round;
    }`], { stdio: 'ignore' });
}

const rows = [];
const stageRows = [];
const checks = [];
const only = process.env.ONLY;
const f = (x, digits = 3) => x.toFixed(digits);
for (const { name, batch, folder: folderOutput, target, loaded, alone } of cases) {
  if (only && !name.startsWith(only)) continue;
  if (alone) {  // the page alone
    const pageRuns = [];
    for (let r = 0; r < runs; r++) pageRuns.push(await pageRun(batch, folderOutput));
    const peaks = pageRuns.map((p) => p.peakMiB);
    const label = `${name} (1 file of 2 GiB, Blob)`;
    rows.push({ case: label, page: f(median(pageRuns.map((p) => p.seconds))),
      'page peak MiB over idle': peaks.map((p) => f(p, 0)).join(', ') });
    checks.push([`${label}: peak memory at most ${target.peak} MiB above idle in every run: ${f(Math.max(...peaks), 0)}`,
      Math.max(...peaks) <= target.peak]);
    continue;
  }
  const native = nativeSeconds(batch);
  const reference = createHash('sha256').update(readFileSync(batch.files[0].replace(/\.zq$/, '.wav'))).digest('hex');
  const heavy = loaded ? heavyProcess() : null;
  const pageRuns = [];
  const reads = [];
  const floors = [];
  try {
    if (heavy) await new Promise((done) => setTimeout(done, 3000));  // its gigabyte in place
    for (let r = 0; r < (loaded ? 1 : runs); r++) {
      pageRuns.push(await pageRun(batch, folderOutput));
      if (r === 0 && await firstOutputHash(batch, folderOutput) !== reference) {
        throw new Error(`${name}: the page wrote other bytes than the native run`);
      }
      reads.push(await referenceRun(batch, folderOutput, false));
      floors.push(await referenceRun(batch, folderOutput, true));
    }
  } finally {
    if (heavy) heavy.kill();
  }
  const pageSeconds = median(pageRuns.map((p) => p.seconds));
  const read = median(reads.map((r) => r.seconds));
  const floor = median(floors.map((r) => r.seconds));
  const peaks = pageRuns.map((p) => p.peakMiB);
  const label = `${name} (${batch.files.length} files, ${folderOutput ? 'folder' : 'Blob'})`;
  rows.push({ case: label, native: f(native), page: f(pageSeconds), 'one read': f(read), floor: f(floor),
    'page/read': f(pageSeconds / read, 2), 'page/floor': f(pageSeconds / floor, 2), 'page/native': f(pageSeconds / native, 2),
    'page peak MiB over idle': peaks.map((p) => f(p, 0)).join(', '),
    'read peak MiB': f(Math.max(...reads.map((r) => r.peakMiB)), 0) });
  if (target && target.read) {
    checks.push([`${label}: done within ${target.read} x one read: ${f(pageSeconds / read, 2)}`, pageSeconds / read <= target.read]);
  }
  if (target && target.peak) {
    const most = Math.max(...peaks);
    checks.push([`${label}: peak memory at most ${target.peak} MiB above idle in every run: ${f(most, 0)}`, most <= target.peak]);
  }
  // Per file, in ms, from the median run: the workers' stages (two workers,
  // so they overlap) and the main thread's rows.
  const middle = pageRuns.slice().sort((a, b) => a.seconds - b.seconds)[pageRuns.length >> 1];
  const n = batch.files.length;
  stageRows.push({ case: label,
    ...Object.fromEntries(['instance', 'read', 'run', 'peaks', 'output', 'row']
      .map((stage) => [`${stage} ms/file`, f((middle.stages[stage] || 0) / n, 2)])) });
}
await browser.close();
server.close();
rmSync(work, { recursive: true, force: true });
rmSync(profile, { recursive: true, force: true });

console.log(`medians of ${runs} runs (the loaded case: one); seconds; outputs compared with the native ones: equal`);
console.table(rows);
console.log('where the page\'s time goes, per file (worker stages overlap across the two workers):');
console.table(stageRows);
for (const [what, ok] of checks) console.log(`${ok ? 'PASS' : 'FAIL'}  ${what}`);
process.exitCode = checks.every(([, ok]) => ok) ? 0 : 1;
