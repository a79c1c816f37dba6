// The page in a real browser: Debian's Chromium, driven by playwright-core,
// opens the built page from file:// and converts several files at once. What
// the page shows and what it lets the user download must equal what the
// native command line prints and writes for the same arguments.
//
//   node tests/browser_test.mjs --page build-web/kelvor.html --kelvor build/kelvor \
//        --example build/example.zq [--screenshot build-web/kelvor-page.png]
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';
import { test } from 'node:test';

import { unzipSync } from 'fflate';

import { AWKWARD } from './awkward_names.mjs';
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

// Containers of the test: tags and little-endian fields; 16-bit stereo
// unless told otherwise, its data declared as it is unless `units` says.
function container({ data, loopUnits = null, channels = 2, frameBits = 16, sampleBits = 16, units = data.length / 4 }) {
  const fields = (values, width) => {
    const b = Buffer.alloc(values.length * width);
    values.forEach((v, i) => (width === 4 ? b.writeUInt32LE(v, i * 4) : b.writeUInt16LE(v, i * 2)));
    return b;
  };
  const trk = Buffer.concat([Buffer.from('cTRK'), fields([1, 0, 36, units, 44100], 4),
    fields([0, channels, frameBits, 0, sampleBits, 0], 2), data]);
  const slp = loopUnits === null ? Buffer.alloc(0) : Buffer.concat([Buffer.from('cSLP'), fields([1, 0, loopUnits, 0, 0], 4)]);
  return Buffer.concat([Buffer.from('fZQ '), fields([8 + 36 + units * 4 + slp.length], 4), trk, slp]);
}

// What the native command line prints and writes for `args`, run in a folder
// that holds only the source.
function nativeRun(source, name, args, beside = {}) {
  const dir = mkdtempSync(join(tmpdir(), 'kelvor-native-'));
  try {
    copyFileSync(source, join(dir, name));
    for (const [other, bytes] of Object.entries(beside)) writeFileSync(join(dir, other), bytes);
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
    name: li.querySelector('.name').textContent,
    state: li.dataset.state,
    queued: li.querySelector('.queued').textContent,
    status: li.querySelector('.status').textContent,
    problem: li.querySelector('.problem-text') ? li.querySelector('.problem-text').textContent : null,
    errorLine: li.querySelector('.error-line') ? li.querySelector('.error-line').textContent : null,
    warning: li.querySelector('.warning-text') ? li.querySelector('.warning-text').textContent : null,
    facts: li.querySelector('.facts') ? li.querySelector('.facts').textContent : null,
    messages: li.querySelector('pre') ? li.querySelector('pre').textContent : null,
    messagesOpen: li.querySelector('details') ? li.querySelector('details').open : null,
    code: li.querySelector('.code') ? li.querySelector('.code').textContent : null,
    download: li.querySelector('a[download]') ? li.querySelector('a[download]').getAttribute('download') : null,
  })));
}

// Clears the list, then adds the files and waits for the closing line;
// returns it.
async function finished(page, picker, paths) {
  await clear(page);
  await page.setInputFiles(picker, paths);
  await page.waitForFunction(() => /^(Done|Stopped)/.test(document.getElementById('progress').textContent),
    null, { timeout: 60000 });
  return page.locator('#progress').textContent();
}

// Clears the list once nothing runs (Clear is enabled only then).
async function clear(page) {
  await page.waitForFunction(() => !document.getElementById('clear').disabled || !document.querySelector('#results > li'),
    null, { timeout: 60000 });
  if (await page.locator('#results > li').count() > 0) await page.getByRole('button', { name: 'Clear' }).click();
  assert.equal(await page.locator('#results > li').count(), 0, await page.locator('#progress').textContent());
}

async function convertBatch(page, paths) {
  assert.match(await finished(page, '#files', paths), new RegExp(`^Done: ${paths.length} of ${paths.length} files`));
}

// The next read of a file in each worker (of the file named `only`, if
// given) waits `delay` ms, or fails as Chromium fails an allocation when the
// file is named `fail`; restoreReads
// puts reading back as it was.
async function onNextRead(page, how) {
  for (const worker of page.workers()) {
    await worker.evaluate(({ delay, fail, only }) => {
      const original = self.originalArrayBuffer = Blob.prototype.arrayBuffer;
      Blob.prototype.arrayBuffer = function () {
        if ((fail || only) && this.name !== (fail || only)) return original.call(this);
        Blob.prototype.arrayBuffer = original;
        if (fail) return Promise.reject(new RangeError('Array buffer allocation failed'));
        return new Promise((done) => setTimeout(done, delay)).then(() => original.call(this));
      };
    }, how);
  }
}

async function restoreReads(page) {
  for (const worker of page.workers()) {
    await worker.evaluate(() => { if (self.originalArrayBuffer) Blob.prototype.arrayBuffer = self.originalArrayBuffer; });
  }
}

// The whole page as one picture. Rows out of view are not rendered, so the
// view is made as tall as the page first, until every row has its height
// and every waveform is drawn.
async function fullPageShot(page, path) {
  const view = page.viewportSize();
  for (let height = 0; ;) {
    const needed = await page.evaluate(() => document.documentElement.scrollHeight);
    if (needed === height) break;
    height = needed;
    await page.setViewportSize({ width: view.width, height });
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
  }
  await page.waitForFunction(() => !document.querySelector('canvas.wave:not([data-drawn])'));
  await page.screenshot({ path });
  await page.setViewportSize(view);
}

// From now on the page records its longest task in window.longest.
async function watchLongTasks(page) {
  await page.evaluate(() => {
    window.longest = 0;
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longest = Math.max(window.longest, entry.duration);
    }).observe({ type: 'longtask' });
  });
}

// WCAG's contrast ratio of two colours given as #rrggbb.
function contrast(a, b) {
  const luminance = (hex) => [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16) / 255)
    .map((c) => (c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4))
    .reduce((sum, c, i) => sum + c * [0.2126, 0.7152, 0.0722][i], 0);
  const [high, low] = [luminance(a), luminance(b)].sort((x, y) => y - x);
  return (high + 0.05) / (low + 0.05);
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
  'cut.zq': readFileSync(options.example).subarray(0, 100),  // the track's fields, then the data cut short
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
// These tests look into every row: each file's details shown, as a user may
// choose once the list has rows.
async function showEveryDetail(on, shown = true) {
  await on.evaluate((checked) => {
    const box = document.getElementById('all-details');
    box.checked = checked;
    box.dispatchEvent(new Event('change'));
  }, shown);
}
await showEveryDetail(page);

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
  assert.deepEqual(Object.keys(entries).sort(), [...expectedWavs.map((w) => w.name), 'loops.csv', 'loops.json'].sort());
  for (const w of expectedWavs) assert.ok(Buffer.from(entries[w.name]).equals(w.bytes), `${w.name} in the zip`);
  // The loop list gives the frames of each WAV it lists and the loop count they hold.
  const listed = JSON.parse(Buffer.from(entries['loops.json']).toString()).files[0];
  assert.deepEqual([listed.wavs[0].frames, listed.loop_count, listed.loop.start_frame], [110250, 2, 22050]);
  assert.equal(Buffer.from(entries['loops.csv']).subarray(0, 3).toString('hex'), 'efbbbf', 'a byte order mark');

  await page.getByRole('button', { name: 'Play example.wav' }).click();
  const duration = await page.locator('#results > li').first().locator('audio').evaluate((audio) =>
    new Promise((done) => (audio.readyState >= 1 ? done(audio.duration)
      : audio.addEventListener('loadedmetadata', () => done(audio.duration)))));
  assert.ok(Math.abs(duration - 2.5) < 0.001, `the example plays ${duration} s`);
});

test('a loop heard 30 times gives the command line\'s messages and bytes', async () => {
  await page.getByLabel('Loop count').fill('30');
  await convertBatch(page, [paths[0]]);
  const [shown] = await rows(page);
  const native = nativeRun(paths[0], 'example.zq', ['example.zq', '-l30']);
  assert.equal(shown.messages, native.stdout);
  const got = await download(page, page.locator('#results > li').first().locator('a[download]'));
  assert.ok(got.bytes.equals(native.wav), 'the downloaded WAV differs from the native one');
  await page.getByLabel('Loop count').fill('2');
});

test('rows show the reader\'s facts, the loop on the waveform, and a failure\'s own line', async () => {
  await page.getByLabel('Loop count').fill('3');
  await convertBatch(page, paths);
  const shown = await rows(page);
  const [example, noLoop, broken] = shown;
  assert.equal(example.status, 'converted');
  assert.equal(example.facts, '2 ch · 44,100 Hz · 16 bit · intro 0.500 s · loop 1.000 s · loop count 3');
  assert.equal(noLoop.facts, '2 ch · 44,100 Hz · 16 bit · no loop information · loop count 1');
  assert.equal(await page.locator('#results > li .output').first().textContent(), 'example.wav 617.4 kB · 3.500 s in all');
  assert.equal(example.messagesOpen, false);
  assert.deepEqual([broken.status, broken.problem, broken.errorLine],
    ['failed', 'The file is cut short: it ends before its header is complete.', 'error-22 : read error(analyze)']);
  assert.equal(broken.messagesOpen, false, 'the row shows the line that matters; the messages are a click away');
  // A failed row says what was read and that no WAV was made: no length, size, player or download.
  const cut = shown.at(-1);
  assert.deepEqual([cut.problem, cut.errorLine],
    ['The file is cut short: it ends inside its sample data or the chunk after it.', 'error-22 : read error(analyze)']);
  assert.equal(cut.facts, 'Read from the file: 2 ch · 44,100 Hz · 16 bit');
  assert.equal(broken.facts, null, 'nothing was read of a track');
  for (const row of [page.locator('#results > li').nth(2), page.locator('#results > li').last()]) {
    assert.equal(await row.locator('.no-output').textContent(), 'No WAV was made.');
    assert.equal(await row.locator('.output, canvas, .wave-text, button:not(.toggle), audio, a[download]').count(), 0);
  }
  const wave = page.locator('#results > li').first().locator('canvas');
  assert.equal(await wave.getAttribute('data-loop-start'), '22050');
  assert.equal(await wave.getAttribute('data-repetitions'), '66150,110250');
  assert.equal(await wave.getAttribute('aria-label'), 'loop from 0.500 s to 1.500 s, heard 3 times');
  assert.equal(await page.locator('#results > li').nth(1).locator('canvas').getAttribute('data-loop-start'), null);
  await page.getByLabel('Loop count').fill('2');
});

