// SPDX-License-Identifier: MIT
// The Electron app's main process in the packaging test: one call through the package.
'use strict';

const quivane = require('quivanedll');

console.log(JSON.stringify({ ok: quivane.registerServiceSync({ name: 'Electron App', type: '_qvelectron._tcp', port: 80 }) }));
