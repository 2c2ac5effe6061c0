// SPDX-License-Identifier: MIT
// An independent mDNS peer from npm (multicast-dns): asks for INSTANCE's SRV and TXT records
// until both arrived with the host's address, prints them as one JSON line, then prints
// "gone" when the SRV record comes again with TTL 0 (the responder's goodbye). Gives up after
// SECONDS.
'use strict';

const mdns = require('multicast-dns')();

const [instance, seconds] = process.argv.slice(2);
const seen = {};
let announced = false;
const ask = () => mdns.query({ questions: [{ name: instance, type: 'SRV' }, { name: instance, type: 'TXT' }] });
const asking = setInterval(ask, 500);
setTimeout(() => {
  console.log(announced ? 'still there' : JSON.stringify({ found: false }));
  process.exit(1);
}, Number(seconds) * 1000);

mdns.on('response', (response) => {
  for (const record of [...response.answers, ...response.additionals]) {
    if (record.type === 'SRV' && record.name === instance) {
      if (announced && record.ttl === 0) {
        console.log('gone');
        process.exit(0);
      }
      if (record.ttl > 0) seen.srv = { port: record.data.port, target: record.data.target };
    } else if (record.type === 'TXT' && record.name === instance && record.ttl > 0) {
      seen.txt = record.data.map((part) => Buffer.from(part).toString('hex'));
    } else if (record.type === 'A' && seen.srv && record.name === seen.srv.target && record.ttl > 0) {
      seen.address = record.data;
    }
  }
  if (!announced && seen.srv && seen.txt && seen.address) {
    announced = true;
    clearInterval(asking);
    console.log(JSON.stringify({ found: true, ...seen }));
  }
});
ask();