test('"Play loop" loops the loop section at the container\'s loop points; one sound at a time; Clear silences', async () => {
  await convertBatch(page, [paths[0], paths[3]]);
  await page.evaluate(() => {
    window.sources = [];
    window.contexts = [];
    const start = AudioBufferSourceNode.prototype.start;
    AudioBufferSourceNode.prototype.start = function (...args) {
      window.sources.push({ loop: this.loop, loopStart: this.loopStart, loopEnd: this.loopEnd,
                            frames: this.buffer.length, rate: this.buffer.sampleRate });
      return start.apply(this, args);
    };
    const Original = window.AudioContext;
    window.AudioContext = class extends Original {
      constructor(...args) {
        super(...args);
        window.contexts.push(this);
      }
    };
  });
  const open = () => page.evaluate(() => window.contexts.filter((c) => c.state !== 'closed').length);
  assert.equal(await page.getByRole('button', { name: 'Play loop of example.wav' }).count(), 1);
  assert.equal(await page.getByRole('button', { name: 'Play loop of 音楽.wav' }).count(), 1);
  const button = page.locator('#results > li').first().locator('.play-loop');
  const other = page.locator('#results > li').nth(1).locator('.play-loop');
  await button.click();
  await page.waitForFunction(() => window.sources.length === 1);
  assert.deepEqual(await page.evaluate(() => window.sources[0]),
    { loop: true, loopStart: 22050 / 44100, loopEnd: 66150 / 44100, frames: 66150, rate: 44100 });
  assert.equal(await button.textContent(), 'Stop loop');
  assert.equal(await button.getAttribute('aria-label'), 'Stop loop of example.wav', 'what is shown is in the name');
  assert.equal(await button.getAttribute('aria-pressed'), 'true');
  // Another loop stops the first; an ordinary player stops any loop.
  await other.click();
  await page.waitForFunction(() => window.sources.length === 2);
  assert.equal(await button.getAttribute('aria-pressed'), 'false');
  assert.equal(await open(), 1);
  await page.getByRole('button', { name: 'Play example.wav' }).click();
  assert.equal(await page.evaluate(() => document.activeElement.tagName), 'AUDIO', 'the focus stays on the player');
  await page.waitForFunction(() => window.contexts.every((c) => c.state === 'closed'));
  assert.equal(await other.getAttribute('aria-pressed'), 'false');
  // Pressed twice at once: the second press stops what the first started.
  await button.dblclick();
  await page.waitForTimeout(300);
  assert.equal(await button.getAttribute('aria-pressed'), 'false');
  assert.equal(await open(), 0);
  // Clear takes the rows away with their sound.
  await button.click();
  await page.waitForFunction(() => window.sources.length === 3);
  await page.getByRole('button', { name: 'Clear' }).click();
  await page.waitForFunction(() => window.contexts.every((c) => c.state === 'closed'));
  assert.equal(await page.evaluate(() => [...document.querySelectorAll('audio')].length), 0);
});

test('-x gives the command line\'s bytes, and only the players a browser can use', async () => {
  await page.getByLabel('Short format block (-x)').check();
  await convertBatch(page, [paths[0], paths[1]]);
  const [shown, noLoop] = await rows(page);
  const native = nativeRun(paths[0], 'example.zq', ['example.zq', '-l2', '-x']);
  assert.equal(shown.messages, native.stdout);
  assert.equal(shown.queued, 'loop unrolled · loop count 2 · short format block (-x) · as a download');
  const got = await download(page, page.locator('#results > li').first().locator('a[download]'));
  assert.ok(got.bytes.equals(native.wav));
  const [first, second] = [page.locator('#results > li').first(), page.locator('#results > li').nth(1)];
  assert.equal(await first.getByRole('button', { name: /^Play example/ }).count(), 0, 'no dead player for the short block');
  assert.match(await first.locator('.note').first().textContent(), /cannot play the short format block/);
  assert.equal(await first.getByRole('button', { name: 'Play loop of example.wav' }).count(), 1);
  // Without a loop the row still has a player that works, and says nothing of "Play loop".
  assert.equal(await second.getByRole('button', { name: /Play loop/ }).count(), 0, 'no loop to play');
  assert.match(await second.locator('.note').last().textContent(), /No loop to play/);
  assert.doesNotMatch(await second.locator('.actions').textContent(), /"Play loop"/);
  await second.getByRole('button', { name: 'Play the sound once' }).click();
  const seconds = await second.locator('audio').evaluate((audio) => new Promise((done) => (audio.readyState >= 1
    ? done(audio.duration) : audio.addEventListener('loadedmetadata', () => done(audio.duration)))));
  assert.ok(Math.abs(seconds - 64 / 176400) < 1e-5, `the sound once plays ${seconds} s`);
  assert.equal(noLoop.state, 'warned');
  assert.deepEqual([noLoop.status, noLoop.warning], ['warning', 'Warning: no loop info, reset loopcount to 1.']);
  await page.getByLabel('Short format block (-x)').uncheck();
  // A container without a track: nothing written, nothing to download, counted apart.
  const noTrack = join(work, 'no-track.zq');
  const trackless = container({ data: Buffer.alloc(8) });
  trackless.writeUInt32LE(0, 12);  // the cTRK chunk's mark
  writeFileSync(noTrack, trackless);
  assert.equal(await finished(page, '#files', [noTrack, paths[0]]), 'Done: 2 of 2 files, 1 converted, 0 failed, 1 without a track.');
  const [empty] = await rows(page);
  assert.equal(empty.state, 'empty');
  assert.equal(empty.download, null);
  assert.equal(empty.messages, nativeRun(noTrack, 'no-track.zq', ['no-track.zq', '-l2']).stdout);
  const zip = unzipSync(new Uint8Array((await download(page, page.getByRole('button', { name: 'Download all' }))).bytes));
  assert.deepEqual(Object.keys(zip), ['example.wav', 'loops.csv', 'loops.json']);
});

test('a loop count the command line would refuse or read otherwise is flagged, and nothing is converted with it', async () => {
  await clear(page);
  const field = page.getByLabel('Loop count');
  for (const value of ['0', '-3', '2.5', '1e3', 'two', '', '2147483648', '99999999999']) {
    await field.fill(value);
    assert.equal(await field.getAttribute('aria-invalid'), 'true', value);
    const problem = page.locator('#loop-count-problem');
    assert.ok(await problem.isVisible(), value);
    assert.match(await problem.textContent(), /loop count/i, value);
    await page.setInputFiles('#files', [paths[0]]);
    await page.waitForFunction(() => /^Nothing was converted/.test(document.getElementById('notice').textContent));
    assert.equal(await page.locator('#results > li').count(), 0, value);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'loop-count', value);
  }
  // The alert is set once for a problem, not again when files are refused with it.
  await page.evaluate(() => {
    window.alerts = 0;
    new MutationObserver(() => window.alerts++).observe(document.getElementById('loop-count-problem'),
      { childList: true, characterData: true, subtree: true });
  });
  await page.setInputFiles('#files', [paths[0]]);
  await page.waitForFunction(() => /^Nothing was converted/.test(document.getElementById('notice').textContent));
  assert.equal(await page.evaluate(() => window.alerts), 0);
  // A loop count that does not apply is not flagged.
  await page.getByLabel('Loop points kept').check();
  assert.equal(await field.getAttribute('aria-invalid'), 'false');
  assert.ok(await page.locator('#loop-count-problem').isHidden());
  await page.getByLabel('Loop unrolled', { exact: true }).check();
  assert.equal(await field.getAttribute('aria-invalid'), 'true');
  await field.fill('007');
  assert.equal(await field.getAttribute('aria-invalid'), 'false');
  assert.ok(await page.locator('#loop-count-problem').isHidden());
  await convertBatch(page, [paths[0]]);
  assert.match((await rows(page))[0].messages, /^setting : loop 7$/m);
  await field.fill('2');
});

test('a file the browser cannot hold gets a plain message, and the page goes on', async () => {
  await onNextRead(page, { fail: 'example.zq' });  // as Chromium fails an allocation
  await convertBatch(page, [paths[0], paths[1]]);
  const shown = await rows(page);
  assert.equal(shown[0].messages, 'The browser said: RangeError: Array buffer allocation failed\n');
  assert.match(shown[0].problem, /too large for the memory of this browser/);
  assert.equal(shown[1].code, 'Result code: 0');
  await restoreReads(page);
});

test('a converter that fails to start, or a worker that dies, fails only the file it held', async () => {
  await page.reload();  // workers that hold no instance yet
  await showEveryDetail(page);
  await page.waitForFunction(() => true);
  while (page.workers().length < 2) await page.waitForTimeout(50);
  // The next instance each worker makes is refused, as a browser refuses
  // WebAssembly it cannot compile or hold.
  for (const worker of page.workers()) {
    await worker.evaluate(() => {
      const original = WebAssembly.instantiate;
      WebAssembly.instantiate = () => {
        WebAssembly.instantiate = original;
        return Promise.reject(new Error('injected start failure'));
      };
    });
  }
  const four = [paths[0], paths[1], paths[3], paths[0]];
  const text = await finished(page, '#files', four);
  let shown = await rows(page);
  assert.match(text, /^Done: 4 of 4 files, 2 converted.*, 2 failed\.$/, JSON.stringify(shown.map((r) => r.code)));
  assert.equal(shown.filter((r) => r.problem === 'The converter could not be started in this browser.' &&
    r.messages === 'The browser said: Error: injected start failure\n').length, 2);
  // Each worker dies reading its next file: the file it held fails, a new
  // worker converts the rest.
  for (const worker of page.workers()) {
    await worker.evaluate(() => {
      Blob.prototype.arrayBuffer = () => {
        setTimeout(() => { throw new Error('injected crash'); });
        return new Promise(() => {});
      };
    });
  }
  assert.match(await finished(page, '#files', four), /^Done: 4 of 4 files, 2 converted.*, 2 failed\.$/);
  shown = await rows(page);
  assert.equal(shown.filter((r) => r.problem === 'The converter stopped answering before this file was done.' &&
    /^The browser said: .*injected crash/.test(r.messages)).length, 2);
  // The page goes on.
  await convertBatch(page, [paths[0]]);
  assert.equal((await rows(page))[0].state, 'converted');
});

test('files added during a run wait in view and keep the options they were added with', async () => {
  await clear(page);
  await onNextRead(page, { delay: 800 });
  await page.setInputFiles('#files', [paths[0], paths[1]]);
  await page.getByLabel('Loop count').fill('3');
  await page.getByLabel('Short format block (-x)').check();
  await page.setInputFiles('#files', [paths[3]]);
  await page.getByLabel('Loop count').fill('2');
  await page.getByLabel('Short format block (-x)').uncheck();
  let shown = await rows(page);
  assert.deepEqual(shown.map((r) => r.name), ['example.zq', 'no-loop.zq', '音楽.zq'], 'shown at once');
  assert.equal(shown[2].state, 'waiting', JSON.stringify(shown));
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  assert.equal(await page.locator('#progress').textContent(), 'Done: 3 of 3 files, 3 converted (2 with a warning), 0 failed.',
    'the warning of a file without a loop, and that of -x');
  shown = await rows(page);
  assert.deepEqual(shown.map((r) => r.queued), ['loop unrolled · loop count 2 · as a download',
    'loop unrolled · loop count 2 · as a download', 'loop unrolled · loop count 3 · short format block (-x) · as a download']);
  const native = nativeRun(paths[3], '音楽.zq', ['音楽.zq', '-l3', '-x']);
  assert.equal(shown[2].messages, native.stdout);
  await page.evaluate(() => { window.showSaveFilePicker = undefined; });
  const zip = unzipSync(new Uint8Array((await download(page, page.getByRole('button', { name: 'Download all' }))).bytes));
  assert.deepEqual(Object.keys(zip).sort(), ['example.wav', 'loops.csv', 'loops.json', 'no-loop.wav', '音楽.wav']);
  assert.ok(Buffer.from(zip['音楽.wav']).equals(native.wav));
  await restoreReads(page);
});

// The sample data of a WAV as kelvor writes it: the data chunk after the 44-byte header.
const dataOf = (wav) => wav.subarray(44, 44 + wav.readUInt32LE(40));

