// SPDX-License-Identifier: MIT
// The package's call on the recording stand-in, run by Node, Bun and Deno from an app that
// installed it: medians over rounds of the sync call, and of the async call awaited one at a
// time, in microseconds per call; under Node (with --expose-gc) also the bytes of V8 heap and
// ArrayBuffers each call leaves between two collections. Prints one JSON line.
import { registerService, registerServiceSync } from 'quivanedll';

const ROUNDS = 15;
const SYNC_CALLS = 20000;
const ASYNC_CALLS = 2000;
const options = { name: 'n'.repeat(63), type: '_http._tcp', port: 80, domain: '.' };
const median = (values) => values.sort((a, b) => a - b)[values.length >> 1];

registerServiceSync(options); // binds the client library outside the timing
const sync = [];
const async = [];
for (let round = 0; round < ROUNDS; round++) {
  let started = performance.now();
  for (let i = 0; i < SYNC_CALLS; i++) registerServiceSync(options);
  sync.push(((performance.now() - started) * 1000) / SYNC_CALLS);
  started = performance.now();
  for (let i = 0; i < ASYNC_CALLS; i++) await registerService(options);
  async.push(((performance.now() - started) * 1000) / ASYNC_CALLS);
}

const result = { sync_us: median(sync), async_us: median(async) };
if (typeof globalThis.gc === 'function') {
  const used = () => {
    const memory = process.memoryUsage();
    return memory.heapUsed + memory.arrayBuffers;
  };
  const calls = 2000;
  globalThis.gc();
  const before = used();
  for (let i = 0; i < calls; i++) registerServiceSync(options);
  result.bytes_per_call = (used() - before) / calls;
}
console.log(JSON.stringify(result));
