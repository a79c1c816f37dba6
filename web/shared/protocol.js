// The messages between the page's worker pool (web/page/pool.js) and its
// workers (web/worker/main.js): every message is made by one of these
// functions, on the side that sends it, and told apart by its `type`.
//
// To a worker:
//   module     the compiled WebAssembly, sent first
//   job        a file to convert with `settings` ({ output, loopCount,
//              shortFormat, loopEnd, format, quality, fade, delay, target,
//              toEnd, loops }: web/shared/kinds.js's ids and lengthArgs), from
//              which the worker makes the run's command line, its `path`
//              as the page shows it (by which a loop list finds its line),
//              `output` null for WAVs handed back as Blobs, else { folder
//              (a FileSystemDirectoryHandle), subfolders } to write them into
//   names      the answer to a job's `names`: for each WAV { name, existed },
//              the name to write it under (as it is saved) and whether a file of that name is
//              there already; null when the job is to stop instead, or
//              { failure: { name, message } } when the folder refused
//   stop       lets go of every job not yet started, and stops the one in
//              progress, removing what it wrote
//
// From a worker: `alive` every second, whatever it does (a worker that falls
// silent is lost). For each job: `started` when its conversion starts; for a
// job with an output folder, `names` (the WAVs' names as the run made them)
// before anything is written, and, for any job, `progress` (bytes `written`
// of `total` in a `stage`: 'encoding' the sound of FLAC or Ogg files,
// 'writing' into the folder) a few times a second; then exactly one of
//   done       the run's messages (`printed`, bytes), result (`status`),
//              facts, `lengths` (sentences) and `loopList` (the loop list as
//              read, or null) (web/core/run_json.h); for a run that made WAVs, `wavs`
//              ({ name, role (as the converter's table names it), size,
//              playable, and `blob`, or `written`: its path in
//              the output folder }), `once` (the sound once under a plain
//              header, a Blob, for players), and `writeFailure` ({ name,
//              message }) when the folder refused a WAV, nothing of it left
//              there; `timing`, the milliseconds of each stage so far
//   discarded  a stop came before it started
//   stopped    a stop came while it was converting; nothing it wrote is left
//   failed     no run could be made: `failure` is 'start', 'memory',
//              'unreadable', 'write' or 'internal' (and, made by the pool,
//              'lost' for a worker that died or fell silent), `detail` the
//              browser's words
// and, after a `done` with WAVs, `peaks`: the waveform's peaks
// (web/shared/peaks.js), or null where none can be drawn, with the
// milliseconds they took. A file is done, and its WAVs usable, before its
// waveform is worked out.

export const toWorker = {
  module: (module) => ({ type: 'module', module }),
  job: (id, { file, path, settings, output }) => ({ type: 'job', id, file, path, settings, output }),
  names: (id, names) => ({ type: 'names', id, names }),
  stop: () => ({ type: 'stop' }),
};

export const fromWorker = {
  alive: () => ({ type: 'alive' }),
  started: (id) => ({ type: 'started', id }),
  names: (id, names) => ({ type: 'names', id, names }),
  progress: (id, written, total, stage) => ({ type: 'progress', id, written, total, stage }),
  done: (id, reply) => ({ type: 'done', id, ...reply }),
  discarded: (id) => ({ type: 'discarded', id }),
  stopped: (id) => ({ type: 'stopped', id }),
  peaks: (id, peaks, ms) => ({ type: 'peaks', id, peaks, ms }),
  failed: (id, failure, detail) => ({ type: 'failed', id, failure, detail }),
};
