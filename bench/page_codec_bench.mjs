// The page's encoders against the reference tools, on the same machine in
// the same run: a 64 MiB stereo 16-bit track (loop count 1: the sound once)
// dropped on the page in Debian's Chromium, to FLAC against flac -5 and to
// Ogg Vorbis against oggenc -q5 of the WAV kelvor writes of it. The page's
// time runs from the file being chosen to its row being done, reading,
// planning, encoding and the Blob included.
//
//   node bench/page_codec_bench.mjs --page build-web/kelvor.html --build build [--runs 2]
import { spawnSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';

import { chromium } from 'playwright-core';

const { values: options } = parseArgs({
  options: { page: { type: 'string' }, build: { type: 'string', default: 'build' }, runs: { type: 'string', default: '2' },
    work: { type: 'string', default: '/dev/shm' } },
});
const MIB = 1 << 20;
const work = mkdtempSync(join(options.work, 'kelvor-page-codec-'));
const run = (cmd, args) => {
  const started = performance.now();
  const done = spawnSync(cmd, args, { cwd: work, stdio: 'ignore' });
  if (done.status !== 0) throw new Error(`${cmd} ${args.join(' ')} failed`);
  return (performance.now() - started) / 1000;
};

try {
  run(resolve(options.build, 'zqgen'), ['track.zq', String(64 * MIB), String(16 * MIB)]);
  run(resolve(options.build, 'kelvor'), ['track.zq', '-l1']);
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update'] });
  const page = await (await browser.newContext()).newPage();
  await page.goto(pathToFileURL(resolve(options.page)).href);
  await page.getByLabel('Loop count').fill('1');

  async function inPage(format) {
    await page.getByLabel(format, { exact: true }).check();
    await page.evaluate(() => document.getElementById('clear').click());
    const started = performance.now();
    await page.setInputFiles('#files', [join(work, 'track.zq')]);
    await page.waitForFunction(() => /^Done: 1 of 1 files, 1 converted/.test(document.getElementById('progress').textContent),
      null, { timeout: 120000 }).catch(async (error) => {
      throw new Error(`${format}: ${await page.locator('#progress').textContent()}`, { cause: error });
    });
    return (performance.now() - started) / 1000;
  }
  const pairs = [
    ['FLAC', 'FLAC', 'flac -5', () => run('flac', ['-5', '-f', '-s', '-o', 'ref.flac', 'track.wav'])],
    ['Ogg Vorbis', 'Ogg Vorbis', 'oggenc -q5', () => run('oggenc', ['-Q', '-q5', '-o', 'ref.ogg', 'track.wav'])],
  ];
  const best = {};
  const keep = (key, seconds) => { best[key] = Math.min(best[key] ?? Infinity, seconds); };
  for (let round = 0; round < Number(options.runs); round++) {
    for (const [name, label, , reference] of pairs) {
      keep(`${name} page`, await inPage(label));
      keep(`${name} reference`, reference());
    }
  }
  await browser.close();
  console.log(`64 MiB stereo 16-bit at 44.1 kHz, Chromium headless, best of ${options.runs} alternating runs`);
  console.log('| format | page s | reference | reference s | ratio |');
  console.log('|---|---|---|---|---|');
  for (const [name, , label] of pairs) {
    const [ours, ref] = [best[`${name} page`], best[`${name} reference`]];
    console.log(`| ${name} | ${ours.toFixed(2)} | ${label} | ${ref.toFixed(2)} | ${(ours / ref).toFixed(2)} |`);
  }
} finally {
  rmSync(work, { recursive: true, force: true });
}
