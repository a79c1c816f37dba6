// The loop list of a batch: one line per converted file, with its WAVs and
// where its loop lies, in frames and in seconds, for the engines and editors
// that the WAVs go into. loops.csv for spreadsheets, loops.json for scripts.
// Every number is the run's (web/core/track_facts.h): the reader's record and the
// track in frames; seconds are frames over the sample rate. `frames` are
// those of the WAV listed (an unrolled one holds the loop `loop_count`
// times); the loop is the first pass of the loop section, its end the frame
// after the section's last. The CSV starts with a byte order mark, without
// which spreadsheet programs read UTF-8 names as another encoding.
import { write } from './folder_output.js';
import { kindOf } from './kinds.js';

const COLUMNS = ['path', 'output', 'wav', 'wav_2', 'rate', 'channels', 'bits', 'block_align', 'frames', 'loop_count',
  'loop_start_frame', 'loop_end_frame', 'loop_start_seconds', 'loop_end_seconds'];
const JSON_FORMAT = 'kelvor loop list 2';
const BOM = '\ufeff';
// The first lines of the lists earlier releases wrote, which the next list replaces.
const OUR_HEADS = [COLUMNS.join(','), 'path,output,wav,wav_2,rate,channels,bits,block_align,frames,' +
  'loop_start_frame,loop_end_frame,loop_start_seconds,loop_end_seconds'];
const OUR_FORMATS = [JSON_FORMAT, 'kelvor loop list 1'];

const seconds = (frame, rate) => (rate > 0 ? Number((frame / rate).toFixed(6)) : null);

// One file's line: `entry` is { path, outputs, output, facts }.
function line({ path, outputs, output, facts }) {
  const loop = facts.has_loop ? { start_frame: facts.loop_start_frame, end_frame: facts.loop_end_frame,
    start_seconds: seconds(facts.loop_start_frame, facts.sample_rate),
    end_seconds: seconds(facts.loop_end_frame, facts.sample_rate) } : null;
  const unrolled = kindOf(output).unrolls && facts.block_align > 0;
  return { path, output: kindOf(output).name, wavs: outputs, rate: facts.sample_rate, channels: facts.channels,
    bits: facts.sample_bits, block_align: facts.block_align,
    frames: unrolled ? Math.floor(facts.data_length / facts.block_align) : facts.frames, loop_count: facts.loop_count, loop };
}

export function json(entries) {
  return JSON.stringify({ format: JSON_FORMAT, files: entries.map(line) }, null, 2) + '\n';
}

// A cell as RFC 4180 has it: quoted when it holds a comma, a quote or a line break.
const cell = (value) => {
  const text = value === null || value === undefined ? '' : String(value);
  return /[",\r\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text;
};

export function csv(entries) {
  const rows = entries.map(line).map((l) => [l.path, l.output, l.wavs[0], l.wavs[1], l.rate, l.channels, l.bits,
    l.block_align, l.frames, l.loop_count, l.loop && l.loop.start_frame, l.loop && l.loop.end_frame,
    l.loop && l.loop.start_seconds, l.loop && l.loop.end_seconds]);
  return BOM + [COLUMNS, ...rows].map((row) => row.map(cell).join(',')).join('\r\n') + '\r\n';
}

// True when `text` (a file's first bytes) is a loop list of ours, which
// the next one may replace.
export function isLoopList(text) {
  const first = text.replace(/^\ufeff/, '');
  return OUR_HEADS.some((head) => first.startsWith(head + '\r\n')) ||
    OUR_FORMATS.some((format) => text.includes(`"format": "${format}"`));
}

const FILES = { 'loops.csv': ['text/csv', csv], 'loops.json': ['application/json', json] };

// The list `name` (loops.csv or loops.json) of `entries` as a Blob.
export function blob(name, entries) {
  return new Blob([FILES[name][1](entries)], { type: FILES[name][0] });
}

// Writes both lists of `entries` into `folder` (a FileSystemDirectoryHandle)
// in place of the last ones. A file of either name there that is no loop
// list of ours is left as it is. Returns what went wrong, one sentence
// each.
export async function writeInto(folder, entries) {
  const problems = [];
  for (const name of Object.keys(FILES)) {
    try {
      const there = await firstText(folder, name);
      if (there !== null && !isLoopList(there)) {
        problems.push(`"${folder.name}/${name}" is not a loop list of kelvor's: it was left as it was.`);
        continue;
      }
      await write(folder, name, blob(name, entries));
    } catch (error) {
      problems.push(`"${folder.name}/${name}" could not be written: ${error && error.message ? error.message : error}`);
    }
  }
  return problems;
}

// The first bytes of `name` in `folder` as text; null when there is no such file.
async function firstText(folder, name) {
  try {
    return await (await (await folder.getFileHandle(name)).getFile()).slice(0, 512).text();
  } catch (error) {
    if (error.name === 'NotFoundError') return null;
    throw error;
  }
}

export const NAMES = Object.keys(FILES);
