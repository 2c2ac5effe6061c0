// SPDX-License-Identifier: MIT
// The backend for Node and Electron: koffi. Strings arrive as ready NUL-terminated UTF-8
// bytes, so koffi converts nothing; async calls run on a thread of libuv's pool.
'use strict';

exports.open = (file) => {
  const koffi = require('koffi');
  const library = koffi.load(file);
  const register = library.func('RegisterService', 'bool', ['void *', 'void *', 'void *', 'int32_t']);
  return {
    call: (name, type, domain, port) => register(name, type, domain, port),
    callAsync: (name, type, domain, port) =>
      new Promise((resolve, reject) => {
        register.async(name, type, domain, port, (error, result) => (error ? reject(error) : resolve(result)));
      }),
  };
};