test('loops kept: the sound once with a smpl chunk, the intro and the loop apart, the loop list; the choice remembered', async () => {
  const once = dataOf(nativeRun(paths[0], 'example.zq', ['example.zq', '-l1']).wav);
  await page.getByLabel('Loop points kept').check();
  assert.equal(await page.getByLabel('Loop count').isDisabled(), true, 'the loop count is the unrolled loop\'s');
  await convertBatch(page, [paths[0], paths[1]]);
  let [example, noLoop] = await rows(page);
  assert.equal(example.queued, 'loop points kept · loop end as RIFF has it · as a download');
  assert.equal(example.facts, '2 ch · 44,100 Hz · 16 bit · intro 0.500 s · loop 1.000 s');
  assert.equal(example.messages, nativeRun(paths[0], 'example.zq', ['example.zq', '-l1']).stdout);
  const kept = (await download(page, page.locator('#results > li').first().locator('a[download]'))).bytes;
  assert.ok(dataOf(kept).equals(once), 'the sound once');
  const smpl = 44 + once.length;
  assert.equal(kept.toString('latin1', smpl, smpl + 4), 'smpl');
  assert.deepEqual([kept.readUInt32LE(smpl + 52), kept.readUInt32LE(smpl + 56)], [22050, 66149]);
  assert.equal(await page.locator('#results > li').first().locator('.note.kept').textContent(),
    'The loop is kept in the WAV\'s smpl chunk: frames 22,050 to 66,149, its last.');
  assert.equal(noLoop.state, 'converted');
  assert.equal(await page.locator('#results > li').nth(1).locator('.note.kept').textContent(),
    'No loop to keep: the WAV has no smpl chunk.');
  assert.ok((await download(page, page.locator('#results > li').nth(1).locator('a[download]'))).bytes
    .equals(nativeRun(paths[1], 'no-loop.zq', ['no-loop.zq', '-l1']).wav));
  // A loop start past the data is refused with the kind's own line; the row
  // says what was read and that no WAV was made.
  const past = join(work, 'past.zq');
  writeFileSync(past, container({ data: Buffer.alloc(16), loopUnits: 5 }));
  assert.equal(await finished(page, '#files', [past]), 'Done: 1 of 1 files, 0 converted, 1 failed.');
  const [refused] = await rows(page);
  assert.deepEqual([refused.problem, refused.errorLine], ['The file is damaged: its loop starts past the end of its sound. ' +
    'Convert it with loop count 1.', 'error-32 : loop start is beyond the data(plan_kept_loop)']);
  assert.equal(refused.facts, 'Read from the file: 2 ch · 44,100 Hz · 16 bit · loop start past the data');
  assert.equal(refused.code, 'Result code: -32');
  assert.equal(refused.messages, nativeRun(past, 'past.zq', ['past.zq', '-l1']).stdout +
    'error-32 : loop start is beyond the data(plan_kept_loop)\n');
  const refusedRow = page.locator('#results > li').first();
  assert.equal(await refusedRow.locator('.no-output').textContent(), 'No WAV was made.');
  assert.equal(await refusedRow.locator('.output, canvas, button:not(.toggle), audio, a[download]').count(), 0);

  await page.getByLabel('Intro and loop apart').check();
  await convertBatch(page, [paths[0], paths[1]]);
  [example, noLoop] = await rows(page);
  assert.equal(example.queued, 'intro and loop apart · as a download');
  const links = page.locator('#results > li').first().locator('a[download]');
  assert.deepEqual(await links.evaluateAll((all) => all.map((a) => a.download)), ['example - intro.wav', 'example - loop.wav']);
  const intro = dataOf((await download(page, links.first())).bytes);
  const loop = dataOf((await download(page, links.last())).bytes);
  assert.equal(intro.length, 22050 * 4);
  assert.ok(Buffer.concat([intro, loop]).equals(once), 'the intro and the loop make the sound again');
  assert.equal(await page.locator('#results > li').nth(1).locator('.note.kept').textContent(), 'No loop to keep: one WAV, the sound once.');
  // "Play loop" plays the intro into the loop from the two files.
  await page.evaluate(() => {
    window.sources = [];
    const start = AudioBufferSourceNode.prototype.start;
    AudioBufferSourceNode.prototype.start = function (...args) {
      window.sources.push({ loopStart: this.loopStart, loopEnd: this.loopEnd, frames: this.buffer.length });
      return start.apply(this, args);
    };
  });
  await page.getByRole('button', { name: 'Play loop of example - intro.wav' }).click();
  await page.waitForFunction(() => window.sources.length === 1);
  assert.deepEqual(await page.evaluate(() => window.sources[0]), { loopStart: 0.5, loopEnd: 1.5, frames: 66150 });
  await page.locator('#results > li').first().locator('.play-loop').click();

  // The loop list of the batch, the numbers the run found.
  const list = JSON.parse((await download(page, page.getByRole('button', { name: 'loops.json' }))).bytes);
  assert.deepEqual(list.files, [
    { path: 'example.zq', output: 'intro and loop apart', loop_end_for: null,
      wavs: [{ name: 'example - intro.wav', role: 'intro', frames: 22050 }, { name: 'example - loop.wav', role: 'loop', frames: 44100 }],
      rate: 44100, channels: 2, bits: 16, kept_bits: 16, block_align: 4, sound_frames: 66150, dropped_bytes: 0, loop_count: 1,
      loop_from: 'file', loop_list_line: null, fade_seconds: null, fade_delay_seconds: null, target_seconds: null, play_to_end: null,
      loop: { start_byte: 88200, start_frame: 22050, end_frame_exclusive: 66150, smpl_end_frame: null, start_seconds: 0.5,
        end_seconds: 1.5, length_frames: 44100, godot_loop_offset: 0.500011 } },
    { path: 'no-loop.zq', output: 'intro and loop apart', loop_end_for: null, wavs: [{ name: 'no-loop.wav', role: 'whole', frames: 16 }],
      rate: 44100, channels: 2, bits: 16, kept_bits: 16, block_align: 4, sound_frames: 16, dropped_bytes: 0, loop_count: 1,
      loop_from: null, loop_list_line: null, fade_seconds: null, fade_delay_seconds: null, target_seconds: null, play_to_end: null,
      loop: null }]);
  const csv = (await download(page, page.getByRole('button', { name: 'loops.csv' }))).bytes.toString('utf8');
  assert.equal(csv.split('\r\n').slice(1).join('\r\n'),
    'example.zq,intro and loop apart,,example - intro.wav,intro,22050,example - loop.wav,loop,44100,44100,2,16,16,4,66150,0,1,' +
    '88200,22050,66150,,0.5,1.5,44100,0.500011,file,,,,,\r\n' +
    'no-loop.zq,intro and loop apart,,no-loop.wav,whole,16,,,,44100,2,16,16,4,16,0,1,,,,,,,,,,,,,,\r\n');
  // The choice outlasts the visit.
  await page.reload();
  await showEveryDetail(page);
  assert.equal(await page.getByLabel('Intro and loop apart').isChecked(), true);
  await page.getByLabel('Loop unrolled', { exact: true }).check();
  assert.equal(await page.getByLabel('Loop count').isDisabled(), false);
});

test('the loop unrolled and marked, for Godot: the command line\'s WAV with its first pass in a smpl chunk', async () => {
  const godot = page.getByLabel('Godot');
  assert.equal(await godot.isDisabled(), true, 'no smpl chunk in the unrolled WAV: its loop end does not apply');
  await page.getByLabel('Loop unrolled, loop points marked').check();
  assert.equal(await godot.isDisabled(), false);
  assert.equal(await page.getByLabel('Short format block (-x)').isDisabled(), true);
  await godot.check();
  assert.match(await page.locator('#loop-end-help').textContent(), /one frame past its last, which Godot plays exactly/);
  await page.getByLabel('Loop count').fill('3');
  await convertBatch(page, [paths[0]]);
  const [row] = await rows(page);
  assert.equal(row.queued, 'loop unrolled and marked · loop count 3 · loop end for Godot · as a download');
  assert.equal(await page.locator('#results .note.kept').textContent(),
    'The loop\'s first pass is marked in the WAV\'s smpl chunk: from frame 22,050, its end 66,150, one past its last frame, as Godot reads it.');
  const native = nativeRun(paths[0], 'example.zq', ['example.zq', '-l3']).wav;
  const marked = (await download(page, page.locator('#results a[download]'))).bytes;
  assert.ok(marked.subarray(8, native.length).equals(native.subarray(8)), 'the command line\'s bytes after the RIFF length');
  assert.equal(marked.readUInt32LE(4), marked.length - 8);
  assert.deepEqual([marked.toString('latin1', native.length, native.length + 4), marked.readUInt32LE(native.length + 52),
    marked.readUInt32LE(native.length + 56)], ['smpl', 22050, 66150]);
  // The choice of loop end outlasts the visit, as the kind does.
  await page.reload();
  await showEveryDetail(page);
  assert.equal(await page.getByLabel('Godot').isChecked(), true);
  await page.getByLabel('Samplers, FMOD, Unreal, Wwise, libsndfile').check();
  await page.getByLabel('Loop unrolled', { exact: true }).check();
  await page.getByLabel('Loop count').fill('2');
});

