// SPDX-License-Identifier: MIT
// The one implementation behind every entry: checks the arguments, finds this platform's
// native module and calls it through the runtime's own FFI (the backend). Async calls go
// through one queue, so at most one thread of the pool is ever inside the module.
'use strict';

const path = require('node:path');

// Where each platform's native lives in the package, and its file name.
const NATIVES = {
  'linux-x64': 'libQuivaneDll.so',
  'linux-x64-musl': 'libQuivaneDll.so',
  'linux-arm64': 'libQuivaneDll.so',
  'linux-arm': 'libQuivaneDll.so',
  'win32-x64': 'QuivaneDll.dll',
  'win32-ia32': 'QuivaneDll.dll',
  'win32-arm64': 'QuivaneDll.dll',
  darwin: 'libQuivaneDll.dylib',
};

function isMusl() {
  // As npm itself tells them apart: glibc's report names its runtime version, musl's does not.
  const report = process.report && process.report.getReport ? process.report.getReport() : null;
  const header = report && (typeof report === 'string' ? JSON.parse(report) : report).header;
  return header ? !header.glibcVersionRuntime : false;
}

function platformKey(platform = process.platform, arch = process.arch, musl = isMusl) {
  if (platform === 'darwin') return 'darwin'; // one universal file for arm64 and x64
  if (platform === 'linux' && arch === 'x64' && musl()) return 'linux-x64-musl';
  return `${platform}-${arch}`;
}

// Electron cannot load a native from inside app.asar: packagers unpack it beside the archive.
function unpackedPath(file) {
  return file.replace(/([\\/])app\.asar([\\/])/, '$1app.asar.unpacked$2');
}

function nativePath(key = platformKey(), root = path.join(__dirname, '..')) {
  const file = NATIVES[key];
  if (file === undefined) {
    const error = new Error(
      `quivanedll: no native module for ${key}; this package carries ${Object.keys(NATIVES).join(', ')}`);
    error.code = 'ERR_QUIVANE_UNSUPPORTED_PLATFORM';
    throw error;
  }
  return unpackedPath(path.join(root, 'prebuilds', key, file));
}

const encoder = new TextEncoder();

// A NUL-terminated UTF-8 copy of a string, or null; refuses what the FFI would mangle (a NUL
// cuts the string, a lone surrogate becomes U+FFFD) or crash on (anything but a string).
function text(value, field, required) {
  if (value === undefined || value === null) {
    if (required) throw new TypeError(`quivanedll: ${field} must be a string`);
    return null;
  }
  if (typeof value !== 'string') {
    throw new TypeError(`quivanedll: ${field} must be a string${required ? '' : ', null or undefined'}`);
  }
  if (value.includes('\0')) throw new TypeError(`quivanedll: ${field} holds a NUL character`);
  if (!value.isWellFormed()) {
    throw new TypeError(`quivanedll: ${field} is not well-formed UTF-16 (a lone surrogate)`);
  }
  return encoder.encode(`${value}\0`);
}

function argumentsOf(options) {
  if (typeof options !== 'object' || options === null) {
    throw new TypeError('quivanedll: the argument must be an object { name, type, port, domain }');
  }
  const { name, type, port, domain } = options;
  if (!Number.isInteger(port) || port < 0 || port > 65535) {
    throw new RangeError('quivanedll: port must be an integer from 0 to 65535');
  }
  return [text(name, 'name', false), text(type, 'type', true), text(domain, 'domain', false), port];
}

function create(backend, locate = nativePath) {
  let native = null;
  let tail = Promise.resolve();

  function load() {
    if (native === null) {
      const file = locate();
      try {
        native = backend.open(file);
      } catch (cause) {
        const error = new Error(`quivanedll: cannot load the native module ${file}: ${cause.message}`, { cause });
        error.code = 'ERR_QUIVANE_LOAD_FAILED';
        throw error;
      }
    }
    return native;
  }

  function registerServiceSync(options) {
    const args = argumentsOf(options);
    return load().call(...args);
  }

  async function registerService(options) {
    const args = argumentsOf(options);
    const module = load();
    const call = tail.then(() => module.callAsync(...args));
    tail = call.catch(() => {});
    return call;
  }

  return { registerService, registerServiceSync };
}

module.exports = { create, nativePath, platformKey, unpackedPath };
