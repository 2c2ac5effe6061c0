# SPDX-License-Identifier: MIT
"""An independent mDNS peer (python-zeroconf) that looks for a service on the wire.

  peer.py resolve TYPE NAME TIMEOUT   prints {"found", "port", "addresses", "server", "ms"}
  peer.py watch TYPE NAME TIMEOUT     prints "present" once seen, then "gone" once withdrawn
  peer.py visible TYPE NAME TIMEOUT   prints "listening", then {"at", "port"} with the
                                      CLOCK_MONOTONIC time at which the service resolved
Exit 0 when the thing looked for happened within TIMEOUT seconds, 1 otherwise.
"""
import json
import socket
import sys
import threading
import time

from zeroconf import IPVersion, ServiceBrowser, ServiceStateChange, Zeroconf


def resolve(zc, regtype, name, timeout):
    started = time.monotonic()
    deadline = started + timeout
    while time.monotonic() < deadline:
        info = zc.get_service_info(regtype, f"{name}.{regtype}", timeout=500)
        if info is not None and info.port is not None:
            print(json.dumps({
                "found": True,
                "port": info.port,
                "addresses": [socket.inet_ntoa(a) for a in info.addresses],
                "server": info.server,
                "ms": (time.monotonic() - started) * 1000.0,
            }), flush=True)
            return 0
    print(json.dumps({"found": False}), flush=True)
    return 1


def watch(zc, regtype, name, timeout):
    full = f"{name}.{regtype}"
    present = threading.Event()
    gone = threading.Event()

    def changed(zeroconf, service_type, name, state_change):
        if name != full:
            return
        if state_change is ServiceStateChange.Added and not present.is_set():
            print("present", flush=True)
            present.set()
        elif state_change is ServiceStateChange.Removed and present.is_set():
            gone.set()

    ServiceBrowser(zc, regtype, handlers=[changed])
    if not present.wait(timeout):
        print("never seen", flush=True)
        return 1
    # The caller ends the service after reading "present"; the timeout runs from there.
    if not gone.wait(timeout):
        print("still there", flush=True)
        return 1
    print("gone", flush=True)
    return 0


def visible(zc, regtype, name, timeout):
    full = f"{name}.{regtype}"
    added = threading.Event()

    def changed(zeroconf, service_type, name, state_change):
        if name == full and state_change is ServiceStateChange.Added:
            added.set()

    ServiceBrowser(zc, regtype, handlers=[changed])
    print("listening", flush=True)
    deadline = time.monotonic() + timeout
    if added.wait(timeout):
        while time.monotonic() < deadline:
            info = zc.get_service_info(regtype, full, timeout=200)
            if info is not None and info.port is not None:
                print(json.dumps({"at": time.monotonic(), "port": info.port}), flush=True)
                return 0
    print(json.dumps({"at": None}), flush=True)
    return 1


def main():
    command, regtype, name, timeout = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    if not regtype.endswith("."):
        regtype += ".local."
    zc = Zeroconf(ip_version=IPVersion.V4Only)
    try:
        return {"resolve": resolve, "watch": watch, "visible": visible}[command](zc, regtype, name, timeout)
    finally:
        zc.close()


if __name__ == "__main__":
    sys.exit(main())