// The batch command beside kelvor, for the encoded formats' bytes.
function batchRun(source, args) {
  const dir = mkdtempSync(join(tmpdir(), 'kelvor-batch-'));
  try {
    copyFileSync(source, join(dir, 'example.zq'));
    const batch = join(resolve(options.kelvor), '..', 'kelvor-batch');
    assert.equal(spawnSync(batch, ['-q', 'example.zq', ...args], { cwd: dir }).status, 0);
    return Object.fromEntries(readdirSync(dir).filter((n) => n !== 'example.zq').map((n) => [n, readFileSync(join(dir, n))]));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// The comments of an encoded file, as Debian's tools list them.
function tagsOf(bytes, name) {
  const file = join(work, name);
  writeFileSync(file, bytes);
  const run = name.endsWith('.flac') ? spawnSync('metaflac', ['--export-tags-to=-', file]) : spawnSync('vorbiscomment', ['-l', file]);
  assert.equal(run.status, 0, run.stderr.toString());
  return run.stdout.toString('utf8').trim().split('\n');
}

test('FLAC and Ogg Vorbis: the batch command\'s bytes, the loop in the tags, the choice remembered; Stop while encoding', async () => {
  await page.getByLabel('Loop points kept').check();
  await page.getByLabel('FLAC').check();
  assert.equal(await page.getByLabel('Godot').isDisabled(), true, 'a FLAC file has no smpl chunk');
  await convertBatch(page, [paths[0]]);
  let [row] = await rows(page);
  assert.equal(row.queued, 'loop points kept · FLAC · as a download');
  assert.equal(await page.locator('#results .note.kept').textContent(),
    'The loop is in the FLAC file\'s tags: LOOPSTART=22050, LOOPLENGTH=44100 (samples; it ends before frame 66,150).');
  let got = await download(page, page.locator('#results a[download]'));
  assert.equal(got.name, 'example.flac');
  assert.ok(got.bytes.equals(batchRun(paths[0], ['--kind', 'kept', '--format', 'flac'])['example.flac']), 'the batch command\'s FLAC');
  assert.deepEqual(tagsOf(got.bytes, 'page.flac'), ['TITLE=example', 'LOOPSTART=22050', 'LOOPLENGTH=44100']);
  // Ogg Vorbis at quality 3, the intro and the loop apart: no loop tags.
  await page.getByLabel('Intro and loop apart').check();
  await page.getByLabel('Ogg Vorbis', { exact: true }).check();
  await page.getByLabel('Ogg Vorbis quality').selectOption('3');
  await convertBatch(page, [paths[0]]);
  [row] = await rows(page);
  assert.equal(row.queued, 'intro and loop apart · Ogg Vorbis quality 3 (about 112 kbit/s for stereo at 44.1 kHz) · as a download');
  const links = page.locator('#results > li').first().locator('a[download]');
  assert.deepEqual(await links.evaluateAll((all) => all.map((a) => a.download)), ['example - intro.ogg', 'example - loop.ogg']);
  got = await download(page, links.last());
  assert.equal(got.bytes.toString('latin1', 0, 4), 'OggS');
  assert.deepEqual(tagsOf(got.bytes, 'page.ogg'), ['TITLE=example']);
  // The format and the quality outlast the visit.
  await page.reload();
  await showEveryDetail(page);
  assert.equal(await page.getByLabel('Ogg Vorbis', { exact: true }).isChecked(), true);
  assert.equal(await page.getByLabel('Ogg Vorbis quality').inputValue(), '3');
  // A long encoding tells its progress on the row, and stops within a second.
  await page.getByLabel('FLAC').check();
  await page.getByLabel('Loop unrolled', { exact: true }).check();
  await page.getByLabel('Loop count').fill('2000');
  await page.setInputFiles('#files', [paths[0]]);
  await page.waitForFunction(() => /encoding \d+ %/.test(document.querySelector('#results > li .status')?.textContent || ''),
    null, { timeout: 30000 });
  const stoppedAt = Date.now();
  await page.getByRole('button', { name: 'Stop' }).click();
  await page.waitForFunction(() => /^Stopped/.test(document.getElementById('progress').textContent));
  assert.ok(Date.now() - stoppedAt < 1000, `stopped in ${Date.now() - stoppedAt} ms`);
  [row] = await rows(page);
  assert.equal(row.state, 'stopped');
  assert.equal(await page.locator('#results > li').first().locator('a[download]').count(), 0);
  await clear(page);
  await page.getByLabel('WAV', { exact: true }).check();
  await page.getByLabel('Loop count').fill('2');
});

test('a fade-out, a delay and a loop list applied: the batch command\'s bytes; what the list changed and refused', async () => {
  try {
    await lengthsAndLoopList();
  } finally {  // the settings the other tests expect, whatever happened
    if (await page.getByRole('button', { name: 'Stop applying it' }).isVisible()) {
      await page.getByRole('button', { name: 'Stop applying it' }).click();
    }
    await page.getByLabel('Play to the end').uncheck();
    await page.getByLabel('Fade-out').fill('0');
    await page.getByLabel('Fade delay').fill('0');
    await clear(page);
  }
});

async function lengthsAndLoopList() {
  await page.getByLabel('Loop unrolled', { exact: true }).check();
  await page.getByLabel('Fade-out').fill('0.5');
  await page.getByLabel('Fade delay').fill('0.25');
  await convertBatch(page, [paths[0]]);
  let [row] = await rows(page);
  assert.equal(row.queued, 'loop unrolled · loop count 2 · 0.25 s more · fade-out 0.5 s · as a download');
  assert.equal(await page.locator('#results .note.lengths').textContent(),
    '2 passes, 0.25 s more, a 0.5 s fade: 143325 frames (3.25 s).');
  let got = await download(page, page.locator('#results a[download]'));
  assert.ok(got.bytes.equals(batchRun(paths[0], ['--fade', '0.5', '--fade-delay', '0.25'])['example.wav']), 'the batch command\'s faded WAV');
  // A number the converter would refuse is flagged at its field, and nothing is queued.
  await page.getByLabel('Fade-out').fill('1.2345678');
  await page.setInputFiles('#files', [paths[0]]);
  await page.waitForFunction(() => /^Nothing was converted/.test(document.getElementById('notice').textContent));
  assert.match(await page.locator('#notice').textContent(), /Nothing was converted: The fade-out can have at most six digits/);
  assert.equal(await page.locator('#results > li').count(), 1, 'the row before, and no other');
  assert.equal(await page.getByLabel('Fade-out').getAttribute('aria-invalid'), 'true');
  await page.getByLabel('Fade-out').fill('0');
  await page.getByLabel('Fade delay').fill('0');
  // A loop list, as a spreadsheet would leave it: one line for the file, one for none.
  const list = join(work, 'loops.csv');
  writeFileSync(list, 'path,loop_start_frame,loop_end_frame_exclusive\r\nexample.zq,1000,30000\r\nelsewhere.zq,1,2\r\n');
  await page.setInputFiles('#apply-loops', list);
  await page.getByLabel('Play to the end').check();
  await convertBatch(page, [paths[0]]);
  [row] = await rows(page);
  assert.equal(row.queued, 'loop unrolled · loop count 2 · to the end · loops from "loops.csv" · as a download');
  assert.deepEqual(await page.locator('#results .note.lengths').allTextContents(), [
    'The loop is frames 1000 to 30000, from loops.csv line 2 (the file\'s: 22050 to 66150).',
    '2 passes, then on to the end of the data: 95150 frames (2.157596 s).']);
  assert.match(await page.locator('#apply-loops-status').textContent(), /Line 3 refused: no file converted with it is at "elsewhere.zq"\./);
  got = await download(page, page.locator('#results a[download]'));
  const itsLine = join(work, 'one-line.csv');  // the batch's run has no other file: the line for none would fail it
  writeFileSync(itsLine, 'path,loop_start_frame,loop_end_frame_exclusive\r\nexample.zq,1000,30000\r\n');
  assert.ok(got.bytes.equals(batchRun(paths[0], ['--to-end', '--loops', itsLine])['example.wav']), 'the batch command\'s WAV of the list\'s loop');
  // A line whose loop lies past the data fails its file, in plain words; nothing is made.
  writeFileSync(list, 'path,loop_start_frame,loop_end_frame_exclusive\nexample.zq,1000,99999\n');
  await page.setInputFiles('#apply-loops', list);
  await convertBatch(page, [paths[0]]);
  [row] = await rows(page);
  assert.equal(row.state, 'failed');
  assert.equal(row.problem, 'Not converted: loops.csv line 2: the loop ends at frame 99999, past the data\'s 66150 frames.');
  assert.equal(row.download, null);
}

test('a million repetitions: no long task, a small waveform, the run\'s own facts', async () => {
  await clear(page);
  await watchLongTasks(page);
  await page.getByLabel('Loop count').fill('1000000');
  const short = join(work, 'short-loop.zq');
  writeFileSync(short, container({ data: Buffer.from([1, 2, 3, 4, 5, 6, 7, 8]), loopUnits: 1 }));
  await convertBatch(page, [short]);
  await page.getByLabel('Loop count').fill('2');
  const wave = page.locator('#results canvas');
  await wave.scrollIntoViewIfNeeded();
  await page.waitForFunction(() => document.querySelector('#results canvas[data-drawn]'));
  assert.equal(await wave.getAttribute('data-repetitions'), '999999 from 0');
  assert.match((await rows(page))[0].facts, /loop count 1,000,000$/);
  assert.match(await page.locator('#results .output').textContent(), / · 22\.676 s in all$/);
  assert.match(await page.locator('#results .legend').textContent(), /999,999 repetitions/);
  const longest = await page.evaluate(() => window.longest);
  assert.ok(longest < 100, `a task of ${longest} ms`);
});

test('the progress: a <progress>, and text that changes a few times a second at most', async () => {
  const folder = join(work, 'forty');
  mkdirSync(folder, { recursive: true });
  for (let i = 0; i < 40; i++) copyFileSync(paths[1], join(folder, `f${i}.zq`));
  await clear(page);
  await page.evaluate(() => {
    window.changes = [];
    new MutationObserver(() => window.changes.push(performance.now()))
      .observe(document.getElementById('progress'), { childList: true, characterData: true, subtree: true });
    window.told = [];
    const announcer = document.getElementById('announcer');
    new MutationObserver(() => window.told.push(announcer.textContent))
      .observe(announcer, { childList: true, characterData: true, subtree: true });
  });
  await convertBatch(page, readdirSync(folder).map((f) => join(folder, f)));
  const changes = await page.evaluate(() => window.changes);
  const busiest = Math.max(...changes.map((t) => changes.filter((u) => u >= t && u < t + 1000).length));
  assert.ok(busiest <= 6, `${busiest} changes in one second`);
  assert.equal(await page.locator('progress').evaluate((bar) => bar.value === bar.max), true);
  assert.deepEqual(await page.evaluate(() => window.told), ['Converting 40 files.',
    'Done: 40 of 40 files, 40 converted (40 with a warning), 0 failed.'], 'one announcement when it starts, one when it ends');
});

test('one file slow: the others\' rows are done as their worker answers, and the line names the file converting', async () => {
  await clear(page);
  await onNextRead(page, { delay: 2500, only: 'example.zq' });
  await page.setInputFiles('#files', [paths[0], paths[1], paths[3]]);
  await page.waitForFunction(() => [...document.querySelectorAll('#results > li')].slice(1).every((li) => /converted|warned/.test(li.dataset.state)));
  assert.equal((await rows(page))[0].state, 'converting');
  await page.waitForFunction(() => /^Converting example\.zq: 2 of 3 files done, \d+ %$/.test(document.getElementById('progress').textContent));
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  await restoreReads(page);
});

test('a worker that closes itself is noticed in seconds; its file fails in plain words, and the page goes on', async () => {
  await clear(page);
  for (const worker of page.workers()) await worker.evaluate(() => { setTimeout(() => self.close()); });
  const added = Date.now();
  await page.setInputFiles('#files', [paths[0], paths[3]]);
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent), null, { timeout: 20000 });
  assert.ok(Date.now() - added < 9000, `noticed after ${Date.now() - added} ms`);
  for (const row of await rows(page)) {
    assert.equal(row.problem, 'The converter stopped answering before this file was done.');
    assert.match(row.messages, /^The browser said: it gave no sign of life for 5 s/);
  }
  await convertBatch(page, [paths[0]]);
  assert.equal((await rows(page))[0].state, 'converted');
});

test('Clear can be undone; the focus moves on from a button that is no longer usable, never to the page', async () => {
  await convertBatch(page, [paths[0], paths[2]]);
  const focused = () => page.evaluate(() => document.activeElement.id || document.activeElement.tagName);
  await page.evaluate(() => { window.showSaveFilePicker = undefined; });
  await page.getByRole('button', { name: 'Download all' }).focus();
  await download(page, page.getByRole('button', { name: 'Download all' }));
  assert.equal(await focused(), 'download-all');
  await page.getByRole('button', { name: 'Clear' }).click();
  assert.equal(await page.locator('#results > li').count(), 0);
  assert.equal(await focused(), 'undo');
  assert.equal(await page.locator('#undo-line').innerText(), 'Cleared 2 files. Undo');
  assert.equal(await page.locator('#result-controls').isHidden(), true, 'no buttons without rows');
  await page.keyboard.press('Enter');
  assert.deepEqual((await rows(page)).map((r) => r.state), ['converted', 'failed']);
  assert.equal(await focused(), 'clear');
  // A failure among many is one click away: the rows with a problem alone.
  const filter = page.getByLabel(/Show problems only/);
  assert.equal(await filter.evaluate((box) => box.labels[0].textContent.replace(/\s+/g, ' ').trim()), 'Show problems only (1)');
  await filter.check();
  assert.deepEqual(await page.locator('#results > li').evaluateAll((all) => all.map((li) => li.checkVisibility())), [false, true]);
  await filter.uncheck();
  // Rows read name first, then a badge; the messages' toggle names its file.
  const first = page.locator('#results > li').first();
  assert.deepEqual(await first.locator('.line .name, .line .status').evaluateAll((all) => all.map((e) => e.className)), ['name', 'status']);
  assert.equal(await first.locator('summary').textContent(), 'Messages of example.zq');
  // Added files drop what was cleared: nothing left to undo.
  await page.getByRole('button', { name: 'Clear' }).click();
  await convertBatch(page, [paths[3]]);
  assert.equal(await page.locator('#undo-line').isHidden(), true);
});

test('leaving asks first while WAVs are unsaved; files dropped anywhere are taken, never opened', async () => {
  await clear(page);
  assert.equal(await page.locator('#empty-state').isVisible(), true, 'the empty list says what to do');
  assert.equal(await page.locator('#result-controls').isHidden(), true);
  const leaving = () => page.evaluate(() => !window.dispatchEvent(new Event('beforeunload', { cancelable: true })));
  assert.equal(await leaving(), false, 'nothing to lose');
  await convertBatch(page, [paths[3]]);
  assert.equal(await leaving(), true, 'a WAV not yet downloaded');
  await download(page, page.locator('#results a[download]'));
  assert.equal(await leaving(), false);
  const dropped = await page.evaluate(async (bytes) => {
    const data = new DataTransfer();
    data.items.add(new File([new Uint8Array(bytes)], 'dropped.zq'));
    const over = new DragEvent('dragover', { dataTransfer: data, bubbles: true, cancelable: true });
    const drop = new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true });
    const target = document.querySelector('footer');
    return [!target.dispatchEvent(over), !target.dispatchEvent(drop)];
  }, [...files['音楽.zq']]);
  assert.deepEqual(dropped, [true, true], 'the browser does not open the file');
  await page.waitForFunction(() => document.querySelectorAll('#results > li').length === 2 && /^Done/.test(document.getElementById('progress').textContent));
  assert.equal((await rows(page))[1].name, 'dropped.zq');
});

