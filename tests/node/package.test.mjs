// SPDX-License-Identifier: MIT
// What the packed tarball holds: its files, each native's format and machine as `file` reads it
// and its bytes equal to the .NET package's, and declarations a strict TypeScript consumer
// compiles against.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { test } from 'node:test';

import { app } from './helpers.mjs';

const tarball = process.env.QUIVANE_TARBALL;
const nupkg = process.env.QUIVANE_NUPKG;

// npm's platform, the .NET runtime identifier carrying the same file, and what `file` says.
const natives = [
  ['linux-x64/libQuivaneDll.so', 'linux-x64', /^ELF 64-bit LSB shared object, x86-64/],
  ['linux-x64-musl/libQuivaneDll.so', 'linux-musl-x64', /^ELF 64-bit LSB shared object, x86-64/],
  ['linux-arm64/libQuivaneDll.so', 'linux-arm64', /^ELF 64-bit LSB shared object, ARM aarch64/],
  ['linux-arm/libQuivaneDll.so', 'linux-arm', /^ELF 32-bit LSB shared object, ARM, EABI5/],
  ['win32-x64/QuivaneDll.dll', 'win-x64', /^PE32\+ executable \(DLL\) .*x86-64/],
  ['win32-ia32/QuivaneDll.dll', 'win-x86', /^PE32 executable \(DLL\) .*Intel 80386/],
  ['win32-arm64/QuivaneDll.dll', 'win-arm64', /^PE32\+ executable \(DLL\) .*Aarch64/],
  ['darwin/libQuivaneDll.dylib', 'osx-arm64', /^Mach-O universal binary with 2 architectures: \[x86_64:[^\]]*x86_64 dynamically linked shared library[^\]]*\] \[[^\]]*arm64 dynamically linked shared library/],
];

test('the tarball holds the entries, declarations and one native per platform, as the .NET package has them', () => {
  const files = execFileSync('tar', ['tzf', tarball], { encoding: 'utf8' }).split('\n').filter(Boolean).sort();
  const expected = ['LICENSE', 'README.md', 'package.json', 'index.js', 'index.mjs', 'index.d.ts', 'index.d.mts',
    'bun.js', 'deno.mjs', 'lib/api.js', 'lib/koffi.js', 'lib/bun.js', 'lib/deno.mjs',
    ...natives.map(([file]) => `prebuilds/${file}`)].map((file) => `package/${file}`).sort();
  assert.deepEqual(files, expected);

  const scratch = mkdtempSync(path.join(tmpdir(), 'quivane-npm-'));
  try {
    execFileSync('tar', ['xzf', tarball, '-C', scratch]);
    const manifest = JSON.parse(readFileSync(path.join(scratch, 'package/package.json'), 'utf8'));
    const cmake = readFileSync(path.join(process.env.QUIVANE_SOURCE, 'CMakeLists.txt'), 'utf8');
    assert.equal(manifest.version, /project\(QuivaneDll VERSION ([0-9.]+)/.exec(cmake)[1]);
    assert.equal(manifest.dependencies.koffi, '3.3.4');
    assert.equal(manifest.scripts, undefined);
    assert.equal(manifest.os, undefined);
    assert.equal(manifest.cpu, undefined);
    for (const [file, rid, format] of natives) {
      const packed = path.join(scratch, 'package/prebuilds', file);
      assert.match(execFileSync('file', ['-b', packed], { encoding: 'utf8' }), format, file);
      const dotnet = execFileSync('unzip', ['-p', nupkg, `runtimes/${rid}/native/${path.basename(file)}`]);
      const hash = (bytes) => createHash('sha256').update(bytes).digest('hex');
      assert.equal(hash(readFileSync(packed)), hash(dotnet), `${file} differs from runtimes/${rid}`);
    }
  } finally {
    rmSync(scratch, { recursive: true, force: true });
  }
});

test('a strict TypeScript consumer compiles against both entries', () => {
  const consumer = path.join(app, 'consumer');
  rmSync(consumer, { recursive: true, force: true });
  execFileSync('mkdir', ['-p', consumer]);
  writeFileSync(path.join(consumer, 'package.json'), '{ "type": "module" }');
  writeFileSync(path.join(consumer, 'esm.ts'), `
import quivane, { registerService, registerServiceSync, type ServiceRegistration } from 'quivanedll';
const service: ServiceRegistration = { name: null, type: '_http._tcp', port: 8080 };
const later: Promise<boolean> = registerService(service);
const now: boolean = registerServiceSync({ type: '_http._tcp', port: 80, domain: '.' });
const same: boolean = quivane.registerService === registerService;
export { later, now, same };
`);
  writeFileSync(path.join(consumer, 'cjs.cts'), `
import quivane = require('quivanedll');
export const accepted: Promise<boolean> = quivane.registerService({ type: '_http._tcp', port: 80 });
`);
  writeFileSync(path.join(consumer, 'wrong.ts'), `
import { registerService } from 'quivanedll';
// @ts-expect-error the port must be a number
registerService({ type: '_http._tcp', port: '80' });
// @ts-expect-error the type is required
registerService({ port: 80 });
`);
  const tsc = path.join(app, 'node_modules/typescript/bin/tsc');
  execFileSync(process.execPath, [tsc, '--strict', '--noEmit', '--module', 'nodenext', '--moduleResolution', 'nodenext',
    '--target', 'es2022', path.join(consumer, 'esm.ts'), path.join(consumer, 'cjs.cts'),
    path.join(consumer, 'wrong.ts')], { cwd: consumer, encoding: 'utf8' });
});
