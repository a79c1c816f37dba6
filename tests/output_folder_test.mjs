// The names a run writes under in the output folder: nothing of the user's
// replaced without consent, an answer covering exactly the files it listed,
// a file added twice numbered,
// and only what a failed file made removed. The folder is a stand-in with
// the File System Access API's errors.
//
//   node --test tests/output_folder_test.mjs
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { createOutputFolder } from '../web/page/output_folder.js';

const refusal = (name) => Object.assign(new Error(name), { name });

class Folder {
  constructor(name, names = []) {
    this.name = name;
    this.entries = new Map(names.map((n) => [n, 'file']));
  }

  async getFileHandle(name, { create = false } = {}) {
    const entry = this.entries.get(name);
    if (entry instanceof Folder) throw refusal('TypeMismatchError');
    if (!entry && !create) throw refusal('NotFoundError');
    if (!entry) this.entries.set(name, 'file');
    return { name };
  }

  async getDirectoryHandle(name, { create = false } = {}) {
    if (!this.entries.has(name) && create) this.entries.set(name, new Folder(name));
    const entry = this.entries.get(name);
    if (!entry) throw refusal('NotFoundError');
    if (!(entry instanceof Folder)) throw refusal('TypeMismatchError');
    return entry;
  }

  async removeEntry(name) {
    if (!this.entries.delete(name)) throw refusal('NotFoundError');
  }
}

// A folder owner whose question is answered `answer`, counting the questions.
function owner(answer) {
  const asked = [];
  const folders = createOutputFolder({ ask: async (paths) => {
    asked.push(paths);
    return typeof answer === 'function' ? answer() : answer;
  } });
  folders.startRun();
  return { folders, asked };
}

const names = (claimed) => claimed && claimed.map((c) => `${c.name}${c.existed ? ' (there)' : ''}`);

test('a file added twice gets its own names, its two WAVs numbered alike, without a question', async () => {
  const out = new Folder('out');
  const { folders, asked } = owner('replace');
  const pair = ['a - intro.wav', 'a - loop.wav'];
  assert.deepEqual(names(await folders.claim(out, [], pair)), pair);
  assert.deepEqual(names(await folders.claim(out, [], pair)), ['a - intro (2).wav', 'a - loop (2).wav']);
  assert.deepEqual(names(await folders.claim(out, ['bgm'], ['a.wav'])), ['a.wav'], 'another folder is another name');
  assert.deepEqual(asked, []);
});

test('a file of the user\'s: the names waiting together are asked about in one question, keeping both unless replaced', async () => {
  const out = new Folder('out', ['a.wav', 'a (2).wav', 'b.wav']);
  const { folders, asked } = owner('keep');
  const [first, second] = await Promise.all([folders.claim(out, [], ['a.wav']), folders.claim(out, [], ['b.wav'])]);
  assert.deepEqual([names(first), names(second)], [['a (3).wav'], ['b (2).wav']]);
  assert.deepEqual(asked, [['out/a.wav', 'out/b.wav']], 'one question for the names met at once, each listed');
  // A new run asks again: the files this run wrote are not the next run's.
  folders.startRun();
  out.entries.set('a (3).wav', 'file');
  await folders.claim(out, [], ['a (3).wav']);
  assert.deepEqual(asked.at(-1), ['out/a (3).wav']);

  const replaced = owner('replace');
  const inner = await out.getDirectoryHandle('bgm', { create: true });
  inner.entries.set('c.wav', 'file');
  assert.deepEqual(names(await replaced.folders.claim(out, ['bgm'], ['c.wav', 'c - loop.wav'])), ['c.wav (there)', 'c - loop.wav']);
  assert.deepEqual(replaced.asked, [['out/bgm/c.wav']], 'only the name that is taken');
});

test('"Replace" covers the names it listed: a file of the user\'s met later in the same run is asked about again', async () => {
  const out = new Folder('out', ['town.wav', 'final mix.wav']);
  const answers = ['replace', 'keep'];
  const { folders, asked } = owner(() => answers.shift());
  assert.deepEqual(names(await folders.claim(out, [], ['town.wav'])), ['town.wav (there)']);
  assert.deepEqual(names(await folders.claim(out, [], ['final mix.wav'])), ['final mix (2).wav']);
  assert.deepEqual(asked, [['out/town.wav'], ['out/final mix.wav']]);
  // The same name again in the run is the run's own: numbered, no question.
  assert.deepEqual(names(await folders.claim(out, [], ['town.wav'])), ['town (2).wav']);
  assert.equal(asked.length, 2);
});

test('a folder that cannot be looked into fails its claim alone', async () => {
  const out = new Folder('out');
  out.entries.set('bgm', 'file');  // a file where the subfolder would be
  const { folders } = owner('keep');
  const [bad, good] = await Promise.allSettled([folders.claim(out, ['bgm'], ['a.wav']), folders.claim(out, [], ['a.wav'])]);
  assert.equal(bad.status, 'rejected');
  assert.equal(bad.reason.name, 'TypeMismatchError');
  assert.deepEqual(names(good.value), ['a.wav']);
});

test('a folder of a WAV\'s name is never written into or removed', async () => {
  const out = new Folder('out');
  out.entries.set('a.wav', new Folder('a.wav'));
  const { folders } = owner('replace');
  const claimed = await folders.claim(out, [], ['a.wav']);
  assert.deepEqual(names(claimed), ['a.wav (there)']);
  await folders.removeFailed(out, [], claimed);
  assert.ok(out.entries.get('a.wav') instanceof Folder);
});

test('a Stop withdraws the question and every name after it', async () => {
  const out = new Folder('out', ['a.wav']);
  let withdraw;
  const { folders } = owner(() => new Promise((resolve) => { withdraw = resolve; }));
  const waiting = folders.claim(out, [], ['a.wav']);
  const after = folders.claim(out, [], ['new.wav']);
  while (!withdraw) await new Promise((done) => setTimeout(done, 1));
  folders.cancel();
  withdraw(null);
  assert.equal(await waiting, null);
  assert.equal(await after, null);
});

test('what a failed file made is removed; what was there stays', async () => {
  const out = new Folder('out', ['a.wav']);
  const { folders } = owner('replace');
  const claimed = await folders.claim(out, [], ['a.wav', 'a - loop.wav']);
  await out.getFileHandle('a - loop.wav', { create: true });  // made by the write that failed
  await folders.removeFailed(out, [], claimed);
  assert.deepEqual([...out.entries.keys()], ['a.wav']);
  await folders.removeFailed(new Folder('gone'), ['x'], claimed);  // nothing there: no error
});