test('adding 200 files at once: the page\'s work under 50 ms, and no task of the run over 50 ms, three times over', async () => {
  const folder = join(work, 'two-hundred');
  mkdirSync(folder, { recursive: true });
  for (let i = 0; i < 200; i++) copyFileSync(paths[1], join(folder, `t${String(i).padStart(3, '0')}.zq`));
  await showEveryDetail(page, false);  // the list as a user first sees it
  await page.evaluate(() => {
    window.tasks = [];
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.tasks.push({ start: entry.startTime, duration: entry.duration });
    }).observe({ type: 'longtask' });
  });
  const rounds = [];
  try {
    for (let round = 0; round < 3; round++) {
      await clear(page);
      await page.evaluate(() => { window.tasks = []; });
      assert.match(await finished(page, '#folder', folder), /^Done: 200 of 200 files/);
      // The task in which the browser hands the 200 files over holds its own
      // work of making their list, which no page can divide, and the page's
      // adding of them ("kelvor add"); every other task is the page's alone.
      const { add, tasks } = await page.evaluate(() => ({ add: performance.getEntriesByName('kelvor add').at(-1).toJSON(),
        tasks: window.tasks }));
      const handing = tasks.find((task) => task.start <= add.startTime && add.startTime < task.start + task.duration);
      const others = tasks.filter((task) => task !== handing).map((task) => task.duration);
      rounds.push({ add: add.duration, handing: handing ? handing.duration : 0, others: Math.max(0, ...others) });
    }
  } finally {
    await showEveryDetail(page);
  }
  const ms = (n) => n.toFixed(0);
  console.log('# 200 files added, three rounds (ms): the page\'s adding ' + rounds.map((r) => ms(r.add)).join(', ') +
    '; the task that handed them over, the browser\'s own work included ' + rounds.map((r) => ms(r.handing)).join(', ') +
    '; the longest other task ' + rounds.map((r) => ms(r.others)).join(', '));
  for (const round of rounds) {
    assert.ok(round.add < 50, `the page took ${round.add} ms to add the files`);
    assert.ok(round.others < 50, `a task of ${round.others} ms`);
  }
});

test('axe-core finds no violation, light and dark, idle and after a failed row', async () => {
  await page.reload();
  await showEveryDetail(page);
  const axe = readFileSync(new URL('../node_modules/axe-core/axe.min.js', import.meta.url), 'utf8');
  const check = async (when) => {
    for (const colorScheme of ['light', 'dark']) {
      await page.emulateMedia({ colorScheme });
      if (!(await page.evaluate(() => typeof axe === 'object'))) await page.addScriptTag({ content: axe });
      const violations = await page.evaluate(async () => (await axe.run(document)).violations
        .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
      assert.deepEqual(violations, [], `${when}, ${colorScheme}`);
      // The waveform's markers against everything they cross, which axe does not see in a canvas.
      const colours = await page.evaluate(() => Object.fromEntries(['--marker', '--loop', '--intro', '--wave-bg']
        .map((name) => [name, getComputedStyle(document.documentElement).getPropertyValue(name).trim()])));
      for (const crossed of ['--loop', '--intro', '--wave-bg']) {
        const ratio = contrast(colours['--marker'], colours[crossed]);
        assert.ok(ratio >= 3, `markers against ${crossed} in ${colorScheme}: ${ratio.toFixed(2)}:1`);
      }
    }
    await page.emulateMedia({ colorScheme: null });
  };
  await check('idle');
  await page.getByLabel('Loop count').fill('x');
  await check('a loop count flagged');
  await page.getByLabel('Loop count').fill('2');
  await convertBatch(page, paths);
  await page.locator('#results > li details').first().evaluate((d) => { d.open = true; });
  await check('after a batch with a failed row');
});

test('the controls are labelled and reachable from the keyboard', async () => {
  await page.bringToFront();
  await page.reload({ waitUntil: 'load' });
  await showEveryDetail(page);
  for (const id of ['output-unrolled', 'format-wav', 'loop-count', 'target', 'fade-delay', 'fade', 'to-end', 'apply-loops',
    'short-format']) {
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), id);
  }
  if (await page.locator('#choose-output').isVisible()) await page.keyboard.press('Tab');
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'files');
  // Space on the focused picker opens the browser's own chooser. Headless
  // Chromium now and then lets the first key after a reload pass without
  // opening it (about one run in ten here); a second press is then made.
  const openChooser = () => Promise.all([page.waitForEvent('filechooser', { timeout: 5000 }), page.keyboard.press('Space')]);
  const [chooser] = await openChooser().catch(() => openChooser());
  await chooser.setFiles([paths[0]]);
  await page.waitForFunction(() => document.getElementById('progress').textContent.startsWith('Done'));
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'folder');
  for (const id of ['stop', 'clear', 'download-all']) {
    assert.equal(await page.evaluate((i) => document.getElementById(i).getBoundingClientRect().width > 0, id), true, `${id} keeps its place`);
  }
  for (const id of ['files', 'folder', 'loop-count', 'short-format', 'output-unrolled', 'output-kept', 'output-apart', 'format-flac',
    'quality', 'target', 'fade', 'fade-delay', 'to-end', 'apply-loops']) {
    assert.equal(await page.evaluate((i) => document.getElementById(i).labels.length, id), 1, id);
  }
});

test('at 200 % zoom nothing needs scrolling sideways', async () => {
  await convertBatch(page, paths);
  await page.setViewportSize({ width: 640, height: 900 });  // 1280 CSS pixels at 200 %
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
  assert.equal(overflow, 0);
  await page.setViewportSize({ width: 1280, height: 900 });
  if (options.screenshot) await fullPageShot(page, options.screenshot);
  for (const colorScheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme });
    for (const width of [1100, 640]) {
      await page.setViewportSize({ width, height: 900 });
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
      assert.equal(overflow, 0, `${width} px, ${colorScheme}`);
      if (options.screenshot) {
        await fullPageShot(page, options.screenshot.replace(/\.png$/, `-${width}-${colorScheme}.png`));
      }
    }
  }
  await page.emulateMedia({ colorScheme: null });
  await page.setViewportSize({ width: 1280, height: 900 });
});

test('on a phone the new rows are brought into view, and stay compact', async () => {
  await clear(page);
  await page.setViewportSize({ width: 390, height: 700 });
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.setInputFiles('#files', [paths[0]]);
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  await page.waitForFunction(() => {
    const box = document.getElementById('results-title').getBoundingClientRect();
    return box.top >= 0 && box.top < innerHeight;
  });
  const lines = await page.locator('#results > li .line').evaluate((line) => Math.round(line.getBoundingClientRect().height /
    parseFloat(getComputedStyle(line).lineHeight)));
  assert.ok(lines <= 4, `the first line of a row takes ${lines} lines`);
  const height = await page.locator('#results > li').evaluate((li) => li.getBoundingClientRect().height);
  assert.ok(height < 260, `a converted row is ${height} px tall`);
  await page.setViewportSize({ width: 1280, height: 900 });
});

test('the footer names the release and carries every license', async () => {
  const version = readFileSync(new URL('../VERSION', import.meta.url), 'utf8').trim();
  const zip = JSON.parse(readFileSync(new URL('../node_modules/client-zip/package.json', import.meta.url)));
  assert.equal(await page.locator('#version').textContent(), version);
  const release = readFileSync(new URL('../RELEASE', import.meta.url), 'utf8').trim();
  assert.equal(await page.locator('#release').textContent(), release);
  await page.getByText('Licenses').click();
  const footer = await page.locator('footer').innerText();
  assert.ok(footer.includes(readFileSync(new URL('../LICENSE', import.meta.url), 'utf8').trim().split('\n')[2]));
  assert.ok(footer.includes(`${zip.name} ${zip.version}`));
  assert.equal(footer.match(/Permission is hereby granted/g).length, 2, 'kelvor\'s and the zip library\'s license texts');
  assert.match(footer, /libFLAC 1\.4\.2 \(Debian source package flac 1\.4\.2\+ds-2\); libogg 1\.3\.5 .*; libvorbis 1\.3\.7 /);
  assert.equal(footer.match(/Redistribution and use in source and binary forms/g).length, 3, 'the codecs\' license texts');
});

// bgm/field/town.zq (the example), bgm/Battle.ZQ (no loop) and two other files.
function soundtrackFolder() {
  const folder = join(work, 'bgm');
  mkdirSync(join(folder, 'field'), { recursive: true });
  copyFileSync(paths[0], join(folder, 'field', 'town.zq'));
  copyFileSync(paths[1], join(folder, 'Battle.ZQ'));
  writeFileSync(join(folder, 'notes.txt'), 'not a container');
  writeFileSync(join(folder, 'field', 'cover.png'), 'not a container either');
  writeFileSync(join(folder, 'field', 'empty.zq'), '');
  return folder;
}

test('a folder: its .zq files in any letter case, under their relative paths; others counted', async () => {
  const folder = soundtrackFolder();
  await page.evaluate(() => { window.showSaveFilePicker = undefined; });
  assert.match(await finished(page, '#folder', folder), /^Done: 3 of 3 files, 2 converted \(1 with a warning\), 1 failed\. 2 other files skipped\.$/);
  const shown = await rows(page);
  assert.deepEqual(shown.map((r) => r.name), ['bgm/Battle.ZQ', 'bgm/field/empty.zq', 'bgm/field/town.zq']);
  assert.equal(shown[1].messages, nativeRun(join(folder, 'field', 'empty.zq'), 'empty.zq', ['empty.zq', '-l2']).stdout);
  const zip = unzipSync(new Uint8Array((await download(page, page.getByRole('button', { name: 'Download all' }))).bytes));
  assert.deepEqual(Object.keys(zip).sort(), ['bgm/Battle.wav', 'bgm/field/town.wav', 'loops.csv', 'loops.json']);
  assert.ok(Buffer.from(zip['bgm/field/town.wav']).equals(nativeRun(paths[0], 'town.zq', ['town.zq', '-l2']).wav));
});

test('a folder of 10,000 other files and 4 containers, two of one WAV name', async () => {
  const folder = join(work, 'crowd');
  mkdirSync(join(folder, 'deep'), { recursive: true });
  for (let i = 0; i < 10000; i++) writeFileSync(join(folder, `other-${i}.ogg`), '');
  copyFileSync(paths[0], join(folder, 'a.zq'));
  copyFileSync(paths[1], join(folder, 'deep', 'b.ZQ'));
  copyFileSync(paths[3], join(folder, 'c.zq'));
  copyFileSync(paths[0], join(folder, 'c.ZQ'));  // its WAV is named c.wav too
  await page.evaluate(() => { window.showSaveFilePicker = undefined; });
  assert.match(await finished(page, '#folder', folder), /^Done: 4 of 4 files, 4 converted \(1 with a warning\), 0 failed\. 10,000 other files skipped\.$/);
  assert.deepEqual((await rows(page)).map((r) => r.name), ['crowd/a.zq', 'crowd/c.ZQ', 'crowd/c.zq', 'crowd/deep/b.ZQ']);
  const zip = unzipSync(new Uint8Array((await download(page, page.getByRole('button', { name: 'Download all' }))).bytes));
  assert.deepEqual(Object.keys(zip).sort(), ['crowd/a.wav', 'crowd/c (2).wav', 'crowd/c.wav', 'crowd/deep/b.wav',
    'loops.csv', 'loops.json']);
  // Each row's link is named as the file it gives, the second c.wav as in the zip.
  const links = await page.locator('#results a[download]').evaluateAll((all) => all.map((a) => [a.textContent, a.download]));
  assert.deepEqual(links.map(([text]) => text).sort(), ['Download a.wav', 'Download b.wav', 'Download c (2).wav', 'Download c.wav']);
  assert.ok(links.every(([text, name]) => text === `Download ${name}`));
});

