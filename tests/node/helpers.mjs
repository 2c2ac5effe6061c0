// SPDX-License-Identifier: MIT
// What the npm package's tests share: the app that installed the package (QUIVANE_APP), the
// recording stand-in (QUIVANE_STUB_DIR) and a way to run a program there and read what the
// stand-in was handed.
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

export const app = process.env.QUIVANE_APP;
export const stubDir = process.env.QUIVANE_STUB_DIR;
if (!app || !stubDir) throw new Error('QUIVANE_APP and QUIVANE_STUB_DIR must be set');

export const runtimes = {
  node: [process.execPath],
  bun: [path.join(app, 'node_modules/@oven/bun-linux-x64/bin/bun')],
  deno: [path.join(app, 'node_modules/@deno/linux-x64-glibc/deno'), 'run', '--allow-all'],
};

// Runs `runtime script` in the app against the stand-in; returns its output, exit status and
// the stand-in's log, one line per DNSServiceRegister call.
export function runInApp(runtime, script, env = {}) {
  const scratch = mkdtempSync(path.join(tmpdir(), 'quivane-node-'));
  const log = path.join(scratch, 'calls.log');
  try {
    const [command, ...args] = runtimes[runtime];
    const result = spawnSync(command, [...args, script], {
      cwd: app,
      encoding: 'utf8',
      timeout: 120000,
      env: { ...process.env, LD_LIBRARY_PATH: stubDir, QUIVANE_STUB_LOG: log, DENO_NO_UPDATE_CHECK: '1', ...env },
    });
    let calls = [];
    try {
      calls = readFileSync(log, 'utf8').split('\n').filter(Boolean);
    } catch {
      // no call reached the stand-in
    }
    return { ...result, calls };
  } finally {
    rmSync(scratch, { recursive: true, force: true });
  }
}

// The line the stand-in logs for one call.
export const logged = (name, type, domain, port) =>
  `name=${name ?? '(null)'} regtype=${type} domain=${domain ?? '(null)'} port=${port} flags=0 if=0 host=(null) txtLen=0`;

// What run-cases.mjs sends, in order: each call once sync and once async.
export const expectedCalls = [
  logged('Kitchen Printer', '_ipp._tcp', null, '0277'),
  logged('K\u00fcche \u2615', '_qvnode._tcp', 'local.', '0050'),
  logged('n'.repeat(63), '_qvnode._tcp', null, '0050'),
  logged(null, '_qvnode._tcp', null, '0050'),
  logged('Dot', '_qvnode._tcp', '', '0050'),
  logged('Null', '_qvnode._tcp', null, '0050'),
  logged(null, '_qvnode._tcp', null, '0000'),
  logged(null, '_qvnode._tcp', null, '0102'),
  logged(null, '_qvnode._tcp', null, 'ffff'),
].flatMap((line) => [line, line]);
