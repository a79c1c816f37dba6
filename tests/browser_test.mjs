// The page in a real browser: Debian's Chromium, driven by playwright-core,
// opens the built page from file:// and converts several files at once. What
// the page shows and what it lets the user download must equal what the
// native command line prints and writes for the same arguments.
//
//   node tests/browser_test.mjs --page build-web/kelvor.html --kelvor build/kelvor \
//        --example build/example.zq [--screenshot build-web/kelvor-page.png]
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';
import { test } from 'node:test';

import { unzipSync } from 'fflate';
import { chromium } from 'playwright-core';

const { values: options } = parseArgs({
  options: {
    page: { type: 'string' }, kelvor: { type: 'string' }, example: { type: 'string' },
    screenshot: { type: 'string' }, chromium: { type: 'string', default: '/usr/bin/chromium' },
  },
});

// A closed network: Chromium's own background connections would only be refused.
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Containers of the test: tags and little-endian fields.
function container({ data, loopUnits = null }) {
  const fields = (values, width) => {
    const b = Buffer.alloc(values.length * width);
    values.forEach((v, i) => (width === 4 ? b.writeUInt32LE(v, i * 4) : b.writeUInt16LE(v, i * 2)));
    return b;
  };
  const trk = Buffer.concat([Buffer.from('cTRK'), fields([1, 0, 36, data.length / 4, 44100], 4),
    fields([0, 2, 16, 0, 16, 0], 2), data]);
  const slp = loopUnits === null ? Buffer.alloc(0) : Buffer.concat([Buffer.from('cSLP'), fields([1, 0, loopUnits, 0, 0], 4)]);
  return Buffer.concat([Buffer.from('fZQ '), fields([8 + trk.length + slp.length], 4), trk, slp]);
}

