// SPDX-License-Identifier: MIT
// The installed package against the recording stand-in, in Node, Bun and Deno: the bytes that
// reach DNSServiceRegister, false passed through, every refused input thrown before any call.
import assert from 'node:assert/strict';
import { copyFileSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { app, expectedCalls, runInApp } from './helpers.mjs';

const here = path.dirname(new URL(import.meta.url).pathname);
copyFileSync(path.join(here, 'run-cases.mjs'), path.join(app, 'run-cases.mjs'));
copyFileSync(path.join(here, 'app-checks.cjs'), path.join(app, 'app-checks.cjs'));

const entries = { node: 'index.mjs', bun: 'bun.js', deno: 'deno.mjs' };
for (const runtime of ['node', 'bun', 'deno']) {
  test(`${runtime}: the stand-in gets the bytes, answers pass through, bad input never reaches it`, () => {
    const run = runInApp(runtime, 'run-cases.mjs');
    assert.equal(run.status, 0, `${run.stdout}\n${run.stderr}`);
    const { entry, answers, refused } = JSON.parse(run.stdout);
    assert.equal(entry, entries[runtime], 'the export conditions pick the runtime\'s own FFI');
    assert.ok(Object.values(answers).every((answer) => answer === true), JSON.stringify(answers));
    assert.deepEqual(run.calls, expectedCalls);
    for (const [label, error] of Object.entries(refused)) {
      assert.equal(error, /^port/.test(label) ? 'RangeError' : 'TypeError', label);
    }
    assert.equal(Object.keys(refused).length, 30);

    const refusedByResponder = runInApp(runtime, 'run-cases.mjs', { QUIVANE_STUB_RESULT: '-65540' });
    const falses = JSON.parse(refusedByResponder.stdout).answers;
    assert.ok(Object.values(falses).every((answer) => answer === false), JSON.stringify(falses));
  });
}

test('node: a Worker calls, four queued calls leave the pool free, errors name what is missing', () => {
  const run = runInApp('node', 'app-checks.cjs', { QUIVANE_STUB_DELAY_MS: '500', UV_THREADPOOL_SIZE: '4' });
  assert.equal(run.status, 0, `${run.stdout}\n${run.stderr}`);
  const checks = JSON.parse(run.stdout);
  assert.equal(checks.worker, true);
  assert.deepEqual(checks.queued, [true, true, true, true]);
  assert.ok(checks.readFileMs < 250, `fs.readFile took ${checks.readFileMs} ms beside four held calls`);
  assert.ok(checks.queuedMs >= 4 * 500 && checks.queuedMs < 4 * 500 + 1500, `${checks.queuedMs} ms`);
  assert.equal(checks.requireIsImport, true);
  assert.match(checks.unsupported, /^ERR_QUIVANE_UNSUPPORTED_PLATFORM: .*freebsd-x64.*linux-x64/);
  assert.match(checks.unloadable, /^ERR_QUIVANE_LOAD_FAILED: .*prebuilds\/linux-x64\/libQuivaneDll\.so/);
  assert.equal(checks.asar, path.join('/opt/App/resources/app.asar.unpacked/node_modules/quivanedll/prebuilds/linux-x64/libQuivaneDll.so'));
  assert.equal(run.calls.length, 5);
});
