// A row's waveform: the WAV's peaks with the intro and the loop section told
// apart by pattern and lightness as well as hue (the intro striped, the loop
// solid), the loop start as a full line with a notch and each repetition as
// a dashed line (past a few dozen, their span as one band), and a legend
// that names them. Drawn at the device's pixel width when its row comes
// near the view, and drawn again when the width or the colour scheme changes.
import { loopMarkers } from '../shared/peaks.js';

const HEIGHT = 80;  // CSS pixels

// The colours from the style sheet, looked up once (each look-up makes the
// browser work out the whole page's style), and again after a change of
// colour scheme.
let colours = null;
function waveColours() {
  if (!colours) {
    const style = getComputedStyle(document.documentElement);
    const [intro, loop, marker] = ['--intro', '--loop', '--marker'].map((name) => style.getPropertyValue(name).trim());
    colours = { intro, loop, marker };
  }
  return colours;
}

const drawings = new Map();  // canvas -> its drawing, for every waveform drawn once
function redrawAll() {
  for (const [canvas, draw] of drawings) {
    if (canvas.isConnected) draw();
    else drawings.delete(canvas);
  }
}
matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => {
  colours = null;
  redrawAll();
});
const resized = typeof ResizeObserver === 'function' ? new ResizeObserver((entries) => {
  for (const { target } of entries) {
    const draw = drawings.get(target);
    if (draw && target.width !== pixelWidth(target)) draw();
  }
}) : null;

// A canvas costs its first drawing (about 2 ms, for the browser to set up
// its pixels): each is drawn when its row comes near the view.
const pending = new WeakMap();
const whenSeen = typeof IntersectionObserver === 'function' ? new IntersectionObserver((entries) => {
  for (const { target, isIntersecting } of entries) {
    if (!isIntersecting || !pending.has(target)) continue;
    whenSeen.unobserve(target);
    const draw = pending.get(target);
    pending.delete(target);
    drawings.set(target, draw);
    draw();
    if (resized) resized.observe(target);
  }
}, { rootMargin: '400px 0px' }) : null;

const pixelWidth = (canvas) => Math.max(1, Math.round((canvas.clientWidth || 600) * (devicePixelRatio || 1)));

function legendItem(className, text) {
  const item = document.createElement('span');
  item.className = 'legend-item ' + className;
  item.textContent = text;
  return item;
}

// `peaks` as the worker made them; `loop` null, or { dataFrames,
// loopFrame, loopCount, summary } in sample frames.
export function createWaveform(peaks, loop, summary) {
  const figure = document.createElement('figure');
  figure.className = 'waveform';
  const canvas = document.createElement('canvas');
  canvas.className = 'wave';
  canvas.height = HEIGHT;
  canvas.setAttribute('role', 'img');
  canvas.setAttribute('aria-label', summary);
  const markers = loop ? loopMarkers({ frames: peaks.frames, dataFrames: loop.dataFrames,
    loopFrame: loop.loopFrame, loopCount: loop.loopCount }, peaks.columns) : null;
  if (markers) {
    canvas.dataset.loopStart = String(markers.loopStart);
    canvas.dataset.repetitions = markers.marked ? markers.repetitions.join(',') : `${markers.count} from ${markers.span[0]}`;
  }
  const legend = document.createElement('figcaption');
  legend.className = 'legend';
  legend.append(legendItem(markers ? 'intro' : 'whole', markers ? 'intro' : 'the sound'));
  if (markers) {
    legend.append(' ', legendItem('loop', 'loop section'), ' ', legendItem('loop-start', 'loop start'));
    if (markers.count > 0) {
      legend.append(' ', legendItem('repeat', markers.marked ? 'repetition' : `${markers.count.toLocaleString('en')} repetitions`));
    }
  }
  figure.append(canvas, legend);
  const draw = () => {
    drawWave(canvas, peaks, markers);
    canvas.dataset.drawn = '';
  };
  if (whenSeen) {
    pending.set(canvas, draw);
    whenSeen.observe(canvas);
  } else {
    drawings.set(canvas, draw);
    draw();
  }
  return figure;
}

// The peaks of columns [from, to) merged into one: { low, high }, or null.
function merged(peaks, from, to) {
  let low = 1;
  let high = -1;
  for (let c = from; c < to; c++) {
    if (peaks.min[c] > peaks.max[c]) continue;  // a column without a sample
    if (peaks.min[c] < low) low = peaks.min[c];
    if (peaks.max[c] > high) high = peaks.max[c];
  }
  return low > high ? null : { low, high };
}

function drawWave(canvas, peaks, markers) {
  const { intro, loop, marker } = waveColours();
  const width = pixelWidth(canvas);
  const scale = devicePixelRatio || 1;
  canvas.width = width;
  canvas.height = Math.round(HEIGHT * scale);
  const middle = canvas.height / 2;
  const x = (column) => Math.floor(column * width / peaks.columns);
  const loopFrom = markers ? x(markers.loopColumn) : width;
  const stripe = Math.max(2, Math.round(2 * scale));
  const paths = [new Path2D(), new Path2D()];
  for (let px = 0; px < width; px++) {
    const inIntro = px < loopFrom;
    if (inIntro && markers && Math.floor(px / stripe) % 2 === 1) continue;  // the intro striped
    const from = Math.floor(px * peaks.columns / width);
    const column = merged(peaks, from, Math.max(from + 1, Math.floor((px + 1) * peaks.columns / width)));
    if (!column) continue;
    const top = middle - column.high * middle;
    paths[inIntro ? 0 : 1].rect(px, top, 1, Math.max(1, (column.high - column.low) * middle));
  }
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, width, canvas.height);
  g.fillStyle = markers ? intro : loop;
  g.fill(paths[0]);
  g.fillStyle = loop;
  g.fill(paths[1]);
  if (!markers) return;
  g.fillStyle = marker;
  const line = Math.max(2, Math.round(2 * scale));
  // The loop start: a full line, a notch at the top.
  const start = x(markers.loopColumn);
  g.fillRect(start, 0, line, canvas.height);
  g.beginPath();
  g.moveTo(start - 4 * scale, 0);
  g.lineTo(start + line + 4 * scale, 0);
  g.lineTo(start + line / 2, 6 * scale);
  g.fill();
  if (markers.count === 0) return;
  if (!markers.marked) {  // too many to mark: their span, a band along the foot
    const [first, last] = markers.span.map(x);
    g.fillRect(first, canvas.height - 3 * line, last - first + 1, 2 * line);
    return;
  }
  const dash = Math.round(4 * scale);
  for (const column of markers.columns.slice(1)) {
    for (let y = 0; y < canvas.height; y += 2 * dash) g.fillRect(x(column), y, Math.max(1, line / 2), dash);
  }
}

