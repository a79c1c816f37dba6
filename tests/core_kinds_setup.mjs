// Gives the page's modules the converter's tables of output kinds and formats, as the
// page's build does (web/build.mjs): asked of the converter's module for the
// page (KELVOR_MODULE, by default build-web/kelvor-module.js). Loaded before
// the tests of the page's modules, and before those modules are:
//
//   node --import ./tests/core_kinds_setup.mjs --test tests/kinds_test.mjs ...
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { resolve } from 'node:path';

import { formatsTable, kindsTable, newInstance } from '../web/worker/core_bridge.js';

const moduleJs = resolve(process.env.KELVOR_MODULE || 'build-web/kelvor-module.js');
const compiled = await WebAssembly.compile(readFileSync(moduleJs.replace(/\.js$/, '.wasm')));
const converter = await newInstance(createRequire(import.meta.url)(moduleJs), compiled, { printed: [] });
globalThis.kelvorCoreKinds = kindsTable(converter);
globalThis.kelvorCoreFormats = formatsTable(converter);
