// The progress of the current or last run: a <progress> and a share in
// the line, both by the bytes of its files, a file being written counted
// by the share of its WAVs written; a line of text
// brought up to date at most four times a second (a run of small files ends
// hundreds a second), and a separate live region for screen readers, which
// hears one sentence when a run starts, stops or ends, and how far it is at
// most every ten seconds in between. What the page says of its own (a zip
// made, files refused) has a line of its own: the progress line always
// reports the run.
import { count, percent } from '../shared/text.js';

const SHOW_EVERY_MS = 250;
const TELL_EVERY_MS = 10000;

// `bar`: the <progress>; `line`: the visible text; `notice`: the page's own
// messages; `announcer`: the live region.
export function createProgressLine({ bar, line, notice, announcer }) {
  let shownAt = 0;
  let timer = 0;
  let phase = 'idle';
  let toldAt = 0;

  function tell(text) {
    announcer.textContent = text;
    toldAt = performance.now();
  }

  // `p` is the batch's progress(); `get` gives it again when the line is
  // brought up to date later.
  function update(p, get) {
    const turned = p.phase !== phase;
    const wait = SHOW_EVERY_MS - (performance.now() - shownAt);
    if (!turned && wait > 0) {
      if (!timer) timer = setTimeout(() => { timer = 0; update(get(), get); }, wait);
      return;
    }
    shownAt = performance.now();
    if (turned) {
      phase = p.phase;
      const news = phaseNews(p);
      if (news) tell(news);
    } else if (p.phase === 'converting' && performance.now() - toldAt > TELL_EVERY_MS) {
      tell(`${count(p.done)} of ${count(p.total)} files done.`);
    }
    bar.hidden = p.phase === 'idle';
    bar.max = Math.max(1, p.bytesTotal || p.total);
    bar.value = p.bytesTotal ? p.bytesDone : p.done;
    line.textContent = progressText(p, performance.now());
  }

  // A message of the page's own (the zip, a refused loop count), shown on
  // its line until the next one, and told once.
  function say(text) {
    notice.textContent = text;
    notice.hidden = !text;
    if (text) tell(text);
  }

  return { update, say };
}

// What is told when a run changes phase.
function phaseNews(p) {
  if (p.phase === 'converting') return `Converting ${count(p.total)} file${p.total === 1 ? '' : 's'}.`;
  if (p.phase === 'stopping') return 'Stopping.';
  if (p.phase === 'ended') return progressText(p, 0);
  return null;
}

export function progressText(p, now) {
  const skipped = p.skipped ? ` ${count(p.skipped)} other file${p.skipped === 1 ? '' : 's'} skipped.` : '';
  if (p.phase === 'idle') return '';
  if (p.phase === 'stopping') return 'Stopping: the files in progress end within a second ...';
  if (p.phase === 'finishing') return 'Writing the loop list ...';
  if (p.phase === 'converting') {
    let text = (p.converting.length > 0 ? `Converting ${p.converting.join(', ')}` : 'Starting') +
      `: ${count(p.done)} of ${count(p.total)} file${p.total === 1 ? '' : 's'} done`;
    if (p.bytesTotal) {
      text += `, ${percent(p.bytesDone, p.bytesTotal)}`;
      const elapsed = (now - p.startedAt) / 1000;
      if (p.bytesDone > 0 && elapsed > 1) text += `, about ${Math.ceil(elapsed / p.bytesDone * (p.bytesTotal - p.bytesDone))} s left`;
    }
    return text;
  }
  const finished = p.done - p.counts.stopped;
  const converted = p.counts.converted + p.counts.warned;
  const warned = p.counts.warned ? ` (${p.counts.warned} with a warning)` : '';
  const empty = p.counts.empty ? `, ${p.counts.empty} without a track` : '';
  return (p.stopped ? `Stopped after ${finished} of ${p.total} files` : `Done: ${finished} of ${p.total} files`) +
    `, ${converted} converted${warned}, ${p.counts.failed} failed${empty}.` + skipped +
    p.listProblems.map((problem) => ' ' + problem).join('');
}