test('Stop ends the run within a second, the files in progress too; files added later start a run of their own', async () => {
  await clear(page);
  await onNextRead(page, { delay: 5000 });  // each worker's first file takes a long while to read
  await page.setInputFiles('#files', [paths[0], paths[1], paths[3]]);
  await page.waitForFunction(() => /^Converting /.test(document.getElementById('progress').textContent));
  const stop = page.getByRole('button', { name: 'Stop' });
  await stop.focus();
  await page.evaluate(() => {
    window.lines = [];
    const line = document.getElementById('progress');
    new MutationObserver(() => window.lines.push(line.textContent)).observe(line, { childList: true, characterData: true, subtree: true });
  });
  const pressed = Date.now();
  await stop.click();
  await page.waitForFunction(() => window.lines.length > 0);
  assert.match(await page.evaluate(() => window.lines[0]), /^Stopping/, 'the line says at once that the run stops');
  assert.notEqual(await page.evaluate(() => document.activeElement.tagName), 'BODY', 'the focus moves on');
  await page.waitForFunction(() => /^Stopped/.test(document.getElementById('progress').textContent));
  assert.ok(Date.now() - pressed < 1500, `stopped after ${Date.now() - pressed} ms`);
  assert.equal(await page.locator('#progress').textContent(), 'Stopped after 0 of 3 files, 0 converted, 0 failed.');
  assert.deepEqual((await rows(page)).map((r) => [r.name, r.state]),
    [['example.zq', 'stopped'], ['no-loop.zq', 'stopped'], ['音楽.zq', 'stopped']]);
  assert.match(await page.locator('#results > li').first().innerText(), /Stopped while it was converting/);
  await restoreReads(page);
  await page.setInputFiles('#files', [paths[3]]);
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  assert.equal(await page.locator('#progress').textContent(), 'Done: 1 of 1 files, 1 converted, 0 failed.');
  assert.equal(await page.locator('#results > li').count(), 4);
});

test('a file deleted between choosing and converting gets a plain message', async () => {
  await clear(page);
  await onNextRead(page, { delay: 700 });  // the file is gone by the time it is read
  const doomed = join(work, 'doomed.zq');
  copyFileSync(paths[0], doomed);
  await page.setInputFiles('#files', [doomed]);
  rmSync(doomed);
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  const [row] = await rows(page);
  assert.match(row.problem, /^This file could not be read: it was moved, changed or deleted/);
  await restoreReads(page);
});

// The output folder and the saved zip are written through the File System
// Access API; here the origin's private file system stands in for the folder
// or file the user would choose, which needs the page served from an origin.
const server = createServer((request, response) => {
  const found = request.url === '/kelvor.html';
  response.writeHead(found ? 200 : 404, { 'content-type': 'text/html; charset=utf-8' });
  response.end(found ? readFileSync(options.page) : '');
});
await new Promise((done) => server.listen(0, '127.0.0.1', done));
const servedPage = `http://127.0.0.1:${server.address().port}/kelvor.html`;
let served = null;  // opened by the first test that needs it, after the file:// tests

// A context of its own: a second page of one context would be a background
// tab, which Chromium gives no animation frames.
async function openServed() {
  const servedContext = await browser.newContext({ viewport: { width: 1280, height: 900 } });
  servedContext.on('request', (request) => requests.push(request.url()));
  served = await servedContext.newPage();
  served.on('pageerror', (error) => pageErrors.push(String(error)));
  await served.goto(servedPage);
  await showEveryDetail(served);
}

// The bytes of a file in the private file system, by path.
async function privateFile(path) {
  return Buffer.from(await served.evaluate(async (parts) => {
    let folder = await navigator.storage.getDirectory();
    for (const name of parts.slice(0, -1)) folder = await folder.getDirectoryHandle(name);
    const file = await (await folder.getFileHandle(parts.at(-1))).getFile();
    return [...new Uint8Array(await file.arrayBuffer())];
  }, path.split('/')));
}

test('an output folder receives each WAV under its relative path; a container there is never written over', async () => {
  await openServed();
  const container = files['example.zq'];
  await served.evaluate(async (bytes) => {
    const root = await navigator.storage.getDirectory();
    const out = await root.getDirectoryHandle('out', { create: true });
    const put = async (folder, name, data) => {
      const stream = await (await folder.getFileHandle(name, { create: true })).createWritable();
      await stream.write(new Uint8Array(data));
      await stream.close();
    };
    const bgm = await out.getDirectoryHandle('bgm', { create: true });
    await put(await bgm.getDirectoryHandle('field', { create: true }), 'town.wav', bytes);  // a container
    await put(bgm, 'Battle.wav', [...new TextEncoder().encode('an earlier, longer WAV')]);
    window.showDirectoryPicker = async () => out;
  }, [...container]);
  await served.getByRole('button', { name: 'Choose output folder' }).click();
  await served.getByText('WAVs are written into the folder "out".').waitFor();
  await served.getByLabel('Loop count').fill('2');
  await served.setInputFiles('#folder', soundtrackFolder());
  // Battle.wav is the user's: asked once whether to replace it, and told to.
  const question = served.getByRole('dialog', { name: 'Files of these names are in the output folder' });
  await question.waitFor();
  assert.deepEqual(await question.locator('#replace-names li').allTextContents(), ['out/bgm/Battle.wav']);
  await question.getByRole('button', { name: 'Replace' }).click();
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  assert.equal(await served.locator('#progress').textContent(), 'Done: 3 of 3 files, 1 converted (1 with a warning), 2 failed. 2 other files skipped.');
  const [battle, , town] = await rows(served);
  const nativeBattle = nativeRun(paths[1], 'Battle.ZQ', ['Battle.ZQ', '-l2']);
  assert.equal(battle.messages, nativeBattle.stdout);
  assert.ok((await privateFile('out/bgm/Battle.wav')).equals(nativeBattle.wav), 'the earlier file is replaced');
  const nativeTown = nativeRun(paths[0], 'town.zq', ['town.zq', '-l2'], { 'town.wav': container });
  assert.match(nativeTown.stdout, /error-14 : \.wav file is a \.zq file\.\n$/);
  assert.equal(town.messages, nativeTown.stdout);
  assert.equal(town.code, 'Result code: -14');
  assert.ok((await privateFile('out/bgm/field/town.wav')).equals(container), 'the container is kept');
  assert.equal(await served.locator('#results a[download]').count(), 0, 'no WAV is kept in the page');
  assert.equal(await served.getByRole('button', { name: 'Download all' }).isDisabled(), true);
});

test('a write that fails fails its row, and the batch goes on', async () => {
  await served.evaluate(async () => (await navigator.storage.getDirectory()).removeEntry('out', { recursive: true }));
  await clear(served);
  await served.setInputFiles('#files', [paths[0], paths[3]]);
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  assert.equal(await served.locator('#progress').textContent(), 'Done: 2 of 2 files, 0 converted, 2 failed.');
  for (const row of await served.locator('#results > li').all()) {
    assert.match(await row.innerText(), /The folder "out" is no longer there: it was moved or deleted\./);
    assert.match(await row.locator('pre').textContent(), /The browser said: NotFoundError: /);
    assert.ok(await row.evaluate((li) => li.classList.contains('failed')));
  }
});

test('"Download all" streams the zip into the file chosen to save it in', async () => {
  await served.reload();  // no output folder: WAVs stay in the page
  await showEveryDetail(served);
  await served.evaluate(async () => {
    const root = await navigator.storage.getDirectory();
    window.showSaveFilePicker = async ({ suggestedName }) => root.getFileHandle(suggestedName, { create: true });
  });
  await served.setInputFiles('#files', [paths[0], paths[3]]);
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  await served.getByRole('button', { name: 'Download all' }).click();
  await served.locator('#notice', { hasText: 'The .zip holds 2 WAV files and the loop list.' }).waitFor();
  const entries = unzipSync(new Uint8Array(await privateFile('kelvor-wav.zip')));
  assert.deepEqual(Object.keys(entries), ['example.wav', '音楽.wav', 'loops.csv', 'loops.json']);
  assert.ok(Buffer.from(entries['example.wav']).equals(nativeRun(paths[0], 'example.zq', ['example.zq', '-l2']).wav));
});

test('each kind into the output folder, with the loop list beside the WAVs; a list of the user\'s is kept', async () => {
  await served.evaluate(async () => {
    const root = await navigator.storage.getDirectory();
    const out = await root.getDirectoryHandle('kinds', { create: true });
    const notes = await (await out.getFileHandle('loops.csv', { create: true })).createWritable();
    await notes.write('my own notes');
    await notes.close();
    window.showDirectoryPicker = async () => out;
  });
  await served.getByRole('button', { name: 'Choose output folder' }).click();
  await served.getByText('WAVs are written into the folder "kinds".').waitFor();
  await served.getByLabel('Intro and loop apart').check();
  await clear(served);
  await served.setInputFiles('#files', [paths[0], paths[3]]);
  await served.getByLabel('Loop points kept').check();
  await served.setInputFiles('#files', [paths[1]]);
  // The third file may make a run of its own, when the first two were done before it came.
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent) &&
    [...document.querySelectorAll('#results > li')].every((li) => li.dataset.state === 'converted'));
  await served.waitForFunction(() => /left as it was/.test(document.getElementById('progress').textContent));
  assert.deepEqual((await rows(served)).map((r) => r.queued), ['intro and loop apart · into "kinds"',
    'intro and loop apart · into "kinds"', 'loop points kept · loop end as RIFF has it · into "kinds"']);
  const once = dataOf(nativeRun(paths[3], '音楽.zq', ['音楽.zq', '-l1']).wav);
  const [intro, loop] = [await privateFile('kinds/音楽 - intro.wav'), await privateFile('kinds/音楽 - loop.wav')];
  assert.ok(Buffer.concat([dataOf(intro), dataOf(loop)]).equals(once));
  assert.equal(dataOf(intro).length, 8);
  assert.ok(dataOf(await privateFile('kinds/no-loop.wav')).equals(dataOf(nativeRun(paths[1], 'no-loop.zq', ['no-loop.zq', '-l1']).wav)));
  const list = JSON.parse(await privateFile('kinds/loops.json'));
  assert.deepEqual(list.files.map((f) => [f.path, f.wavs.map((w) => w.name), f.loop && f.loop.start_frame]),
    [['example.zq', ['example - intro.wav', 'example - loop.wav'], 22050], ['音楽.zq', ['音楽 - intro.wav', '音楽 - loop.wav'], 2],
     ['no-loop.zq', ['no-loop.wav'], null]]);
  assert.equal((await privateFile('kinds/loops.csv')).toString(), 'my own notes');
  assert.match(await served.locator('#progress').textContent(),
    /The loop list went to "kinds\/loops \(2\)\.csv": "kinds\/loops\.csv" is not as kelvor wrote it, and was left as it was\./);
  await served.getByLabel('Loop unrolled', { exact: true }).check();
});

