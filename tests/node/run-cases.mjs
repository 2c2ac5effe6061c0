// SPDX-License-Identifier: MIT
// The stand-in cases, run by Node, Bun and Deno alike from an app that installed the package:
// prints one JSON object with the entry it got, each call's answer and each refusal's error
// class.
import { registerService, registerServiceSync } from 'quivanedll';

const kueche = 'K\u00fcche \u2615';
export const calls = [
  ['ascii', { name: 'Kitchen Printer', type: '_ipp._tcp', port: 631 }],
  ['utf8', { name: kueche, type: '_qvnode._tcp', port: 80, domain: 'local.' }],
  ['63 bytes', { name: 'n'.repeat(63), type: '_qvnode._tcp', port: 80 }],
  ['null name', { name: null, type: '_qvnode._tcp', port: 80 }],
  ['dot domain', { name: 'Dot', type: '_qvnode._tcp', port: 80, domain: '.' }],
  ['null domain', { name: 'Null', type: '_qvnode._tcp', port: 80, domain: null }],
  ['port 0', { type: '_qvnode._tcp', port: 0 }],
  ['port 258', { type: '_qvnode._tcp', port: 258 }],
  ['port 65535', { type: '_qvnode._tcp', port: 65535 }],
];

// Each would crash, mangle or cut the text in an unguarded FFI binding.
const refusals = [
  ['not an object', 'svc'],
  ['null', null],
  ['type missing', { name: 'svc', port: 80 }],
  ['type a number', { type: 80, port: 80 }],
  ['name a number', { name: 7, type: '_qvnode._tcp', port: 80 }],
  ['name a BigInt', { name: 7n, type: '_qvnode._tcp', port: 80 }],
  ['domain an object', { type: '_qvnode._tcp', port: 80, domain: {} }],
  ['NUL in the name', { name: 'a\0b', type: '_qvnode._tcp', port: 80 }],
  ['lone surrogate in the name', { name: 'a\ud800', type: '_qvnode._tcp', port: 80 }],
  ['lone surrogate in the type', { type: '_qv\udc00._tcp', port: 80 }],
  ['port -1', { type: '_qvnode._tcp', port: -1 }],
  ['port 65536', { type: '_qvnode._tcp', port: 65536 }],
  ['port 1.5', { type: '_qvnode._tcp', port: 1.5 }],
  ['port a string', { type: '_qvnode._tcp', port: '80' }],
  ['port a BigInt', { type: '_qvnode._tcp', port: 80n }],
];

const answers = {};
for (const [label, options] of calls) {
  answers[`${label} sync`] = registerServiceSync(options);
  answers[`${label} async`] = await registerService(options);
}
const refused = {};
for (const [label, options] of refusals) {
  for (const [form, call] of [['sync', () => registerServiceSync(options)], ['async', () => registerService(options)]]) {
    try {
      await call();
      refused[`${label} ${form}`] = 'none';
    } catch (error) {
      refused[`${label} ${form}`] = error.constructor.name;
    }
  }
}
// Which entry the runtime's export conditions chose, and so which FFI made the calls.
const entry = import.meta.resolve('quivanedll').split('/').pop();
console.log(JSON.stringify({ entry, answers, refused }));
