// The output folder: the one the user chose, if any, and what a run may
// write into it. A run never replaces a file it did not write itself unless
// the user agreed: the first time a WAV's name is taken by such a file, the
// user is asked once for the whole run, keeping both (the new WAV numbered
// like the zip's "a (2).wav") unless they choose to replace. A name a run
// has given already (the same file added twice) is numbered without asking.
// The names are given one file at a time, so that two workers never take
// the same one, and what a failed or lost file made is removed here too.
import { folderFor, removeMade, taken } from '../shared/folder_output.js';
import { numbered } from '../shared/text.js';

// `ask(name, folderName)`: a promise of 'keep', 'replace', or null when the
// question was withdrawn (a Stop).
export function createOutputFolder({ ask }) {
  let chosen = null;  // a FileSystemDirectoryHandle
  let given = new Map();  // for each root: the paths this run gave
  let choice = null;  // 'keep' or 'replace', once asked in this run
  let withdrawn = false;
  let turn = Promise.resolve();

  // A run starts: nothing given, nothing asked.
  function startRun() {
    given = new Map();
    choice = null;
    withdrawn = false;
  }

  // For the WAV names `names` of one file, under `subfolders` of `root`:
  // [{ name, existed }] to write them as, or null after a Stop.
  function claim(root, subfolders, names) {
    const answer = turn.then(() => (withdrawn ? null : decide(root, subfolders, names)));
    turn = answer.catch(() => {});
    return answer;
  }

  async function decide(root, subfolders, names) {
    const folder = await folderFor(root, subfolders);
    if (!given.has(root)) given.set(root, new Set());
    const paths = given.get(root);
    const pathOf = (name) => [...subfolders, name].join('/');
    const free = async (list) => !list.some((name) => paths.has(pathOf(name))) &&
      !(await Promise.all(list.map((name) => taken(folder, name)))).some(Boolean);
    let final = names;
    const there = await Promise.all(names.map((name) => taken(folder, name)));
    const again = names.some((name) => paths.has(pathOf(name)));
    if (again || there.some(Boolean)) {
      if (!again && !choice) choice = await ask(names[there.indexOf(true)], folderName(root, subfolders));
      if (withdrawn || (!again && !choice)) return null;
      if (again || choice === 'keep') {
        for (let n = 2; ; n++) {
          final = names.map((name) => numbered(name, n));
          if (await free(final)) break;
        }
      }
    }
    for (const name of final) paths.add(pathOf(name));
    return final.map((name, i) => ({ name, existed: final === names && there[i] }));
  }

  // A Stop: the question, if asked, is withdrawn, and no name is given after.
  function cancel() {
    withdrawn = true;
  }

  // Removes what a file that did not end well made: the names it was given
  // that were not taken before.
  async function removeFailed(root, subfolders, named) {
    try {
      await removeMade(await folderFor(root, subfolders), named);
    } catch { /* the folder is gone, and what was in it */ }
  }

  return {
    chosen: () => chosen,
    choose(handle) { chosen = handle; },
    forget() { chosen = null; },
    startRun, claim, cancel, removeFailed,
  };
}

const folderName = (root, subfolders) => [root.name, ...subfolders].join('/');