// A folder of the private file system, made empty, chosen as the output folder.
async function chooseFolder(name, own = {}) {
  await served.evaluate(async ({ name, own }) => {
    const root = await navigator.storage.getDirectory();
    await root.removeEntry(name, { recursive: true }).catch(() => {});
    const folder = await root.getDirectoryHandle(name, { create: true });
    for (const [file, text] of Object.entries(own)) {
      const stream = await (await folder.getFileHandle(file, { create: true })).createWritable();
      await stream.write(text);
      await stream.close();
    }
    window.showDirectoryPicker = async () => folder;
  }, { name, own });
  await served.getByRole('button', { name: 'Choose output folder' }).click();
  await served.getByText(`WAVs are written into the folder "${name}".`).waitFor();
}

const folderNames = (name) => served.evaluate(async (folderName) => {
  const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle(folderName);
  const names = [];
  for await (const key of folder.keys()) names.push(key);
  return names.sort();
}, name);

test('the output folder keeps the user\'s files: keep both by default, each name asked about once; a file added twice gets its own name', async () => {
  await clear(served);
  await chooseFolder('mine', { 'example.wav': 'RIFFuser-own-recording', '音楽.wav': 'the user\'s too' });
  await served.evaluate(() => {
    window.questions = 0;
    const showModal = HTMLDialogElement.prototype.showModal;
    HTMLDialogElement.prototype.showModal = function () { window.questions++; return showModal.call(this); };
  });
  await served.setInputFiles('#files', [paths[0], paths[3], paths[0]]);
  // Each question lists the names met since the last; Enter keeps both. The
  // two workers' files may be asked about together or one after the other,
  // the next question opening as the last one closes.
  const listed = [];
  for (let answered = 0; ; answered++) {
    await served.waitForFunction((n) => window.questions > n || /^Done/.test(document.getElementById('progress').textContent),
      answered);
    if (!await served.evaluate((n) => window.questions > n, answered)) break;
    assert.equal(await served.evaluate(() => document.activeElement.textContent), 'Keep both', 'the default has the focus');
    listed.push(...await served.locator('#replace-names li').allTextContents());
    await served.keyboard.press('Enter');
  }
  assert.deepEqual(listed.sort(), ['mine/example.wav', 'mine/音楽.wav'], 'each of the user\'s files asked about once');
  assert.deepEqual(await folderNames('mine'), ['example (2).wav', 'example (3).wav', 'example.wav', 'loops.csv', 'loops.json',
    '音楽 (2).wav', '音楽.wav']);
  assert.equal((await privateFile('mine/example.wav')).toString(), 'RIFFuser-own-recording');
  const native = nativeRun(paths[0], 'example.zq', ['example.zq', '-l2']).wav;
  for (const name of ['example (2).wav', 'example (3).wav']) assert.ok((await privateFile(`mine/${name}`)).equals(native), name);
  const written = await served.locator('#results .written').allTextContents();
  assert.deepEqual(written.sort(), ['Written to mine/example (2).wav', 'Written to mine/example (3).wav', 'Written to mine/音楽 (2).wav']);
  const list = JSON.parse(await privateFile('mine/loops.json'));
  assert.deepEqual(list.files.map((f) => f.wavs[0].name).sort(), ['example (2).wav', 'example (3).wav', '音楽 (2).wav']);
  // A row written into the folder plays the WAV read back from there.
  const row = served.locator('#results > li').first();
  await row.getByRole('button', { name: /^Play example \(\d\)\.wav$/ }).click();
  const seconds = await row.locator('audio').evaluate((audio) => new Promise((done) => (audio.readyState >= 1
    ? done(audio.duration) : audio.addEventListener('loadedmetadata', () => done(audio.duration)))));
  assert.ok(Math.abs(seconds - 2.5) < 0.001, `plays ${seconds} s`);
  // The way back to downloads.
  await served.getByRole('button', { name: 'Use downloads instead' }).click();
  assert.equal(await served.evaluate(() => document.activeElement.id), 'choose-output');
  await served.setInputFiles('#files', [paths[3]]);
  await served.waitForFunction(() => document.querySelectorAll('#results a[download]').length === 1);
  assert.equal(await served.locator('#results > li').last().locator('.queued').textContent(), 'loop unrolled · loop count 2 · as a download');
});

test('a folder without room: the row says so in plain words and nothing of the WAV is left', async () => {
  await clear(served);
  await chooseFolder('full');
  const cdp = await served.context().newCDPSession(served);
  const origin = new URL(servedPage).origin;
  const used = await served.evaluate(async () => (await navigator.storage.estimate()).usage);
  await cdp.send('Storage.overrideQuotaForOrigin', { origin, quotaSize: used + 1000000 });
  try {
    await served.getByLabel('Loop count').fill('30');  // a 5 MB WAV
    await served.setInputFiles('#files', [paths[0]]);
    await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  } finally {
    await cdp.send('Storage.overrideQuotaForOrigin', { origin });
    await served.getByLabel('Loop count').fill('2');
  }
  const [row] = await rows(served);
  assert.equal(row.problem, 'The folder "full" has no room for this WAV: the disk, or the browser\'s share of it, is full.');
  assert.match(row.messages, /The browser said: QuotaExceededError/);
  assert.match(await served.locator('#results > li').first().innerText(), /No WAV was saved: nothing of it is left in the folder\./);
  assert.deepEqual(await folderNames('full'), []);
});

test('progress moves inside a file being written; Stop ends it within a second and removes what it wrote', async () => {
  await clear(served);
  await chooseFolder('slow', { 'keep.txt': 'the user\'s' });
  // Each worker's writes go slowly: a chunk of 64 KiB every 50 ms.
  for (const worker of served.workers()) {
    await worker.evaluate(() => {
      const stream = Blob.prototype.stream;
      Blob.prototype.stream = function () {
        const reader = stream.call(this).getReader();
        let held = new Uint8Array(0);
        return new ReadableStream({
          async pull(controller) {
            await new Promise((done) => setTimeout(done, 50));
            if (held.length === 0) {
              const { done, value } = await reader.read();
              if (done) return controller.close();
              held = value;
            }
            controller.enqueue(held.slice(0, 65536));
            held = held.subarray(65536);
          },
        }, { highWaterMark: 0 });
      };
    });
  }
  await served.getByLabel('Loop count').fill('30');
  await served.setInputFiles('#files', [paths[0]]);
  await served.waitForFunction(() => /^writing [1-9]/.test(document.querySelector('#results .status').textContent));
  await served.waitForFunction(() => /^Converting example\.zq: 0 of 1 file done, [1-9]\d? %/.test(document.getElementById('progress').textContent));
  assert.ok(await served.locator('progress').evaluate((bar) => bar.value > 0 && bar.value < bar.max), 'the bar moved');
  const pressed = Date.now();
  await served.getByRole('button', { name: 'Stop' }).click();
  await served.waitForFunction(() => /^Stopped/.test(document.getElementById('progress').textContent));
  assert.ok(Date.now() - pressed < 1500, `stopped after ${Date.now() - pressed} ms`);
  assert.equal((await rows(served))[0].state, 'stopped');
  assert.deepEqual(await folderNames('slow'), ['keep.txt']);
  await served.getByLabel('Loop count').fill('2');
  await served.reload();  // the workers' writes as they were
  await showEveryDetail(served);
});

// Files of the test written beside the others, by name: their paths.
function written(named) {
  return Object.entries(named).map(([name, bytes]) => {
    writeFileSync(join(work, name), bytes);
    return join(work, name);
  });
}

test('"Replace" covers the files it listed: a file of the user\'s met later in the same run is asked about again', async () => {
  await clear(served);
  await chooseFolder('consent', { 'town.wav': 'the user\'s town', 'final mix.wav': 'the user\'s mix' });
  const [slow, town, mix] = written({ 'slow.zq': files['example.zq'], 'town.zq': files['example.zq'],
    'final mix.zq': files['example.zq'] });
  await onNextRead(served, { delay: 6000, only: 'slow.zq' });  // a long track keeps the run going
  await served.setInputFiles('#files', [slow, town]);
  const question = served.getByRole('dialog');
  await question.waitFor();
  assert.deepEqual(await question.locator('#replace-names li').allTextContents(), ['consent/town.wav']);
  assert.match(await question.locator('#replace-scope').textContent(), /the files listed here only/);
  await question.getByRole('button', { name: 'Replace' }).click();
  assert.match(await served.locator('#progress').textContent(), /^(Converting|Starting)/, 'the run goes on');
  await served.setInputFiles('#files', [mix]);
  await question.waitFor();
  assert.deepEqual(await question.locator('#replace-names li').allTextContents(), ['consent/final mix.wav']);
  await question.getByRole('button', { name: 'Keep both' }).click();
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent), null, { timeout: 20000 });
  await restoreReads(served);
  assert.match(await served.locator('#progress').textContent(), /^Done: 3 of 3 files, 3 converted/, 'one run');
  const native = nativeRun(paths[0], 'example.zq', ['example.zq', '-l2']).wav;
  assert.ok((await privateFile('consent/town.wav')).equals(native), 'replaced, as answered');
  assert.equal((await privateFile('consent/final mix.wav')).toString(), 'the user\'s mix', 'kept: never asked about before');
  assert.ok((await privateFile('consent/final mix (2).wav')).equals(native));
});

test('the loop list in the output folder: a list edited by hand is kept; after a reload every WAV still there is listed', async () => {
  await clear(served);
  await chooseFolder('lists');
  await served.setInputFiles('#files', [paths[0], paths[3]]);
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  const csv = (await privateFile('lists/loops.csv')).toString();
  const edited = csv.replace(',unrolled,', ',unrolled twice,');  // kelvor's header kept, one cell changed
  assert.notEqual(edited, csv);
  await served.evaluate(async (text) => {
    const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('lists');
    const stream = await (await folder.getFileHandle('loops.csv')).createWritable();
    await stream.write(text);
    await stream.close();
  }, edited);
  await served.reload();
  await showEveryDetail(served);
  await served.evaluate(async () => {
    const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle('lists');
    window.showDirectoryPicker = async () => folder;
  });
  await served.getByRole('button', { name: 'Choose output folder' }).click();
  await served.setInputFiles('#files', [paths[1]]);
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  assert.match(await served.locator('#progress').textContent(),
    /The loop list went to "lists\/loops \(2\)\.csv": "lists\/loops\.csv" is not as kelvor wrote it, and was left as it was\./);
  assert.equal((await privateFile('lists/loops.csv')).toString(), edited);
  const wavsOf = (list) => list.files.map((file) => file.wavs[0].name);
  assert.deepEqual(wavsOf(JSON.parse(await privateFile('lists/loops.json'))), ['example.wav', '音楽.wav', 'no-loop.wav']);
  const second = (await privateFile('lists/loops (2).csv')).toString().split('\r\n');
  assert.deepEqual(second.slice(1, 4).map((line) => line.split(',')[3]), ['example.wav', '音楽.wav', 'no-loop.wav']);
  // After Clear, the same: the list is of the folder, not of the rows.
  await clear(served);
  await served.setInputFiles('#files', written({ 'fresh.zq': files['音楽.zq'] }));
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  assert.deepEqual(wavsOf(JSON.parse(await privateFile('lists/loops.json'))), ['example.wav', '音楽.wav', 'no-loop.wav', 'fresh.wav']);
});

