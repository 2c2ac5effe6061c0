// SPDX-License-Identifier: MIT
// Electron without Electron's binary: electron-builder packs an app that uses the package
// against a stand-in Electron distribution and must put our natives and koffi's in
// app.asar.unpacked; the app's code, run from that layout with the archive's content in a
// folder named app.asar that holds no native, must load the module from app.asar.unpacked.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { chmodSync, copyFileSync, existsSync, mkdirSync, readdirSync, renameSync, rmSync, statSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { app, runInApp } from './helpers.mjs';

const here = path.dirname(new URL(import.meta.url).pathname);
const natives = /\.(so|dll|dylib|node)$/;

function filesUnder(dir) {
  return readdirSync(dir, { recursive: true }).filter((file) => statSync(path.join(dir, file)).isFile());
}

test('electron-builder unpacks the natives and the app loads ours from app.asar.unpacked', () => {
  const project = path.join(app, 'electron-app');
  const dist = path.join(app, 'electron-dist');
  rmSync(project, { recursive: true, force: true });
  rmSync(dist, { recursive: true, force: true });
  mkdirSync(project);
  mkdirSync(dist);
  writeFileSync(path.join(dist, 'electron'), '#!/bin/sh\nexit 0\n');
  chmodSync(path.join(dist, 'electron'), 0o755);
  writeFileSync(path.join(dist, 'version'), '33.0.0');
  writeFileSync(path.join(project, 'package.json'), JSON.stringify({
    name: 'quivane-electron-app', version: '1.0.0', description: 'test', author: 'test', main: 'main.js',
    dependencies: { quivanedll: `file:${process.env.QUIVANE_TARBALL}` },
  }));
  copyFileSync(path.join(here, 'electron-main.cjs'), path.join(project, 'main.js'));
  const npm = { cwd: project, stdio: 'pipe' };
  execFileSync('npm', ['install', '--offline', '--ignore-scripts', '--no-audit', '--no-fund', '--cache',
    path.join(app, '.npm-cache')], npm);
  execFileSync(path.join(app, 'node_modules/.bin/electron-builder'), ['--linux', 'dir', '--projectDir', project,
    `-c.electronDist=${dist}`, '-c.electronVersion=33.0.0'], npm);

  const resources = path.join(project, 'dist/linux-unpacked/resources');
  const unpacked = path.join(resources, 'app.asar.unpacked');
  const placed = filesUnder(unpacked).filter((file) => natives.test(file)).sort();
  // A Linux build leaves the Windows DLLs out.
  for (const file of ['linux-x64/libQuivaneDll.so', 'linux-x64-musl/libQuivaneDll.so', 'linux-arm64/libQuivaneDll.so', 'linux-arm/libQuivaneDll.so']) {
    assert.ok(placed.includes(`node_modules/quivanedll/prebuilds/${file}`), `${file} is not unpacked: ${placed}`);
  }
  assert.ok(placed.includes('node_modules/@koromix/koffi-linux-x64/linux_x64/koffi.node'), `koffi is not unpacked: ${placed}`);

  // The archive's content as a folder named app.asar, without any native.
  const extracted = path.join(resources, 'app.asar.content');
  execFileSync(process.execPath, [path.join(app, 'node_modules/@electron/asar/bin/asar.js'), 'extract',
    path.join(resources, 'app.asar'), extracted]);
  for (const file of filesUnder(extracted).filter((name) => natives.test(name))) rmSync(path.join(extracted, file));
  rmSync(path.join(resources, 'app.asar'));
  renameSync(extracted, path.join(resources, 'app.asar'));
  assert.ok(!existsSync(path.join(resources, 'app.asar/node_modules/quivanedll/prebuilds/linux-x64/libQuivaneDll.so')));

  const run = runInApp('node', path.join(resources, 'app.asar/main.js'), {
    NODE_OPTIONS: `--require ${path.join(here, 'electron-loader.cjs')}`,
  });
  assert.equal(run.status, 0, `${run.stdout}\n${run.stderr}`);
  assert.deepEqual(JSON.parse(run.stdout), { ok: true });
  assert.equal(run.calls.length, 1);
});
