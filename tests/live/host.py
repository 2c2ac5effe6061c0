# SPDX-License-Identifier: MIT
"""A test host: loads libQuivaneDll.so by name and registers on request.

Each line on stdin is a JSON list [name, regtype, domain, port] (null for a null pointer, and
{"hex": "..."} for raw bytes that need not be UTF-8);
each answer on stdout is a JSON object {"ok", "domain", "ms"}. The process, and with it every
registration, lives until stdin closes or a signal ends it.
"""
import ctypes
import json
import os
import sys
import time

os.environ.setdefault("AVAHI_COMPAT_NOWARN", "1")
module = ctypes.CDLL("libQuivaneDll.so")
register = module.RegisterService
register.restype = ctypes.c_bool
register.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int32]


def text(value):
    if isinstance(value, dict):
        return bytes.fromhex(value["hex"])
    return None if value is None else value.encode("utf-8")


print(json.dumps({"ready": True}), flush=True)
for line in sys.stdin:
    name, regtype, domain, port = json.loads(line)
    buffer = None if domain is None else ctypes.create_string_buffer(text(domain))
    started = time.monotonic()
    ok = register(text(name), text(regtype), buffer, port)
    elapsed = (time.monotonic() - started) * 1000.0
    after = None if buffer is None else buffer.value.decode("utf-8", "backslashreplace")
    print(json.dumps({"ok": ok, "domain": after, "ms": elapsed}), flush=True)
