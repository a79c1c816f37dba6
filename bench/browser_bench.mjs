// The page against the native command line on one file: a container of
// 64 MiB of stereo 16-bit samples, loop start at a quarter, converted with -l3.
// The page's time runs from the file chooser's change event (the file is in
// the page) to the moment the WAV's download link exists (the WAV is ready);
// the native time is the whole process run. Both outputs are checked to be
// byte-equal. Medians over the runs, in headless Chromium. For scale it also
// times filling a fresh buffer of the WAV's size in the page.
//
//   node bench/browser_bench.mjs --page build-web/kelvor.html --kelvor build/kelvor \
//        --zqgen build/zqgen [--runs 9] [--mib 64] [--work /dev/shm]
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';

import { chromium } from 'playwright-core';

const { values: options } = parseArgs({
  options: {
    page: { type: 'string' }, kelvor: { type: 'string' }, zqgen: { type: 'string' },
    runs: { type: 'string', default: '9' }, mib: { type: 'string', default: '64' },
    work: { type: 'string', default: '/dev/shm' }, chromium: { type: 'string', default: '/usr/bin/chromium' },
  },
});
const runs = Number(options.runs);
const dataBytes = Number(options.mib) * 1024 * 1024;

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const mid = sorted.length >> 1;
  return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

function run(command, args, cwd) {
  const result = spawnSync(command, args, { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
  if (result.status !== 0) throw new Error(`${command} ${args.join(' ')}: status ${result.status}`);
}

const work = mkdtempSync(join(options.work, 'kelvor-browser-bench-'));
const source = join(work, 'bench.zq');
run(resolve(options.zqgen), [source, String(dataBytes), String(dataBytes / 4)]);

// Native: one process per run, its output removed before the next.
const nativeSeconds = [];
for (let i = 0; i < runs; i++) {
  rmSync(join(work, 'bench.wav'), { force: true });
  const start = process.hrtime.bigint();
  run(resolve(options.kelvor), ['bench.zq', '-l3'], work);
  nativeSeconds.push(Number(process.hrtime.bigint() - start) / 1e9);
}
const nativeWav = readFileSync(join(work, 'bench.wav'));

const browser = await chromium.launch({
  executablePath: options.chromium,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const context = await browser.newContext({ acceptDownloads: true });
const page = await context.newPage();
await page.goto(pathToFileURL(resolve(options.page)).href);
await page.getByLabel('Loop count').fill('3');

const pageSeconds = [];
let checked = false;
for (let i = 0; i < runs; i++) {
  // A fresh page state for each run: the previous batch's WAV is released.
  await page.evaluate(() => {
    window.benchTime = new Promise((done) => {
      document.getElementById('files').addEventListener('change', () => {
        const start = performance.now();
        const results = document.getElementById('results');
        const watch = new MutationObserver(() => {
          if (results.querySelector('a[download]')) {
            watch.disconnect();
            done((performance.now() - start) / 1000);
          }
        });
        watch.observe(results, { childList: true, subtree: true });
      }, { once: true });
    });
  });
  await page.setInputFiles('#files', source);
  pageSeconds.push(await page.evaluate(() => window.benchTime));
  if (!checked) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#results a[download]').click()]);
    if (!readFileSync(await download.path()).equals(nativeWav)) throw new Error('the page wrote other bytes than the native run');
    checked = true;
  }
}
// What merely touching that much fresh memory costs in the page: the page
// must hold the whole WAV, while the native run streams it through 128 KiB.
const touchSeconds = [];
for (let i = 0; i < runs; i++) {
  touchSeconds.push(await page.evaluate((n) => {
    const start = performance.now();
    new Uint8Array(n).fill(1);
    return (performance.now() - start) / 1000;
  }, nativeWav.length));
}
await browser.close();
rmSync(work, { recursive: true, force: true });

const fmt = (s) => s.toFixed(3);
console.log(`data ${options.mib} MiB, -l3, output ${nativeWav.length} bytes, ${runs} runs each (medians; fastest in brackets)`);
console.log(`native kelvor        ${fmt(median(nativeSeconds))} s  [${fmt(Math.min(...nativeSeconds))}]`);
console.log(`page in Chromium     ${fmt(median(pageSeconds))} s  [${fmt(Math.min(...pageSeconds))}]`);
const ratio = median(pageSeconds) / median(nativeSeconds);
console.log(`page / native        ${ratio.toFixed(2)}  (target: at most 3)  ${ratio <= 3 ? 'PASS' : 'FAIL'}`);
console.log('outputs byte-equal   yes');
console.log(`for comparison: filling ${nativeWav.length} bytes of fresh memory in the page ${fmt(median(touchSeconds))} s`);
