// The output folder: the one the user chose, if any, and what a run may
// write into it. A run never replaces a file it did not write itself unless
// the user agreed to replace that very file: an answer covers exactly the
// names the question listed, and a name met later (a file added during the
// run included) is asked about again. The names of the files waiting when a
// question is due are asked about together, one question for the lot.
// "Keep both" numbers the new WAV like the zip's "a (2).wav". A name a run
// has given already (the same file added twice) is numbered without asking.
// The names are given one file at a time, so that two workers never take
// the same one, and what a failed or lost file made is removed here too.
import { folderFor, removeMade, taken } from '../shared/folder_output.js';
import { numbered } from '../shared/text.js';

// `ask(paths)`: a promise of 'keep', 'replace', or null when the question
// was withdrawn (a Stop); `paths` are the taken files, each as
// "folder/sub/name.wav".
export function createOutputFolder({ ask }) {
  let chosen = null;  // a FileSystemDirectoryHandle
  let given = new Map();  // for each root: the paths this run gave
  let answers = new Map();  // for each root: path -> 'keep' or 'replace', as the user answered for it
  let withdrawn = false;
  let waiting = [];  // claims not yet decided
  let deciding = false;

  // A run starts: nothing given, nothing answered.
  function startRun() {
    given = new Map();
    answers = new Map();
    withdrawn = false;
  }

  // This run's paths given, and the user's answers, under `root`.
  const givenIn = (root) => given.get(root) || given.set(root, new Set()).get(root);
  const answersIn = (root) => answers.get(root) || answers.set(root, new Map()).get(root);

  // For the WAV names `names` of one file (as they are saved), under
  // `subfolders` of `root`: [{ name, existed }] to write them as, or null
  // after a Stop. Rejects when the folder cannot be looked into.
  function claim(root, subfolders, names) {
    return new Promise((resolve, reject) => {
      waiting.push({ root, subfolders, names, resolve, reject });
      decideWaiting();
    });
  }

  // Takes the claims waiting, asks one question for the names among them
  // that are taken by files of the user's and that no answer covers yet,
  // then gives each claim its names in the order they came.
  async function decideWaiting() {
    if (deciding) return;
    deciding = true;
    while (waiting.length > 0) {
      await new Promise((done) => setTimeout(done, 0));  // the claims sent at once come together
      const claims = waiting.splice(0);
      for (const c of claims) {
        try {
          c.folder = await folderFor(c.root, c.subfolders);
          c.there = await Promise.all(c.names.map((name) => taken(c.folder, name)));
        } catch (error) {
          c.error = error;
        }
      }
      const unasked = new Map();  // path -> [root, shown]
      for (const c of claims.filter((claim) => !claim.error)) {
        c.names.forEach((name, i) => {
          const path = pathOf(c.subfolders, name);
          if (c.there[i] && !givenIn(c.root).has(path) && !answersIn(c.root).has(path)) {
            unasked.set(`${c.root.name}\n${path}`, [c.root, path]);
          }
        });
      }
      if (unasked.size > 0 && !withdrawn) {
        const choice = await ask([...unasked.values()].map(([root, path]) => `${root.name}/${path}`));
        if (choice) for (const [root, path] of unasked.values()) answersIn(root).set(path, choice);
      }
      for (const c of claims) {
        if (c.error) c.reject(c.error);
        else if (withdrawn) c.resolve(null);
        else await settle(c).then(c.resolve, c.reject);
      }
    }
    deciding = false;
  }

  // The names one claim gets, its question answered.
  async function settle({ root, subfolders, names, folder, there }) {
    const paths = givenIn(root);
    const again = names.some((name) => paths.has(pathOf(subfolders, name)));
    const answer = (name) => answersIn(root).get(pathOf(subfolders, name));
    const keep = again || names.some((name, i) => there[i] && answer(name) !== 'replace');
    let final = names;
    if (keep) {
      const free = async (list) => !list.some((name) => paths.has(pathOf(subfolders, name))) &&
        !(await Promise.all(list.map((name) => taken(folder, name)))).some(Boolean);
      for (let n = 2; ; n++) {
        final = names.map((name) => numbered(name, n));
        if (await free(final)) break;
      }
    }
    for (const name of final) paths.add(pathOf(subfolders, name));
    return final.map((name, i) => ({ name, existed: !keep && there[i] }));
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

const pathOf = (subfolders, name) => [...subfolders, name].join('/');
