// SPDX-License-Identifier: MIT
// One Node host of the side-by-side benchmark: PEER is quivanedll, bonjour-service or ciao.
// It prints {"ready"} with nothing loaded but Node, loads and calls the peer as its README
// shows when a line arrives on stdin, prints when the call returned (CLOCK_MONOTONIC seconds),
// and withdraws the service the peer's way when stdin closes. The peer's own complaints
// (conflicts, renames) go to stderr, which the benchmark keeps and reads.
'use strict';

const readline = require('node:readline');

const [peer, name, type, port] = process.argv.slice(2);
const now = () => Number(process.hrtime.bigint()) / 1e9; // CLOCK_MONOTONIC on Linux
const say = (o) => process.stdout.write(JSON.stringify(o) + '\n');
const bare = type.replace(/^_/, '').replace(/\._tcp$/, ''); // bonjour-service and ciao take "peer"

const peers = {
  async quivanedll() {
    const { registerService } = require('quivanedll');
    const ok = await registerService({ name, type, port: Number(port) });
    return { ok, stop: async () => {} }; // the registration ends with the process
  },
  async 'bonjour-service'() {
    const { Bonjour } = require('bonjour-service');
    const bonjour = new Bonjour({}, (e) => console.error(`bonjour-service error: ${e}`));
    const service = bonjour.publish({ name, type: bare, port: Number(port) });
    service.on('error', (e) => console.error(`bonjour-service service error: ${e}`));
    return {
      ok: true,
      stop: () => new Promise((done) => bonjour.unpublishAll(() => { bonjour.destroy(); done(); })),
    };
  },
  async ciao() {
    const ciao = require('@homebridge/ciao');
    // ciao finds no interface of a network namespace's veth pair by itself (it reads the names
    // from `ip -o link show`, where a veth is "NAME@ifN"), so the benchmark names it, as a user
    // in a container would through this documented option.
    const iface = process.env.PEER_INTERFACE;
    const responder = ciao.getResponder(iface ? { interface: iface } : undefined);
    // PEER_TXT="key=value" adds one TXT entry, as ciao's README example has.
    const txt = process.env.PEER_TXT ? Object.fromEntries([process.env.PEER_TXT.split('=')]) : undefined;
    const service = responder.createService({ name, type: bare, port: Number(port), txt });
    service.on('name-change', (n) => console.error(`ciao name-change: ${n}`));
    await service.advertise();
    return { ok: true, stop: async () => { await service.end(); await responder.shutdown(); } };
  },
};

say({ ready: true });
const lines = readline.createInterface({ input: process.stdin });
let running = null;
lines.on('line', async () => {
  if (running) return;
  const started = now();
  try {
    running = await peers[peer]();
    const returned = now();
    say({ ok: running.ok, returned_at: returned, call_ms: (returned - started) * 1000 });
  } catch (e) {
    running = { stop: async () => {} };
    say({ ok: false, returned_at: now(), error: String(e) });
  }
});
lines.on('close', async () => {
  if (running) await running.stop();
  process.exit(0);
});
