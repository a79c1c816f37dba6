// How numbers and names are written wherever the page shows them: grouped
// digits, seconds to the millisecond, sizes and durations as people read
// them, and a second file of one name told apart as "a (2).wav".
const grouping = new Intl.NumberFormat('en');  // toLocaleString makes one each call
const tenths = new Intl.NumberFormat('en', { minimumFractionDigits: 1, maximumFractionDigits: 1 });

export const count = (n) => grouping.format(n);
export const seconds = (s) => s.toFixed(3) + ' s';

// 312 bytes, 17.6 kB, 4.1 MB, 4,060.1 MB: decimal units, as file managers show them.
export function size(bytes) {
  if (bytes < 1000) return `${count(bytes)} byte${bytes === 1 ? '' : 's'}`;
  if (bytes < 1e6) return `${tenths.format(bytes / 1e3)} kB`;
  return `${tenths.format(bytes / 1e6)} MB`;
}

// Under a minute to the millisecond (a loop's length matters to the
// frame); longer ones as m:ss or h:mm:ss, as players show them.
export function duration(s) {
  if (s < 60) return seconds(s);
  const whole = Math.round(s);
  const hours = Math.floor(whole / 3600);
  const minutes = Math.floor((whole % 3600) / 60);
  const pad = (n) => String(n).padStart(2, '0');
  return hours > 0 ? `${hours}:${pad(minutes)}:${pad(whole % 60)}` : `${minutes}:${pad(whole % 60)}`;
}

// A share as a whole percentage, never 100 % before the end.
export const percent = (part, whole) => `${whole > 0 ? Math.min(99, Math.floor(100 * part / whole)) : 0} %`;

// "a.wav" numbered n: "a (n).wav"; the extension stays last.
export function numbered(name, n) {
  const dot = name.lastIndexOf('.');
  return dot > 0 ? `${name.slice(0, dot)} (${n})${name.slice(dot)}` : `${name} (${n})`;
}
