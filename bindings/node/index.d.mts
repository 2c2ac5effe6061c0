// SPDX-License-Identifier: MIT
// The ES module entry re-exports the CommonJS one.
import * as quivane from './index.js';

export { registerService, registerServiceSync, type ServiceRegistration } from './index.js';
export default quivane;
