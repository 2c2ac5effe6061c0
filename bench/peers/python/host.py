# SPDX-License-Identifier: MIT
"""The python-zeroconf host of the side-by-side benchmark (Debian's python3-zeroconf, run with
/usr/bin/python3): prints {"ready"} with nothing loaded but Python, imports zeroconf and
registers the service as its documentation shows when a line arrives on stdin, prints when
register_service returned (CLOCK_MONOTONIC seconds), and unregisters and closes when stdin
closes.

usage: host.py NAME TYPE PORT ADDRESS
"""
import json
import socket
import sys
import time


def say(message):
    print(json.dumps(message), flush=True)


def main():
    name, regtype, port, address = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    say({"ready": True})
    if not sys.stdin.readline():
        return 0
    started = time.monotonic()
    try:
        from zeroconf import ServiceInfo, Zeroconf

        full_type = f"{regtype}.local."
        info = ServiceInfo(full_type, f"{name}.{full_type}", port=port,
                           addresses=[socket.inet_aton(address)],
                           server=f"{socket.gethostname()}.local.")
        zc = Zeroconf()
        zc.register_service(info)
    except Exception as e:  # what a user's program would see: the name is taken, the port is
        say({"ok": False, "returned_at": time.monotonic(), "error": f"{type(e).__name__}: {e}"})
        sys.stdin.read()
        return 0
    returned = time.monotonic()
    say({"ok": True, "returned_at": returned, "call_ms": (returned - started) * 1000.0})
    sys.stdin.read()  # until the benchmark closes stdin
    zc.unregister_service(info)
    zc.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
