// The converter's table of output kinds (wave/output_kinds.h): what each
// kind takes and writes. The page's build asks the converter's module for it
// (web/core/page_api.cc, kelvor_kinds_json) and sets it before the page's and
// the worker's code runs; Node's tests of the page's modules set it the same
// way (tests/core_kinds_setup.mjs).
export const CORE_KINDS = globalThis.kelvorCoreKinds;
if (!Array.isArray(CORE_KINDS)) throw new Error('the converter\'s table of output kinds was not given to the page');
