// The listening length fields: seconds as the converter takes them (the
// batch command's --fade, --fade-delay and --target: a decimal number, at
// most six digits after the point), checked as they are typed, so that a
// file is never queued with a length the converter would refuse.
const MOST = { fade: 3600, delay: 3600, target: 86400 };
const WHAT = { fade: 'The fade-out', delay: 'The fade delay', target: 'The target length' };

// { value } (the text as the converter is to be given it, '' for none) or
// { problem }, a sentence for the user. An empty field is none: no fade, no
// delay, the loop count instead of a target.
export function readSeconds(field, text) {
  const shown = text.trim();
  if (shown === '') return { value: '' };
  const most = MOST[field];
  const range = `seconds from 0 to ${most.toLocaleString('en')}`;
  if (!/^\d+(\.\d+)?$/.test(shown)) return { problem: `${WHAT[field]} must be ${range}, in plain digits.` };
  if (/\.\d{7,}$/.test(shown)) return { problem: `${WHAT[field]} can have at most six digits after the point.` };
  if (Number(shown) > most) return { problem: `${WHAT[field]} can be at most ${most.toLocaleString('en')} seconds.` };
  return { value: shown === '0' && field !== 'target' ? '' : shown };
}
