// SPDX-License-Identifier: MIT
// The backend for Bun: bun:ffi. Bun has no FFI call off the main thread, so the promise form
// runs the call on it, in its turn in the queue.
'use strict';

exports.open = (file) => {
  const { dlopen, FFIType } = require('bun:ffi');
  const { symbols } = dlopen(file, {
    RegisterService: { args: [FFIType.ptr, FFIType.ptr, FFIType.ptr, FFIType.i32], returns: FFIType.bool },
  });
  const call = (name, type, domain, port) => symbols.RegisterService(name, type, domain, port);
  return { call, callAsync: async (...args) => call(...args) };
};
