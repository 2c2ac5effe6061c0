// SPDX-License-Identifier: MIT
import api from './lib/api.js';
import * as backend from './lib/deno.mjs';

const quivane = api.create(backend);

export const { registerService, registerServiceSync } = quivane;
export default quivane;
