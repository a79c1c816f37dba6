// The page: takes the files and the options, hands each file to the worker
// with the command line that the options make, and shows one row per file.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const dropZone = $('drop-zone');
  const picker = $('files');
  const loopCount = $('loop-count');
  const shortFormat = $('short-format');
  const progress = $('progress');
  const results = $('results');
  const downloadAll = $('download-all');

  const worker = new Worker(URL.createObjectURL(
    new Blob([$('worker-source').textContent], { type: 'text/javascript' })));
  const pending = new Map();  // job id -> resolve
  let nextId = 1;
  worker.onmessage = (event) => {
    const resolve = pending.get(event.data.id);
    pending.delete(event.data.id);
    resolve(event.data);
  };

  function runInWorker(file, args) {
    const id = nextId++;
    return new Promise((resolve) => {
      pending.set(id, resolve);
      worker.postMessage({ id, file, args });
    });
  }

  // The command line of one file, as a user would type it. A name that starts
  // with "-" would be taken for an option, so it is given as "./name".
  function commandLine(name) {
    const args = [name.startsWith('-') ? './' + name : name, '-l' + loopCount.value];
    if (shortFormat.checked) args.push('-x');
    return args;
  }

  function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  const batch = { wavs: [], urls: [] };

  function clearBatch() {
    for (const url of batch.urls) URL.revokeObjectURL(url);
    batch.wavs = [];
    batch.urls = [];
    results.replaceChildren();
    downloadAll.hidden = true;
  }

  // The zip must not hold two entries of one name: a repeated one gets " (2)", ...
  function uniqueName(name) {
    const taken = new Set(batch.wavs.map((w) => w.name));
    if (!taken.has(name)) return name;
    const dot = name.lastIndexOf('.');
    const stem = dot > 0 ? name.slice(0, dot) : name;
    const extension = dot > 0 ? name.slice(dot) : '';
    for (let n = 2; ; n++) {
      const candidate = `${stem} (${n})${extension}`;
      if (!taken.has(candidate)) return candidate;
    }
  }

  function showResult(row, reply) {
    if (reply.failure) {
      row.classList.add('failed');
      row.append(element('p', 'code', reply.failure === 'memory'
        ? 'This file is too large for the memory of this browser. Convert it with the kelvor command line.'
        : 'The conversion stopped unexpectedly: ' + reply.detail));
      return;
    }
    row.append(element('pre', 'messages', new TextDecoder().decode(reply.printed)));
    row.append(element('p', 'code', 'Result code: ' + reply.status));
    if (reply.status !== 0) row.classList.add('failed');
    if (!reply.wav || reply.status !== 0) return;
    const { name, blob } = reply.wav;
    const url = URL.createObjectURL(blob);
    batch.urls.push(url);
    batch.wavs.push({ name: uniqueName(name), blob });
    row.append(element('p', 'summary',
      `${name}: ${blob.size.toLocaleString('en')} bytes, ${reply.wav.seconds.toFixed(3)} s`));
    const audio = element('audio');
    audio.controls = true;
    audio.preload = 'metadata';
    audio.src = url;
    audio.setAttribute('aria-label', 'Play ' + name);
    row.append(audio);
    const link = element('a', 'download', 'Download ' + name);
    link.href = url;
    link.download = name;
    row.append(link);
  }

  async function convertAll(files) {
    if (files.length === 0) return;
    clearBatch();
    for (let i = 0; i < files.length; i++) {
      progress.textContent = `Converting ${i + 1} of ${files.length}: ${files[i].name}`;
      const row = element('li', 'result');
      row.append(element('h3', null, files[i].name));
      results.append(row);
      showResult(row, await runInWorker(files[i], commandLine(files[i].name)));
    }
    progress.textContent = `Done: ${files.length} of ${files.length} converted.`;
    downloadAll.hidden = batch.wavs.length < 2;
  }

  // Files chosen while a batch runs make the next batch.
  let batches = Promise.resolve();
  function enqueue(files) {
    batches = batches.then(() => convertAll(files));
  }

  downloadAll.addEventListener('click', async () => {
    downloadAll.disabled = true;
    progress.textContent = 'Making the .zip ...';
    try {
      const zip = await KelvorZip.zipBlobs(batch.wavs);
      const url = URL.createObjectURL(zip);
      const link = element('a');
      link.href = url;
      link.download = 'kelvor-wav.zip';
      document.body.append(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(url), 60000);
      progress.textContent = `The .zip holds ${batch.wavs.length} WAV files.`;
    } catch (error) {
      progress.textContent = error instanceof RangeError
        ? 'These WAV files are too large for one .zip here; download them one by one.'
        : 'The .zip could not be made: ' + error;
    } finally {
      downloadAll.disabled = false;
    }
  });

  picker.addEventListener('change', () => {
    enqueue([...picker.files]);
    picker.value = '';  // choosing the same files again converts them again
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
    enqueue([...event.dataTransfer.files]);
  });
})();
