// kelvor.js for Node opens files through Emscripten's raw Node file system,
// which cuts every component of a name to 255 characters before opening it:
// a longer name would open, and create or empty, another file. The system
// itself refuses such a name (ENAMETOOLONG); so does this build, before the
// file system sees it.
Module['preRun'] = (Module['preRun'] || []).concat(() => {
  const open = FS.open;
  FS.open = function (path, ...rest) {
    if (typeof path === 'string' && path.split('/').some((part) => Buffer.byteLength(part) > 255)) {
      throw new FS.ErrnoError(ERRNO_CODES.ENAMETOOLONG);
    }
    return open.call(this, path, ...rest);
  };
});
