// Inlines the page into one self-contained file: the styles, the scripts,
// the zip library, the WebAssembly (as base64) and the workers' source (the
// module factory, then the worker's own files); fills in the version and the
// release's name (from the files VERSION and RELEASE) and the license texts of
// kelvor and of the zip library.
//
//   node web/build.mjs --module build-web/kelvor-module.js --wasm build-web/kelvor-module.wasm \
//        --zip node_modules/client-zip/index.js --out build-web/kelvor.html
import { existsSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const here = dirname(fileURLToPath(import.meta.url));
const { values: options } = parseArgs({
  options: {
    module: { type: 'string' }, wasm: { type: 'string' }, zip: { type: 'string' }, out: { type: 'string' },
  },
});
for (const name of ['module', 'wasm', 'zip', 'out']) {
  if (!options[name]) throw new Error(`--${name} is required`);
}

const read = (path) => readFileSync(path, 'utf8');
const zipFolder = dirname(options.zip);  // node_modules/client-zip/index.js
const zipPackage = JSON.parse(read(join(zipFolder, 'package.json')));

// The zip library is an ES module; the page's scripts are classic ones. Its
// one export statement becomes a global object holding the same names.
function zipLibrary() {
  const source = read(options.zip);
  const exported = /export\s*\{([^}]*)\}\s*;?\s*$/.exec(source);
  if (!exported) throw new Error(`${options.zip} does not end in one export statement`);
  const members = exported[1].split(',').map((part) => {
    const [local, as] = part.trim().split(/\s+as\s+/);
    return `${as || local}: ${local}`;
  });
  return `const ClientZip = (() => {\n${source.slice(0, exported.index)}\nreturn { ${members.join(', ')} };\n})();\n`;
}

// What the page's <link> and <script> elements name: a file of web/, or one
// of these made here.
const WORKER_FILES = ['wav.js', 'peaks.js', 'folder_output.js', 'blob_pieces.js', 'worker.js'];
const made = {
  'zip-library.js': zipLibrary,
  'kelvor.wasm.base64': () => readFileSync(options.wasm).toString('base64'),
  'worker-source.js': () => [read(options.module), ...WORKER_FILES.map((name) => read(join(here, name)))].join('\n'),
};
const source = (name) => (name in made ? made[name]() : /^[a-z_]+\.(js|css)$/.test(name) && existsSync(join(here, name))
  ? read(join(here, name)) : null);

// Inside a <script> or <style> element only its own end tag would end it early.
function inlined(name, endTag) {
  const text = source(name);
  if (text === null) throw new Error(`the page refers to ${name}, which is not one of its sources`);
  if (text.toLowerCase().includes(endTag)) throw new Error(`${name} holds "${endTag}" and cannot be inlined`);
  return text;
}

// Text put into the page's markup, escaped as such.
const escaped = (text) => text.trim().replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
const licenseOf = (folder) => ['LICENSE', 'LICENSE.txt', 'LICENSE.md'].map((n) => join(folder, n)).find(existsSync);
const fields = {
  'version': () => read(join(here, '..', 'VERSION')).trim(),
  'release': () => read(join(here, '..', 'RELEASE')).trim(),
  'license': () => read(join(here, '..', 'LICENSE')),
  'zip-name': () => zipPackage.name,
  'zip-version': () => zipPackage.version,
  'zip-license': () => read(licenseOf(zipFolder)),
};

let page = read(join(here, 'index.html'));
page = page.replace(/\{\{([a-z-]+)\}\}/g, (_, name) => {
  if (!(name in fields)) throw new Error(`the page asks for {{${name}}}, which is not known`);
  return escaped(fields[name]());
});
page = page.replace(/<link rel="stylesheet" href="([^"]+)">/g,
  (_, href) => `<style>\n${inlined(href, '</style')}</style>`);
page = page.replace(/<script((?: [a-z]+="[^"]*")*?) src="([^"]+)"><\/script>/g,
  (_, attributes, src) => `<script${attributes}>\n${inlined(src, '</script')}</script>`);
if (/\s(src|href)="(?!#)/.test(page.replace(/<a [^>]*>/g, ''))) {
  throw new Error('the page still refers to a file of its own');
}
writeFileSync(options.out, page);
