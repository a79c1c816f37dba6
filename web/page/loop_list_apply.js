// "Apply a loop list": a loops.csv or loops.json (as this page and the batch
// command write them, perhaps edited in a spreadsheet) whose loops the files
// added next are converted with, each found by its path. The converter reads
// the list and finds each file's line (a line it must refuse fails that
// file's row, and nothing is written for it); this module owns the choice,
// and tells, as files are converted with the list, which of its lines named
// no file converted with it.
const LIMIT = 64 * 1024 * 1024;

// `input` the file input, `clear` its button, `status` the line that tells
// of the list. Returns { chosen() (null, or { name, text } for the
// settings), replied(path, list, loopList) (a file converted with `list`:
// its path and the list as the converter read it) }.
export function createLoopListChoice({ input, clear, status }) {
  let chosen = null;
  let matched = new Set();
  let lines = null;  // as the converter read them, once a file was converted with the list

  function show() {
    clear.hidden = !chosen;
    if (!chosen) {
      status.textContent = 'No loop list: each file keeps its own loop.';
      return;
    }
    let text = `The files you add next take their loops from "${chosen.name}".`;
    if (lines && lines.problem) text += ` It could not be used: ${lines.problem}.`;
    const unmatched = lines ? lines.lines.filter((line) => !matched.has(line.path)) : [];
    if (unmatched.length > 0) {
      text += ' ' + unmatched.map((line) => `Line ${line.line} refused: ` +
        (line.problem || `no file converted with it is at "${line.path}"`) + '.').join(' ');
    }
    status.textContent = text;
  }

  input.addEventListener('change', async () => {
    const file = input.files[0];
    input.value = '';
    if (!file) return;
    if (!/\.(csv|json)$/i.test(file.name)) {
      status.textContent = `"${file.name}" is not a loop list: choose a loops.csv or a loops.json.`;
      return;
    }
    if (file.size > LIMIT) {
      status.textContent = `"${file.name}" is too large for a loop list.`;
      return;
    }
    try {
      const text = await file.text();
      chosen = { name: file.name, text };
      matched = new Set();
      lines = null;
      show();
    } catch (error) {
      status.textContent = `"${file.name}" could not be read: ${error && error.message ? error.message : error}`;
    }
  });
  clear.addEventListener('click', () => {
    chosen = null;
    show();
    input.focus();
  });
  show();

  return {
    chosen: () => chosen,
    replied(path, list, loopList) {
      if (list !== chosen || !loopList) return;
      matched.add(path);
      lines = loopList;
      show();
    },
  };
}
