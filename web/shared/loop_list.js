// The loop list of a batch: one line per converted file, with its WAVs and
// where its loop lies, for the engines and editors that the WAVs go into.
// loops.csv for spreadsheets, loops.json for scripts. Every number is the
// run's (web/core/track_facts.h): the reader's record and the track in
// frames; seconds are frames over the sample rate.
//
// Each WAV has its role (whole: the sound once; intro; loop; unrolled: the
// sound with the loop repeated) and its frames. The loop is the first pass of
// the loop section, where the container puts it: its start as the container
// gives it (a byte of the data) and as kept (a frame: rounded down when the
// byte is inside one), its end exclusive (the frame after the loop's last),
// and the end frame the WAV's smpl chunk holds, if it has one: the last
// frame for RIFF's readers, the frame after it for Godot. The CSV begins with
// a byte order mark, without which spreadsheet programs read UTF-8 names as
// another encoding, and a name that a spreadsheet would take for a formula
// is given with a quote before it; the JSON gives names as they are.
import { write } from './folder_output.js';
import { kindOf, loopEndOf } from './kinds.js';

const COLUMNS = ['path', 'output', 'loop_end_for', 'wav', 'wav_role', 'wav_frames', 'wav_2', 'wav_2_role', 'wav_2_frames',
  'rate', 'channels', 'bits', 'kept_bits', 'block_align', 'sound_frames', 'dropped_bytes', 'loop_count',
  'loop_start_byte', 'loop_start_frame', 'loop_end_frame_exclusive', 'smpl_loop_end_frame',
  'loop_start_seconds', 'loop_end_seconds'];
const JSON_FORMAT = 'kelvor loop list 3';
const ABOUT = 'loop.end_frame_exclusive is the frame after the loop\'s last; loop.smpl_end_frame is the end frame ' +
  'the WAV\'s smpl chunk holds: its last frame for loop_end_for "riff", the frame after it for "godot"';
const BOM = '\ufeff';
// The first lines of the lists earlier releases wrote, which the next list replaces.
const OUR_HEADS = [COLUMNS.join(','),
  'path,output,wav,wav_2,rate,channels,bits,block_align,frames,loop_count,loop_start_frame,loop_end_frame,' +
  'loop_start_seconds,loop_end_seconds',
  'path,output,wav,wav_2,rate,channels,bits,block_align,frames,loop_start_frame,loop_end_frame,' +
  'loop_start_seconds,loop_end_seconds'];
const OUR_FORMATS = [JSON_FORMAT, 'kelvor loop list 2', 'kelvor loop list 1'];

const seconds = (frame, rate) => (rate > 0 ? Number((frame / rate).toFixed(6)) : null);

// The frames of a WAV of `role`.
function framesOf(role, facts) {
  if (role === 'intro') return facts.loop_start_frame;
  if (role === 'loop') return facts.frames - facts.loop_start_frame;
  if (role === 'unrolled' && facts.block_align > 0) return Math.floor(facts.data_length / facts.block_align);
  return facts.frames;
}

// One file's line: `entry` is { path, outputs, output, loopEnd, facts }.
function line({ path, outputs, output, loopEnd, facts }) {
  const kind = kindOf(output);
  const roles = kind.roles(facts, outputs);
  const loop = facts.has_loop ? { start_byte: facts.loop_start, start_frame: facts.loop_start_frame,
    end_frame_exclusive: facts.loop_end_frame, smpl_end_frame: kind.smpl ? facts.smpl_loop_end : null,
    start_seconds: seconds(facts.loop_start_frame, facts.sample_rate),
    end_seconds: seconds(facts.loop_end_frame, facts.sample_rate) } : null;
  return { path, output: kind.name, loop_end_for: kind.smpl ? loopEndOf(loopEnd).id : null,
    wavs: outputs.map((name, i) => ({ name, role: roles[i], frames: framesOf(roles[i], facts) })),
    rate: facts.sample_rate, channels: facts.channels, bits: facts.sample_bits, kept_bits: kind.keeps ? facts.kept_bits : facts.sample_bits,
    block_align: facts.block_align, sound_frames: facts.frames, dropped_bytes: kind.keeps ? facts.dropped_bytes : 0,
    loop_count: facts.loop_count, loop };
}

export function json(entries) {
  return JSON.stringify({ format: JSON_FORMAT, about: ABOUT, files: entries.map(line) }, null, 2) + '\n';
}

// A cell as RFC 4180 has it, quoted when it holds a comma, a quote or a
// line break; text a spreadsheet would read as a formula (beginning with =,
// +, -, @, a tab or a carriage return) gets a quote before it, as OWASP
// recommends.
const cell = (value) => {
  if (value === null || value === undefined) return '';
  let text = String(value);
  if (typeof value === 'string' && /^[=+\-@\t\r]/.test(text)) text = `'${text}`;
  return /[",\r\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text;
};

export function csv(entries) {
  const rows = entries.map(line).map((l) => {
    const [first, second] = [l.wavs[0] || {}, l.wavs[1] || {}];
    const loop = l.loop || {};
    return [l.path, l.output, l.loop_end_for, first.name, first.role, first.frames, second.name, second.role, second.frames,
      l.rate, l.channels, l.bits, l.kept_bits, l.block_align, l.sound_frames, l.dropped_bytes, l.loop_count,
      loop.start_byte, loop.start_frame, loop.end_frame_exclusive, loop.smpl_end_frame, loop.start_seconds, loop.end_seconds];
  });
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
