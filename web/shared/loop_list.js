// The loop list of a batch: one line per converted file, with its WAVs and
// where its loop lies, for the engines and editors that the WAVs go into.
// loops.csv for spreadsheets, loops.json for scripts. Every number is the
// run's (app/track_facts.h): the reader's record and the track in
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
// is given so that it shows as the name and computes nothing; the JSON gives
// names as they are.
import { write } from './folder_output.js';
import { kindOf, loopEndOf } from './kinds.js';
import { numbered } from './text.js';

const COLUMNS = ['path', 'output', 'loop_end_for', 'wav', 'wav_role', 'wav_frames', 'wav_2', 'wav_2_role', 'wav_2_frames',
  'rate', 'channels', 'bits', 'kept_bits', 'block_align', 'sound_frames', 'dropped_bytes', 'loop_count',
  'loop_start_byte', 'loop_start_frame', 'loop_end_frame_exclusive', 'smpl_loop_end_frame',
  'loop_start_seconds', 'loop_end_seconds', 'loop_length_frames', 'godot_loop_offset', 'loop_from', 'loop_list_line',
  'fade_seconds', 'fade_delay_seconds', 'target_seconds', 'play_to_end'];
const JSON_FORMAT = 'kelvor loop list 5';
const ABOUT = 'loop.end_frame_exclusive is the frame after the loop\'s last; loop.smpl_end_frame is the end frame ' +
  'the WAV\'s smpl chunk holds: its last frame for loop_end_for "riff", the frame after it for "godot"; ' +
  'loop.godot_loop_offset is the value of Godot 4\'s loop_offset import setting (seconds) that lands on the loop start';
const BOM = '\ufeff';

const seconds = (frame, rate) => (rate > 0 ? Number((frame / rate).toFixed(6)) : null);
// Godot 4 seeks to its loop_offset times the rate, truncated to a sample:
// the middle of the loop's first frame lands on it whatever the rounding.
const godotOffset = (frame, rate) => seconds(frame + 0.5, rate);

// The frames of a WAV of `role`.
function framesOf(role, facts) {
  if (role === 'intro') return facts.loop_start_frame;
  if (role === 'loop') return facts.loop_end_frame - facts.loop_start_frame;
  if (role === 'unrolled' && facts.shaped) return facts.output_frames;
  if (role === 'unrolled' && facts.block_align > 0) return Math.floor(facts.data_length / facts.block_align);
  return facts.frames;
}

// One file's line: `entry` is { path, outputs, roles (the run's, of each
// output), output, format, loopEnd, facts }. Only a WAV has a smpl chunk.
function line({ path, outputs, roles, output, format, loopEnd, facts }) {
  const kind = kindOf(output);
  const smpl = kind.smpl && (format || 'wav') === 'wav';
  // A chosen loop's start is a frame: its byte is that frame's first.
  const startByte = facts.loop_chosen ? facts.loop_start_frame * facts.block_align : facts.loop_start;
  const loop = facts.has_loop ? { start_byte: startByte, start_frame: facts.loop_start_frame,
    end_frame_exclusive: facts.loop_end_frame, smpl_end_frame: smpl ? facts.smpl_loop_end : null,
    start_seconds: seconds(facts.loop_start_frame, facts.sample_rate),
    end_seconds: seconds(facts.loop_end_frame, facts.sample_rate),
    length_frames: facts.loop_end_frame - facts.loop_start_frame,
    godot_loop_offset: godotOffset(facts.loop_start_frame, facts.sample_rate) } : null;
  return { path, output: kind.name, loop_end_for: smpl ? loopEndOf(loopEnd).id : null,
    wavs: outputs.map((name, i) => ({ name, role: roles[i], frames: framesOf(roles[i], facts) })),
    rate: facts.sample_rate, channels: facts.channels, bits: facts.sample_bits, kept_bits: kind.keeps ? facts.kept_bits : facts.sample_bits,
    block_align: facts.block_align, sound_frames: facts.frames, dropped_bytes: kind.keeps ? facts.dropped_bytes : 0,
    // A target length is instead of a loop count.
    loop_count: kind.unrolls && facts.target_micros >= 0 ? null : facts.loop_count, ...requestOf(kind, facts), loop };
}

// Where the loop came from, and the lengths the unrolled sound was asked
// for: seconds are whole microseconds, printed as the converter prints them.
function requestOf(kind, facts) {
  const unrolls = kind.unrolls;
  const micros = (us) => us / 1e6;
  return { loop_from: facts.has_loop ? (facts.loop_chosen ? 'list' : 'file') : null,
    loop_list_line: facts.loop_chosen ? facts.loop_list_line : null,
    fade_seconds: unrolls ? micros(facts.fade_micros) : null,
    fade_delay_seconds: unrolls ? micros(facts.delay_micros) : null,
    target_seconds: unrolls && facts.target_micros >= 0 ? micros(facts.target_micros) : null,
    play_to_end: unrolls ? facts.to_end : null };
}

