// The names a WAV is given where it lands. Chromium saves a download under a
// name of its own making when the suggested one has characters it refuses,
// and its folder writes refuse such names outright; the page gives every
// WAV (download, zip entry and folder file alike) the name Chromium keeps,
// so that the rows, the zip and the loop list name exactly the files on disk.
//
// Chromium's rules, as its download naming applies them:
//   - leading and trailing dots are trimmed off a file's name, and a name
//     left without an extension gets ".wav" (".wav" becomes "wav.wav");
//   - anywhere: the characters " * / : < > ? \ |, control and format
//     characters (Unicode Cc and Cf) and non-characters become "_";
//   - the first and the last character become "_" when it is white space
//     or a dot (" a.wav" becomes "_a.wav"), and so does a "~" first.
// A folder on a WAV's path is named by the last two rules alone.

const ANYWHERE = /["*/:<>?\\|\p{Cc}\p{Cf}\u{FDD0}-\u{FDEF}\u{FFFE}\u{FFFF}]/u;
const AT_ENDS = /[\p{White_Space}.]/u;

function isNonCharacter(code) {
  return (code & 0xfffe) === 0xfffe;
}

// Each character Chromium refuses where it stands, replaced by "_".
function replaceRefused(name) {
  const chars = [...name];
  return chars.map((c, i) => {
    const atEnd = i === 0 || i === chars.length - 1;
    return ANYWHERE.test(c) || isNonCharacter(c.codePointAt(0)) || (atEnd && AT_ENDS.test(c)) || (i === 0 && c === '~')
      ? '_' : c;
  }).join('');
}

// The name under which a WAV named `name` is saved.
export function keptName(name) {
  const kept = replaceRefused(name.replace(/^\.+|\.+$/g, '')) || 'download';
  return /\.[^.]+$/.test(kept) ? kept : `${kept}.wav`;
}

// The name under which a folder on a WAV's path is made.
export function keptFolderName(name) {
  return replaceRefused(name);
}

// A relative path ("/"-separated) as it is saved: its folders and its file.
export function keptPath(path) {
  const parts = path.split('/');
  return [...parts.slice(0, -1).map(keptFolderName), keptName(parts.at(-1))].join('/');
}
