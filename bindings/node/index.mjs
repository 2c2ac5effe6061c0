// SPDX-License-Identifier: MIT
// The CommonJS module itself, so that both entries share one call queue.
import quivane from './index.js';

export const { registerService, registerServiceSync } = quivane;
export default quivane;
