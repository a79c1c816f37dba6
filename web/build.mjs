// Inlines the page into one self-contained file: the styles, the scripts,
// the zip library and the worker's source (the module factory, with its
// WebAssembly inside, followed by worker.js); fills in the version (from the
// file VERSION) and the license texts of kelvor and of the zip library.
//
//   node web/build.mjs --module build-web/kelvor-module.js \
//        --zip node_modules/fflate/umd/index.js --out build-web/kelvor.html
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const here = dirname(fileURLToPath(import.meta.url));
const { values: options } = parseArgs({
  options: { module: { type: 'string' }, zip: { type: 'string' }, out: { type: 'string' } },
});
for (const name of ['module', 'zip', 'out']) {
  if (!options[name]) throw new Error(`--${name} is required`);
}

const read = (path) => readFileSync(path, 'utf8');
const sources = {
  'style.css': () => read(join(here, 'style.css')),
  'zip-library.js': () => read(options.zip),
  'zip.js': () => read(join(here, 'zip.js')),
  'ui.js': () => read(join(here, 'ui.js')),
  'worker-source.js': () => read(options.module) + '\n' + read(join(here, 'worker.js')),
};

// Inside a <script> or <style> element only its own end tag would end it early.
function inlined(name, endTag) {
  if (!(name in sources)) throw new Error(`the page refers to ${name}, which is not one of its sources`);
  const text = sources[name]();
  if (text.toLowerCase().includes(endTag)) throw new Error(`${name} holds "${endTag}" and cannot be inlined`);
  return text;
}

// Text put into the page's markup, escaped as such.
const escaped = (text) => text.trim().replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
const zipFolder = dirname(dirname(options.zip));  // node_modules/fflate/umd/index.js
const fields = {
  'version': () => read(join(here, '..', 'VERSION')).trim(),
  'license': () => read(join(here, '..', 'LICENSE')),
  'zip-version': () => JSON.parse(read(join(zipFolder, 'package.json'))).version,
  'zip-license': () => read(join(zipFolder, 'LICENSE')),
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
