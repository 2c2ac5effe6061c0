// SPDX-License-Identifier: MIT
// The live tests' Node host: registers NAME TYPE PORT through the installed package, prints
// the answer and keeps the process (and so the registration) alive until stdin closes.
'use strict';

const { registerService } = require('quivanedll');

const [name, type, port] = process.argv.slice(2);
registerService({ name, type, port: Number(port) }).then((ok) => {
  console.log(JSON.stringify({ ok }));
  process.stdin.resume();
  process.stdin.on('end', () => process.exit(0));
});
