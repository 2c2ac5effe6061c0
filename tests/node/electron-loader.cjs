// SPDX-License-Identifier: MIT
// Loaded with --require to run an Electron app's layout in Node: Electron finds a native addon
// (.node) that was packed into app.asar in app.asar.unpacked; Node needs this to do the same.
// Nothing else is redirected: any other file must be found there by the code that loads it.
'use strict';

const fs = require('node:fs');
const Module = require('node:module');
const path = require('node:path');

const resolve = Module._resolveFilename;
Module._resolveFilename = function resolveUnpacked(request, parent, ...rest) {
  try {
    return resolve.call(this, request, parent, ...rest);
  } catch (error) {
    if (!request.endsWith('.node') || !parent || !parent.filename) throw error;
    const file = path.resolve(path.dirname(parent.filename), request)
      .replace(/([\\/])app\.asar([\\/])/, '$1app.asar.unpacked$2');
    if (!fs.existsSync(file)) throw error;
    return file;
  }
};
