// Makes the page one self-contained file: the page's modules and the
// worker's each bundled by esbuild, which follows their imports (the zip
// library's among them), the styles, the WebAssembly (as base64) and the
// workers' source (the module factory, then the worker's bundle), all
// inlined into web/page/index.html; the converter's table of output kinds,
// asked of its module, set before both bundles; fills in the version and the release's
// name (from the files VERSION and RELEASE) and the license texts of kelvor
// and of the zip library.
//
//   node web/build.mjs --module build-web/kelvor-module.js --wasm build-web/kelvor-module.wasm \
//        --out build-web/kelvor.html [--codecs PREFIX/share/licenses]
import { existsSync, readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

import { buildSync } from 'esbuild';

import { formatsTable, kindsTable, newInstance } from './worker/core_bridge.js';

const here = dirname(fileURLToPath(import.meta.url));
const { values: options } = parseArgs({
  options: { module: { type: 'string' }, wasm: { type: 'string' }, out: { type: 'string' }, codecs: { type: 'string' } },
});
for (const name of ['module', 'wasm', 'out']) {
  if (!options[name]) throw new Error(`--${name} is required`);
}

const read = (path) => readFileSync(path, 'utf8');
const zipFolder = join(here, '..', 'node_modules', 'client-zip');
const zipPackage = JSON.parse(read(join(zipFolder, 'package.json')));

// The converter's tables of output kinds and formats, from its own module, which both
// bundles are given before their code runs (web/shared/core_kinds.js).
const converter = await newInstance(createRequire(import.meta.url)(options.module),
  await WebAssembly.compile(readFileSync(options.wasm)), { printed: [] });
const kindsBanner = `globalThis.kelvorCoreKinds = ${JSON.stringify(kindsTable(converter))};` +
  `globalThis.kelvorCoreFormats = ${JSON.stringify(formatsTable(converter))};`;

// One classic script of a module and everything it imports.
function bundle(entry) {
  const { outputFiles } = buildSync({
    entryPoints: [join(here, entry)], bundle: true, format: 'iife', target: 'es2022', write: false, charset: 'utf8',
    legalComments: 'none',  // the zip library's license is in the page's footer
    banner: { js: kindsBanner },
  });
  return outputFiles[0].text;
}

// What the page's <link> and <script> elements name.
const sources = {
  'style.css': () => read(join(here, 'page', 'style.css')),
  'main.js': () => bundle('page/main.js'),
  'kelvor.wasm.base64': () => readFileSync(options.wasm).toString('base64'),
  'worker-source.js': () => read(options.module) + '\n' + bundle('worker/main.js'),
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
const licenseOf = (folder) => ['LICENSE', 'LICENSE.txt', 'LICENSE.md'].map((n) => join(folder, n)).find(existsSync);
const fields = {
  'version': () => read(join(here, '..', 'VERSION')).trim(),
  'release': () => read(join(here, '..', 'RELEASE')).trim(),
  'license': () => read(join(here, '..', 'LICENSE')),
  'zip-name': () => zipPackage.name,
  'zip-version': () => zipPackage.version,
  'zip-license': () => read(licenseOf(zipFolder)),
  // The codecs' notices, where the page was built with them
  // (packaging/codecs/build.sh puts them beside the libraries).
  'codecs': () => (options.codecs ? read(join(options.codecs, 'SOURCES')).trim().split('\n').join('; ')
    : 'none: this page was built without the FLAC and Ogg Vorbis encoders'),
  'codec-licenses': () => (options.codecs ? ['flac', 'libogg', 'libvorbis'].map((name) =>
    `${name}:\n\n${read(join(options.codecs, `${name}.txt`)).trim()}`).join('\n\n\n') : ''),
};

let page = read(join(here, 'page', 'index.html'));
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
