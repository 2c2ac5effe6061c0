// SPDX-License-Identifier: MIT
'use strict';

const { create } = require('./lib/api.js');

module.exports = create(require('./lib/koffi.js'));
