// SPDX-License-Identifier: MIT
// The backend for Deno: Deno.dlopen; the promise form is a nonblocking symbol, which Deno runs
// on a thread of its own.
export function open(file) {
  const signature = { parameters: ['buffer', 'buffer', 'buffer', 'i32'], result: 'bool' };
  const { symbols } = Deno.dlopen(file, {
    RegisterService: signature,
    RegisterServiceAsync: { ...signature, name: 'RegisterService', nonblocking: true },
  });
  return {
    call: (name, type, domain, port) => symbols.RegisterService(name, type, domain, port),
    callAsync: (name, type, domain, port) => symbols.RegisterServiceAsync(name, type, domain, port),
  };
}
