// The page: takes the files and the options, hands each file to a worker
// with the command line that the options make, and shows one row per file.
// WAVs go into the output folder the user chose, or are offered as
// downloads and as one zip.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const dropZone = $('drop-zone');
  const filePicker = $('files');
  const folderPicker = $('folder');
  const loopCount = $('loop-count');
  const shortFormat = $('short-format');
  const outputChoice = $('output-choice');
  const chooseOutput = $('choose-output');
  const outputName = $('output-name');
  const progress = $('progress');
  const stopButton = $('stop');
  const results = $('results');
  const downloadAll = $('download-all');

  // Two workers, one a core, share a batch of small files; a large file goes
  // to the first alone, so that one large WAV at a time is held. The
  // WebAssembly is compiled once, here, and each worker gets the compiled
  // module.
  const LARGE_FILE = 16 * 1024 * 1024;
  const compiled = WebAssembly.compile(Uint8Array.from(atob($('kelvor-wasm').textContent.trim()), (c) => c.charCodeAt(0)));
  const workerSource = URL.createObjectURL(new Blob([$('worker-source').textContent], { type: 'text/javascript' }));
  const pending = new Map();  // job id -> resolve
  const workers = [0, 1].map(() => {
    const worker = new Worker(workerSource);
    worker.queuedBytes = 0;
    worker.onmessage = (event) => {
      const resolve = pending.get(event.data.id);
      pending.delete(event.data.id);
      if (resolve) resolve(event.data);
    };
    compiled.then((module) => worker.postMessage({ module }));
    return worker;
  });
  let nextId = 1;

  // Hands a file to a worker, which reads it at once and converts its files
  // in the order handed over. Returns { id, size, reply }, the reply a
  // promise of the result.
  function handOver(job) {
    const id = nextId++;
    const size = job.file.size;
    const worker = size > LARGE_FILE ? workers[0]
      : workers.reduce((a, b) => (b.queuedBytes < a.queuedBytes ? b : a));
    worker.queuedBytes += size;
    const reply = new Promise((resolve) => pending.set(id, resolve)).then((result) => {
      worker.queuedBytes -= size;
      return result;
    });
    worker.postMessage({ id, ...job });
    return { id, size, reply };
  }

  // The command line of one file, as a user would type it. A name that starts
  // with "-" would be taken for an option, so it is given as "./name".
  function commandLine(name) {
    const args = [name.startsWith('-') ? './' + name : name, '-l' + loopCount.value];
    if (shortFormat.checked) args.push('-x');
    return args;
  }

  const element = KelvorRows.element;

  // The output folder, where the browser lets the page write into one.
  let outputFolder = null;
  if (typeof showDirectoryPicker === 'function') {
    outputChoice.hidden = false;
    chooseOutput.addEventListener('click', async () => {
      try {
        outputFolder = await showDirectoryPicker({ id: 'kelvor-output', mode: 'readwrite' });
        outputName.textContent = `WAVs are written into the folder "${outputFolder.name}".`;
      } catch (error) {
        if (error.name !== 'AbortError') outputName.textContent = 'That folder cannot be used: ' + error.message;
      }
    });
  }

  const batch = { wavs: [], urls: [], names: new Set() };

  function clearBatch() {
    for (const url of batch.urls) URL.revokeObjectURL(url);
    batch.wavs = [];
    batch.urls = [];
    batch.names = new Set();
    results.replaceChildren();
    downloadAll.hidden = true;
  }

  // The zip must not hold two entries of one name: a repeated one gets " (2)", ...
  function uniqueName(name) {
    const taken = batch.names;
    let unique = name;
    if (taken.has(name)) {
      const dot = name.lastIndexOf('.');
      const stem = dot > 0 ? name.slice(0, dot) : name;
      const extension = dot > 0 ? name.slice(dot) : '';
      for (let n = 2; taken.has(unique); n++) unique = `${stem} (${n})${extension}`;
    }
    taken.add(unique);
    return unique;
  }

  // A Blob's address costs a round trip to the browser's own process (some
  // 3 ms): a row's is made when its link or player is first about to be used.
  function addressOf(blob) {
    let url = null;
    return () => {
      if (!url) {
        url = URL.createObjectURL(blob);
        batch.urls.push(url);
      }
      return url;
    };
  }

  function downloadLink(name, url) {
    const link = element('a', 'download', 'Download ' + name);
    link.href = '#';  // until it is about to be followed
    link.download = name;
    const follow = () => { link.href = url(); };
    for (const type of ['pointerenter', 'focus', 'click']) link.addEventListener(type, follow, { once: true });
    return link;
  }

  // A player costs nothing until it is asked for.
  function playButton(name, url) {
    const button = element('button', 'play', 'Play ' + name);
    button.type = 'button';
    button.addEventListener('click', () => {
      const audio = element('audio');
      audio.controls = true;
      audio.src = url();
      audio.setAttribute('aria-label', 'Play ' + name);
      button.replaceWith(audio);
      audio.play().catch(() => {});  // a browser may refuse to start it; its controls remain
    }, { once: true });
    return button;
  }

  const FAILURES = {
    memory: () => 'This file is too large for the memory of this browser. Convert it with the kelvor command line.',
    unreadable: () => 'This file could not be read: it was moved, changed or deleted since it was chosen, ' +
      'or it is too large for the memory of this browser.',
    write: (reply) => 'The WAV could not be written to the output folder: ' + reply.detail,
    internal: (reply) => 'The conversion stopped unexpectedly: ' + reply.detail,
  };

  // A new row: its status until the file is done, and the file's path.
  function newRow(path) {
    const row = element('li', 'result');
    const line = element('p', 'line');
    line.append(element('span', 'status', 'converting'), ' ', element('span', 'name', path));
    row.append(line);
    return row;
  }

  function fail(row, text) {
    row.classList.add('failed');
    row.querySelector('.status').textContent = text;
  }

  // The command line's messages and result code, one click away; open by
  // themselves on a failed row.
  function messages(row, printed, status) {
    const box = element('details', 'messages-box');
    box.append(element('summary', null, 'Messages'), element('pre', 'messages', printed),
      element('p', 'code', 'Result code: ' + status));
    box.open = status !== 0;
    row.append(box);
  }

  // Fills the row; true when the file was converted and its WAV delivered.
  function showResult(row, reply, subfolders) {
    row.dataset.code = reply.failure ? reply.failure : String(reply.status);
    if (reply.failure) {
      fail(row, FAILURES[reply.failure](reply));
      return false;
    }
    const printed = new TextDecoder().decode(reply.printed);
    const line = row.querySelector('.line');
    const facts = KelvorRows.describe(reply.track, printed);
    if (facts) line.append(' ', element('span', 'facts', facts.text));
    if (reply.status !== 0 || !reply.wav) {
      const error = /^error-.*$/m.exec(printed);
      if (reply.status !== 0) fail(row, error ? error[0] : 'result code ' + reply.status);
      else row.querySelector('.status').textContent = 'no track';
      messages(row, printed, reply.status);
      return false;
    }
    const { name, size, seconds, peaks } = reply.wav;
    row.querySelector('.status').textContent = 'converted';
    line.append(' ', element('span', 'output', `${name}: ${KelvorRows.count(size)} bytes, ${seconds.toFixed(3)} s`));
    if (facts && peaks) row.append(KelvorRows.waveform(peaks, facts));
    else if (facts) row.append(element('p', 'wave-text', facts.summary));
    const actions = element('p', 'actions');
    row.append(actions);
    messages(row, printed, reply.status);
    if (reply.writeFailure) {
      fail(row, FAILURES.write({ detail: reply.writeFailure }));
      return false;
    }
    if (reply.wav.written) {
      const folder = outputFolder;
      const where = reply.wav.written;
      if (facts) actions.append(KelvorRows.loopButton(facts, () => fileIn(folder, where), name), ' ');
      actions.append(element('span', 'written', `Written to ${folder.name}/${where}`));
      return true;
    }
    const blob = reply.wav.blob;
    const url = addressOf(blob);
    batch.wavs.push({ name: uniqueName([...subfolders, name].join('/')), blob });
    actions.append(playButton(name, url), ' ');
    if (facts) actions.append(KelvorRows.loopButton(facts, async () => blob, name), ' ');
    actions.append(downloadLink(name, url));
    return true;
  }

  // A file of the output folder by its relative path.
  async function fileIn(folder, path) {
    const parts = path.split('/');
    let at = folder;
    for (const part of parts.slice(0, -1)) at = await at.getDirectoryHandle(part);
    return (await at.getFileHandle(parts.at(-1))).getFile();
  }

  const MB = 1e6;
  function progressText(done, files, doneBytes, totalBytes, startedAt) {
    let text = `Converting ${done + 1} of ${files.length}: ${files[done].path}` +
      ` (${(doneBytes / MB).toFixed(1)} of ${(totalBytes / MB).toFixed(1)} MB done`;
    const elapsed = (performance.now() - startedAt) / 1000;
    if (doneBytes > 0 && elapsed > 1) {
      text += `, about ${Math.ceil(elapsed / doneBytes * (totalBytes - doneBytes))} s left`;
    }
    return text + ')';
  }

  let stopRequested = false;
  stopButton.addEventListener('click', () => {
    stopRequested = true;
    stopButton.disabled = true;
    for (const worker of workers) worker.postMessage({ stop: true });  // files not yet started are let go
    progress.textContent = 'Stopping after the file in progress ...';
  });

  // Files handed to the worker ahead of the one converting, so that it reads
  // them meanwhile: at least one, more while they are small.
  const AHEAD_FILES = 8;
  const AHEAD_BYTES = 16 * 1024 * 1024;

  async function convertAll(found) {
    const { files, skipped } = found;
    if (files.length === 0 && skipped === 0) return;
    clearBatch();
    const skippedText = skipped ? ` ${KelvorRows.count(skipped)} other file${skipped === 1 ? '' : 's'} skipped.` : '';
    const totalBytes = files.reduce((sum, f) => sum + f.file.size, 0);
    const startedAt = performance.now();
    stopRequested = false;
    stopButton.disabled = false;
    stopButton.hidden = false;
    let doneBytes = 0;
    let done = 0;
    let delivered = 0;
    const job = (i) => {
      const subfolders = files[i].path.split('/').slice(0, -1);
      return { file: files[i].file, args: commandLine(files[i].file.name),
               output: outputFolder ? { folder: outputFolder, subfolders } : null };
    };
    const handed = [];  // in the files' order: { index, id, size, reply }
    let nextIndex = 0;
    let aheadBytes = 0;
    const handOverAhead = () => {
      while (!stopRequested && nextIndex < files.length &&
             (handed.length < 2 || (handed.length <= AHEAD_FILES && aheadBytes < AHEAD_BYTES))) {
        const next = { index: nextIndex, ...handOver(job(nextIndex)) };
        nextIndex++;
        if (handed.length > 0) aheadBytes += next.size;
        handed.push(next);
      }
    };
    handOverAhead();
    while (handed.length > 0) {
      const current = handed.shift();
      if (handed.length > 0) aheadBytes -= handed[0].size;
      const { file, path } = files[current.index];
      progress.textContent = progressText(done, files, doneBytes, totalBytes, startedAt);
      const row = newRow(path);
      results.append(row);
      const reply = await current.reply;
      if (reply.discarded) {  // a Stop came before it started
        row.remove();
        continue;
      }
      done++;
      doneBytes += file.size;
      handOverAhead();
      if (showResult(row, reply, path.split('/').slice(0, -1))) delivered++;
    }
    stopButton.hidden = true;
    const failed = done - delivered;
    progress.textContent = (done < files.length ? `Stopped after ${done} of ${files.length} files` : `Done: ${done} of ${files.length} files`) +
      `, ${delivered} converted, ${failed} failed.` + skippedText;
    downloadAll.hidden = batch.wavs.length < 2;
  }

  // Files chosen while a batch runs make the next batch.
  let batches = Promise.resolve();
  function enqueue(found) {
    batches = batches.then(async () => convertAll(await found));
  }

  downloadAll.addEventListener('click', async () => {
    downloadAll.disabled = true;
    progress.textContent = 'Making the .zip ...';
    try {
      const outcome = await KelvorZip.save(batch.wavs, 'kelvor-wav.zip');
      progress.textContent = outcome === 'cancelled' ? 'No .zip was made.'
        : `The .zip holds ${batch.wavs.length} WAV files.`;
    } catch (error) {
      progress.textContent = 'The .zip could not be made: ' + error;
    } finally {
      downloadAll.disabled = false;
    }
  });

  filePicker.addEventListener('change', () => {
    enqueue(KelvorGather.fromFilePicker(filePicker.files));
    filePicker.value = '';  // choosing the same files again converts them again
  });
  folderPicker.addEventListener('change', () => {
    enqueue(KelvorGather.fromFolderPicker(folderPicker.files));
    folderPicker.value = '';
  });
  for (const type of ['dragenter', 'dragover']) {
    dropZone.addEventListener(type, (event) => {
      event.preventDefault();
      dropZone.classList.add('over');
    });
  }
  dropZone.addEventListener('dragleave', () => dropZone.classList.remove('over'));
  dropZone.addEventListener('drop', (event) => {
    event.preventDefault();
    dropZone.classList.remove('over');
    enqueue(KelvorGather.fromDrop(event.dataTransfer));
  });
})();