// A cell as RFC 4180 has it, quoted when it holds a comma, a quote or a
// line break. Text a spreadsheet would read as a formula (beginning with =,
// +, -, @, a tab or a carriage return) is written as the formula ="TEXT",
// which computes nothing and shows TEXT exactly, so the cell reads as the
// file's own name; a script undoes it by taking a cell that begins with ="
// as the text between the quotes, "" read as ". Only the names (path, wav,
// wav_2) can be such text: every other column is numbers or kelvor's words.
const FORMULA = /^[=+\-@\t\r]/;
const cell = (value) => {
  if (value === null || value === undefined) return '';
  let text = String(value);
  if (typeof value === 'string' && FORMULA.test(text)) text = `="${text.replace(/"/g, '""')}"`;
  return /[",\r\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text;
};

function csvText(lines) {
  const rows = lines.map((l) => {
    const [first, second] = [l.wavs[0] || {}, l.wavs[1] || {}];
    const loop = l.loop || {};
    return [l.path, l.output, l.loop_end_for, first.name, first.role, first.frames, second.name, second.role, second.frames,
      l.rate, l.channels, l.bits, l.kept_bits, l.block_align, l.sound_frames, l.dropped_bytes, l.loop_count,
      loop.start_byte, loop.start_frame, loop.end_frame_exclusive, loop.smpl_end_frame, loop.start_seconds, loop.end_seconds,
      loop.length_frames, loop.godot_loop_offset, l.loop_from, l.loop_list_line, l.fade_seconds, l.fade_delay_seconds,
      l.target_seconds, l.play_to_end];
  });
  return BOM + [COLUMNS, ...rows].map((row) => row.map(cell).join(',')).join('\r\n') + '\r\n';
}

const jsonText = (lines) => JSON.stringify({ format: JSON_FORMAT, about: ABOUT, files: lines }, null, 2) + '\n';

export const csv = (entries) => csvText(entries.map(line));
export const json = (entries) => jsonText(entries.map(line));

const FILES = { 'loops.csv': ['text/csv', csvText], 'loops.json': ['application/json', jsonText] };

// The list `name` (loops.csv or loops.json) of `entries` as a Blob.
export function blob(name, entries) {
  return new Blob([FILES[name][1](entries.map(line))], { type: FILES[name][0] });
}

// The lines of a loops.json exactly as this release writes it, or null: a
// list edited since, or of an earlier release, or no list.
function unedited(text) {
  let lines;
  try {
    const parsed = JSON.parse(text);
    lines = parsed && parsed.format === JSON_FORMAT && Array.isArray(parsed.files) ? parsed.files : null;
  } catch {
    return null;
  }
  return lines && jsonText(lines) === text ? lines : null;
}

// Writes both lists into `folder` (a FileSystemDirectoryHandle): the lines
// of `entries`, the WAVs written there now, and those of the list written
// there before whose WAVs are all still there (read back), a file converted
// again listed once. A list is written only in place of one this page wrote
// and nobody changed since (as `memory`, the caller's record for this
// folder, has it, or as the list's own lines give it again byte for byte),
// or under a name no file has: otherwise beside it, as "loops (2).csv".
// Returns { problems, notes }, one sentence each.
export async function writeInto(folder, entries, memory = new Map()) {
  const fresh = entries.map(line);
  const before = await listedBefore(folder, memory);
  const now = new Set(fresh.flatMap((l) => l.wavs.map((wav) => wav.name)));
  const kept = [];
  for (const l of before.lines) {
    if (l.wavs.some((wav) => now.has(wav.name))) continue;
    if ((await Promise.all(l.wavs.map((wav) => exists(folder, wav.name)))).every(Boolean)) kept.push(l);
  }
  const lines = [...kept, ...fresh];
  const problems = [];
  const notes = [];
  for (const [name, [type, text]] of Object.entries(FILES)) {
    try {
      const made = text(lines);
      const target = await placeFor(folder, name, memory, name === 'loops.csv' ? csvText(before.lines) : before.text);
      await write(folder, target, new Blob([made], { type }));
      memory.set(name, { name: target, text: made });
      if (target !== name) {
        notes.push(`The loop list went to "${folder.name}/${target}": "${folder.name}/${name}" is not as kelvor wrote it, ` +
          'and was left as it was.');
      }
    } catch (error) {
      problems.push(`"${folder.name}/${name}" could not be written: ${error && error.message ? error.message : error}`);
    }
  }
  return { problems, notes };
}

// The lines of the loops.json written in `folder` before, if nobody changed
// it since: { lines, text }.
async function listedBefore(folder, memory) {
  for (const name of [memory.get('loops.json')?.name, 'loops.json']) {
    if (!name) continue;
    const text = await textOf(folder, name);
    if (text === null) continue;
    const lines = text === memory.get('loops.json')?.text ? JSON.parse(text).files : unedited(text);
    if (lines) return { lines, text };
  }
  return { lines: [], text: null };
}

// Where the list `name` goes: in place of the one this page last wrote there,
// if unchanged; under its own name when no file has it or it is the list
// written before, unchanged (`before`, its text); else the first free
// numbered name.
async function placeFor(folder, name, memory, before) {
  const last = memory.get(name);
  if (last && await textOf(folder, last.name) === last.text) return last.name;
  const there = await textOf(folder, name);
  if (there === null || (before !== null && there === before)) return name;
  for (let n = 2; ; n++) {
    const numberedName = numbered(name, n);
    if (await textOf(folder, numberedName) === null && !(await exists(folder, numberedName))) return numberedName;
  }
}

// The text of `name` in `folder`, a byte order mark kept; null when there is
// no such file.
const UTF8 = new TextDecoder('utf-8', { ignoreBOM: true });
async function textOf(folder, name) {
  try {
    return UTF8.decode(await (await (await folder.getFileHandle(name)).getFile()).arrayBuffer());
  } catch (error) {
    if (error.name === 'NotFoundError' || error.name === 'TypeMismatchError') return null;
    throw error;
  }
}

// Whether the file at the relative path `path` is in `root`.
async function exists(root, path) {
  const parts = path.split('/');
  try {
    let folder = root;
    for (const name of parts.slice(0, -1)) folder = await folder.getDirectoryHandle(name);
    await folder.getFileHandle(parts.at(-1));
    return true;
  } catch {
    return false;
  }
}

export const NAMES = Object.keys(FILES);
