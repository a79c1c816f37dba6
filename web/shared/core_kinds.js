// The converter's tables of output kinds and formats (wave/output_kinds.h):
// what each kind takes and writes, and in which formats. The page's build
// asks the converter's module for them (web/core/page_api.cc,
// kelvor_kinds_json and kelvor_formats_json) and sets them before the page's
// and the worker's code runs; Node's tests of the page's modules set them
// the same way (tests/core_kinds_setup.mjs).
export const CORE_KINDS = globalThis.kelvorCoreKinds;
if (!Array.isArray(CORE_KINDS)) throw new Error('the converter\'s table of output kinds was not given to the page');
// Its table of formats likewise, each with `refusal` null where the build
// encodes it.
export const CORE_FORMATS = globalThis.kelvorCoreFormats;
if (!Array.isArray(CORE_FORMATS)) throw new Error('the converter\'s table of formats was not given to the page');
