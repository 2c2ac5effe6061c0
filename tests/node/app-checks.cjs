// SPDX-License-Identifier: MIT
// Run by Node in the app that installed the package, with each stand-in call held 500 ms:
// a call from a Worker, four queued async calls beside a file read, both entries, and the
// errors for a platform without a native and a native that cannot be loaded.
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { Worker } = require('node:worker_threads');

const quivane = require('quivanedll');
const api = require(path.join(path.dirname(require.resolve('quivanedll/package.json')), 'lib/api.js'));

function errorOf(call) {
  try {
    call();
    return 'none';
  } catch (error) {
    return `${error.code}: ${error.message}`;
  }
}

async function main() {
  const checks = {};
  checks.worker = await new Promise((resolve, reject) => {
    const worker = new Worker(
      `require('node:worker_threads').parentPort.postMessage(require(${JSON.stringify(require.resolve('quivanedll'))})
         .registerServiceSync({ name: 'From A Worker', type: '_qvnode._tcp', port: 80 }))`,
      { eval: true });
    worker.once('message', resolve);
    worker.once('error', reject);
  });

  const started = performance.now();
  const queued = [1, 2, 3, 4].map((i) => quivane.registerService({ name: `Queued ${i}`, type: '_qvnode._tcp', port: 80 }));
  const readStarted = performance.now();
  await fs.promises.readFile(__filename);
  checks.readFileMs = performance.now() - readStarted;
  checks.queued = await Promise.all(queued);
  checks.queuedMs = performance.now() - started;

  checks.requireIsImport = (await import('quivanedll')).registerService === quivane.registerService;
  const koffi = require(path.join(path.dirname(require.resolve('quivanedll/package.json')), 'lib/koffi.js'));
  checks.unsupported = errorOf(() =>
    api.create(koffi, () => api.nativePath('freebsd-x64')).registerServiceSync({ type: '_qvnode._tcp', port: 80 }));
  checks.unloadable = errorOf(() =>
    api.create(koffi, () => api.nativePath('linux-x64', '/nonexistent/quivanedll')).registerServiceSync({ type: '_qvnode._tcp', port: 80 }));
  checks.asar = api.unpackedPath('/opt/App/resources/app.asar/node_modules/quivanedll/prebuilds/linux-x64/libQuivaneDll.so');
  console.log(JSON.stringify(checks));
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