// What the native command line prints and writes for `args`, run in a folder
// that holds only the source.
function nativeRun(source, name, args) {
  const dir = mkdtempSync(join(tmpdir(), 'kelvor-native-'));
  try {
    copyFileSync(source, join(dir, name));
    const run = spawnSync(resolve(options.kelvor), args, { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
    assert.equal(run.stderr.length, 0);
    const match = /dst\[(.*)\]\n/.exec(run.stdout.toString('utf8'));
    let wav = null;
    try {
      wav = match ? readFileSync(join(dir, match[1])) : null;
    } catch {
      wav = null;  // the run stopped before creating it
    }
    return { stdout: run.stdout.toString('utf8'), code: run.status > 127 ? run.status - 256 : run.status,
             wavName: match ? match[1] : null, wav };
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

async function rows(page) {
  return page.$$eval('#results > li', (items) => items.map((li) => ({
    name: li.querySelector('h3').textContent,
    messages: li.querySelector('pre') ? li.querySelector('pre').textContent : null,
    code: li.querySelector('.code').textContent,
    download: li.querySelector('a[download]') ? li.querySelector('a[download]').getAttribute('download') : null,
  })));
}

// Waits for the batch's closing line; returns it.
async function finished(page, picker, paths) {
  await page.setInputFiles(picker, paths);
  await page.waitForFunction(() => /^(Done|Stopped)/.test(document.getElementById('progress').textContent),
    null, { timeout: 60000 });
  return page.locator('#progress').textContent();
}

async function convertBatch(page, paths) {
  assert.match(await finished(page, '#files', paths), new RegExp(`^Done: ${paths.length} of ${paths.length} files`));
}

async function download(page, locator) {
  const [file] = await Promise.all([page.waitForEvent('download'), locator.click()]);
  return { name: file.suggestedFilename(), bytes: readFileSync(await file.path()) };
}

const work = mkdtempSync(join(tmpdir(), 'kelvor-browser-'));
const files = {
  'example.zq': readFileSync(options.example),
  'no-loop.zq': container({ data: Buffer.from([...Array(64).keys()]) }),
  'broken.zq': Buffer.from('fZQ \x50\x00\x00\x00cTRK', 'latin1'),
  '音楽.zq': container({ data: Buffer.from([...Array(32).keys()]), loopUnits: 2 }),
};
for (const [name, bytes] of Object.entries(files)) writeFileSync(join(work, name), bytes);
const paths = Object.keys(files).map((name) => join(work, name));

const browser = await chromium.launch({ executablePath: options.chromium, args: CHROMIUM_FLAGS });
const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 900 } });
const requests = [];
context.on('request', (request) => requests.push(request.url()));
const page = await context.newPage();
const pageErrors = [];
page.on('pageerror', (error) => pageErrors.push(String(error)));
await page.goto(pathToFileURL(resolve(options.page)).href);

test('a batch shows the command line\'s messages and gives its bytes', async () => {
  await page.getByLabel('Loop count').fill('2');
  await convertBatch(page, paths);
  const shown = await rows(page);
  assert.deepEqual(shown.map((r) => r.name), Object.keys(files));
  const expectedWavs = [];
  for (const [i, name] of Object.keys(files).entries()) {
    const native = nativeRun(join(work, name), name, [name, '-l2']);
    assert.equal(shown[i].messages, native.stdout, name);
    assert.equal(shown[i].code, `Result code: ${native.code}`, name);
    if (native.code !== 0) {
      assert.equal(shown[i].download, null, name);
      continue;
    }
    const got = await download(page, page.locator('#results > li').nth(i).locator('a[download]'));
    assert.equal(got.name, native.wavName);
    assert.ok(got.bytes.equals(native.wav), `${name}: the downloaded WAV differs from the native one`);
    expectedWavs.push({ name: native.wavName, bytes: native.wav });
  }
  assert.deepEqual(expectedWavs.map((w) => w.name), ['example.wav', 'no-loop.wav', '音楽.wav']);

  // Where no file can be chosen to save into, the zip is one Blob, downloaded.
  await page.evaluate(() => { window.showSaveFilePicker = undefined; });
  const zip = await download(page, page.getByRole('button', { name: 'Download all' }));
  assert.equal(zip.name, 'kelvor-wav.zip');
  const entries = unzipSync(new Uint8Array(zip.bytes));
  assert.deepEqual(Object.keys(entries).sort(), expectedWavs.map((w) => w.name).sort());
  for (const w of expectedWavs) assert.ok(Buffer.from(entries[w.name]).equals(w.bytes), `${w.name} in the zip`);

  await page.getByRole('button', { name: 'Play example.wav' }).click();
  const duration = await page.locator('#results > li').first().locator('audio').evaluate((audio) =>
    new Promise((done) => (audio.readyState >= 1 ? done(audio.duration)
      : audio.addEventListener('loadedmetadata', () => done(audio.duration)))));
  assert.ok(Math.abs(duration - 2.5) < 0.001, `the example plays ${duration} s`);
});

test('a refused loop count and -x are the command line\'s', async () => {
  await page.getByLabel('Loop count').fill('0');
  await page.getByLabel('Short format block (-x)').check();
  await convertBatch(page, [paths[0]]);
  const [shown] = await rows(page);
  const native = nativeRun(paths[0], 'example.zq', ['example.zq', '-l0', '-x']);
  assert.match(native.stdout, /warning : value of option 'l' is out of range\.\n/);
  assert.equal(shown.messages, native.stdout);
  const got = await download(page, page.locator('#results a[download]'));
  assert.ok(got.bytes.equals(native.wav));
  assert.equal(await page.getByRole('button', { name: 'Download all' }).isHidden(), true);
  await page.getByLabel('Short format block (-x)').uncheck();
  await page.getByLabel('Loop count').fill('2');
});

test('a file the browser cannot hold gets a plain message, and the page goes on', async () => {
  // The worker's next read of a file fails as Chromium fails an allocation.
  const [worker] = page.workers();
  await worker.evaluate(() => {
    const original = Blob.prototype.arrayBuffer;
    Blob.prototype.arrayBuffer = function () {
      Blob.prototype.arrayBuffer = original;
      return Promise.reject(new RangeError('Array buffer allocation failed'));
    };
  });
  await convertBatch(page, [paths[0], paths[1]]);
  const shown = await rows(page);
  assert.equal(shown[0].messages, null);
  assert.match(shown[0].code, /too large for the memory of this browser/);
  assert.equal(shown[1].code, 'Result code: 0');
});

test('the controls are labelled and reachable from the keyboard', async () => {
  await page.reload();
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'files');
  const [chooser] = await Promise.all([page.waitForEvent('filechooser', { timeout: 5000 }), page.keyboard.press('Space')]);
  await chooser.setFiles([paths[0]]);
  await page.waitForFunction(() => document.getElementById('progress').textContent.startsWith('Done'));
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'folder');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'loop-count');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'short-format');
  for (const id of ['files', 'folder', 'loop-count', 'short-format']) {
    assert.equal(await page.evaluate((i) => document.getElementById(i).labels.length, id), 1, id);
  }
});

test('at 200 % zoom nothing needs scrolling sideways', async () => {
  await convertBatch(page, paths);
  await page.setViewportSize({ width: 640, height: 900 });  // 1280 CSS pixels at 200 %
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
  assert.equal(overflow, 0);
  await page.setViewportSize({ width: 1280, height: 900 });
  if (options.screenshot) await page.screenshot({ path: options.screenshot, fullPage: true });
});

test('the footer names the release and carries every license', async () => {
  const version = readFileSync(new URL('../VERSION', import.meta.url), 'utf8').trim();
  const zip = JSON.parse(readFileSync(new URL('../node_modules/client-zip/package.json', import.meta.url)));
  assert.equal(await page.locator('#version').textContent(), version);
  await page.getByText('Licenses').click();
  const footer = await page.locator('footer').innerText();
  assert.ok(footer.includes(readFileSync(new URL('../LICENSE', import.meta.url), 'utf8').trim().split('\n')[2]));
  assert.ok(footer.includes(`${zip.name} ${zip.version}`));
  assert.equal(footer.match(/Permission is hereby granted/g).length, 2, 'kelvor\'s and the zip library\'s license texts');
});

test('nothing leaves the page', () => {
  assert.deepEqual(pageErrors, []);
  const outside = requests.filter((url) => !/^(file|blob|data):/.test(url));
  assert.deepEqual(outside, []);
  assert.ok(requests.some((url) => url.startsWith('blob:')), 'the worker starts from a blob');
});

test.after(async () => {
  await browser.close();
  rmSync(work, { recursive: true, force: true });
});