test('awkward names: each WAV under the name Chromium keeps, in the row, the download, the zip, a folder and the loop list', async () => {
  // What Chromium itself makes of each awkward name, as a download: the names the page must give.
  // A page of its own asks, as Chromium holds back a tab's downloads after many in a row.
  const probe = await context.newPage();
  await probe.setContent('<a id="probe">probe</a>');
  for (const [name, kept] of AWKWARD) {
    await probe.evaluate((n) => {
      Object.assign(document.getElementById('probe'), { download: n,
        href: URL.createObjectURL(new Blob(['RIFF'], { type: 'audio/wav' })) });
    }, name);
    // Now and then headless Chromium lets a download pass without its event: it is made again.
    const once = () => Promise.all([probe.waitForEvent('download', { timeout: 5000 }), probe.click('#probe')]);
    const [saved] = await once().catch(once);
    assert.equal(saved.suggestedFilename(), kept, `Chromium saves ${JSON.stringify(name)} as ${JSON.stringify(saved.suggestedFilename())}`);
  }
  await probe.close();
  await page.bringToFront();
  await clear(page);
  // Containers of those names converted as downloads: NAME.zq for NAME.wav, and ".zq" (which
  // gives ".wav") for both ".wav" and "..wav".
  const sources = AWKWARD.filter(([name]) => !name.includes('/') && name !== '.wav' && name !== '..wav')
    .map(([name, kept]) => [name.replace(/\.wav$/, '.zq'), kept]);
  sources.push(['.zq', 'wav.wav']);
  const made = written(Object.fromEntries(sources.map(([name]) => [name, files['音楽.zq']])));
  await page.setInputFiles('#files', made);
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  assert.match(await page.locator('#progress').textContent(), new RegExp(`^Done: ${sources.length} of ${sources.length} files, ` +
    `${sources.length} converted, 0 failed`));
  const links = await page.locator('#results a[download]').evaluateAll((all) => all.map((a) => a.getAttribute('download')));
  assert.deepEqual(links, sources.map(([, kept]) => kept));
  const minus = page.locator('#results > li', { hasText: '-minus.zq' });
  const saved = await download(page, minus.locator('a[download]'));
  assert.equal(saved.name, '-minus.wav');
  const native = nativeRun(join(work, '-minus.zq'), '-minus.zq', ['./-minus.zq', '-l2']);
  assert.ok(saved.bytes.equals(native.wav), 'the command line\'s WAV');
  await page.evaluate(() => { window.showSaveFilePicker = undefined; });
  const zip = unzipSync((await download(page, page.getByRole('button', { name: 'Download all' }))).bytes);
  assert.deepEqual(Object.keys(zip).filter((name) => !name.startsWith('loops.')), sources.map(([, kept]) => kept));
  const listed = JSON.parse(Buffer.from(zip['loops.json']).toString()).files.map((file) => file.wavs[0].name);
  assert.deepEqual(listed, sources.map(([, kept]) => kept));

  // Into a folder: the same names, -minus.wav among them, nothing stopped.
  await clear(served);
  await chooseFolder('awkward');
  await served.setInputFiles('#files', made);
  await served.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  assert.match(await served.locator('#progress').textContent(), new RegExp(`^Done: ${sources.length} of ${sources.length} files, ` +
    `${sources.length} converted, 0 failed`));
  assert.deepEqual(await folderNames('awkward'), [...sources.map(([, kept]) => kept), 'loops.csv', 'loops.json'].sort());
  const inFolder = JSON.parse(await privateFile('awkward/loops.json')).files.map((file) => file.wavs[0].name);
  assert.deepEqual(inFolder, sources.map(([, kept]) => kept));
  console.log('# awkward names as saved:\n' + sources.map(([name, kept]) => `#   ${JSON.stringify(name)} -> ${JSON.stringify(kept)}`).join('\n'));
});

test('a refused add says so on its own line; the run goes on and its Done line follows', async () => {
  await clear(page);
  await onNextRead(page, { delay: 2500, only: 'example.zq' });
  await page.setInputFiles('#files', [paths[0]]);
  await page.getByLabel('Loop count').fill('0');
  await page.setInputFiles('#files', [paths[1]]);
  await page.locator('#notice', { hasText: 'Nothing was converted: ' }).waitFor();
  assert.match(await page.locator('#progress').textContent(), /^(Converting|Starting)/);
  await page.getByLabel('Loop count').fill('2');
  await page.waitForFunction(() => /^Done: 1 of 1 files, 1 converted, 0 failed\.$/.test(document.getElementById('progress').textContent));
  await restoreReads(page);
  assert.equal(await page.locator('#results > li').count(), 1, 'the refused file never joined');
});

test('a WAV most readers misread is a warning, counted, with a player that plays the sound; past 4 GiB a WAV is RF64', async () => {
  await clear(page);
  // 24-bit samples in 32-bit slots, stereo: 100 frames, the loop from frame 25.
  const data = Buffer.alloc(800);
  for (let i = 0; i < 200; i++) data.writeInt32LE((Math.round(Math.sin(i / 5) * 4e6) << 8) >> 8, i * 4);
  const [slots, huge] = written({
    'slots.zq': container({ data, loopUnits: 50, frameBits: 32, sampleBits: 24 }),
    // 1 GiB of data declared, 16 bytes of it there, the loop chunk first: heard 5 times, the
    // WAV passes 4 GiB, and is planned as RF64, then meets the end of the data.
    'huge.zq': (() => {
      const made = container({ data: Buffer.alloc(16), loopUnits: 0, units: 2 ** 28 });
      const trk = made.subarray(8, 8 + 36 + 16);
      return Buffer.concat([made.subarray(0, 8), made.subarray(8 + 36 + 16), trk]);
    })(),
  });
  await page.getByLabel('Loop count').fill('5');
  await page.setInputFiles('#files', [slots, huge]);
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent));
  await page.getByLabel('Loop count').fill('2');
  assert.equal(await page.locator('#progress').textContent(), 'Done: 2 of 2 files, 1 converted (1 with a warning), 1 failed.');
  const [warned, failed] = await rows(page);
  assert.equal(warned.state, 'warned');
  assert.match(warned.warning, /^Warning: Most programs misread this WAV: its header gives 24 bits per sample in 32-bit slots/);
  const row = page.locator('#results > li').first();
  await row.getByRole('button', { name: 'Play the sound once' }).click();
  const seconds = await row.locator('audio').evaluate((audio) => new Promise((done, fail) => {
    if (audio.readyState >= 1) done(audio.duration);
    audio.addEventListener('loadedmetadata', () => done(audio.duration));
    audio.addEventListener('error', () => fail(new Error(`the player failed: ${audio.error && audio.error.message}`)));
  }));
  assert.ok(Math.abs(seconds - 100 / 44100) < 1e-4, `plays ${seconds} s`);
  assert.equal(failed.problem, 'The file is cut short: it ends inside its sample data.');
  assert.match(failed.messages, /\nwarning : the WAV passes 4 GiB: written as RF64\.\n/);
  // -x is explained where it is chosen.
  assert.match(await page.locator('#short-format-help').textContent(), /libsndfile, sox, ffmpeg, Python's wave and browsers\s+refuse/);
});

test('a soundtrack fits on a screen: one line a file, arrows between files, details on demand; every problem shown in words', async () => {
  await clear(page);
  await showEveryDetail(page, false);
  try {
    const folder = join(work, 'soundtrack');
    for (let i = 0; i < 110; i++) {
      const sub = join(folder, `disc ${1 + Math.floor(i / 40)}`);
      mkdirSync(sub, { recursive: true });
      const bytes = i === 7 ? Buffer.alloc(0) : i === 50 ? Buffer.from('fZQ \x08\x00\x00\x00', 'latin1')
        : i === 90 ? Buffer.from('fZQ \x50\x00\x00\x00cTRK', 'latin1') : files['音楽.zq'];
      writeFileSync(join(sub, `track ${String(i + 1).padStart(3, '0')}.zq`), bytes);
    }
    assert.match(await finished(page, '#folder', folder), /^Done: 110 of 110 files, 107 converted, 2 failed, 1 without a track\./);
    const heights = await page.locator('#results > li').evaluateAll((all) => all.map((li) => li.getBoundingClientRect().height));
    assert.ok(Math.max(...heights.filter((h, i) => ![7, 50, 90].includes(i))) < 40, `rows of ${Math.max(...heights)} px`);
    const reasons = await page.locator('#results > li').evaluateAll((all) => [7, 50, 90].map((i) => all[i].querySelector('.lead').textContent));
    assert.deepEqual(reasons.map((text) => text.split(/(?<=\.)(?=error-)/)[0]), ['The file is empty.',
      'This .zq file holds no track: there is no sound in it, so no WAV was made.',
      'The file is cut short: it ends before its header is complete.']);
    assert.doesNotMatch(await page.locator('#results > li').nth(90).textContent(), /0 ch/);
    await page.getByLabel(/Show problems only \(3\)/).check();
    assert.equal(await page.locator('#results > li:visible').count(), 3, 'the file without a track among them');
    await page.getByLabel(/Show problems only/).uncheck();
    if (options.screenshot) {
      await page.evaluate(() => document.getElementById('results-title').scrollIntoView());
      await page.screenshot({ path: options.screenshot.replace(/\.png$/, '-110.png') });
    }
    // Arrows move between the files; Enter opens one.
    await page.locator('#results > li .toggle').first().focus();
    for (let i = 0; i < 3; i++) await page.keyboard.press('ArrowDown');
    assert.equal(await page.evaluate(() => document.activeElement.textContent), 'soundtrack/disc 1/track 004.zq');
    await page.keyboard.press('End');
    assert.equal(await page.evaluate(() => document.activeElement.textContent), 'soundtrack/disc 3/track 110.zq');
    await page.keyboard.press('Enter');
    assert.equal(await page.evaluate(() => document.activeElement.getAttribute('aria-expanded')), 'true');
    assert.equal(await page.locator('#results > li').last().getByRole('button', { name: 'Play 音楽.wav'.replace('音楽', 'track 110') })
      .count(), 1);
    assert.equal(await page.getByRole('progressbar').getAttribute('aria-label'), 'Progress of the run');

    // Another kind for the same files, without choosing them again.
    await page.getByLabel('Loop points kept').check();
    await page.getByRole('button', { name: 'Convert again with these options' }).click();
    await page.waitForFunction(() => /^Done: 110 of 110/.test(document.getElementById('progress').textContent), null, { timeout: 60000 });
    assert.equal(await page.locator('#results > li').count(), 110);
    assert.match(await page.locator('#results > li').first().locator('.queued').textContent(), /^loop points kept/);
  } finally {
    await page.getByLabel('Loop unrolled', { exact: true }).check();
    await showEveryDetail(page);
  }
});

test('a file of more than 16 MiB is read in place: the command line\'s bytes, its waveform from pieces of the file', async () => {
  await clear(page);
  const data = Buffer.alloc(17 * 1024 * 1024);
  for (let i = 0; i < data.length; i += 4) data.writeUInt32LE((Math.imul(i, 2654435761) ^ (i >>> 7)) >>> 0, i);
  const [large] = written({ 'large.zq': container({ data, loopUnits: data.length / 16 }) });
  await page.getByLabel('Loop count').fill('2');
  await page.setInputFiles('#files', [large]);
  await page.waitForFunction(() => /^Done/.test(document.getElementById('progress').textContent), null, { timeout: 60000 });
  const [row] = await rows(page);
  const native = nativeRun(large, 'large.zq', ['large.zq', '-l2']);
  assert.equal(row.messages, native.stdout);
  const saved = await download(page, page.locator('#results > li').first().locator('a[download]'));
  assert.ok(saved.bytes.equals(native.wav), 'the WAV is the command line\'s');
  await page.waitForFunction(() => document.querySelector('#results canvas.wave[data-drawn]'), null, { timeout: 30000 });
  assert.equal(await page.locator('#results > li').first().locator('.wave-text, canvas.wave').count(), 1);
});

test('nothing leaves the page', () => {
  assert.deepEqual(pageErrors, []);
  const outside = requests.filter((url) => !/^(file|blob|data):/.test(url) && url !== servedPage);
  assert.deepEqual(outside, []);
  assert.ok(requests.some((url) => url.startsWith('blob:')), 'the worker starts from a blob');
});

test.after(async () => {
  await browser.close();
  server.close();
  rmSync(work, { recursive: true, force: true });
});
