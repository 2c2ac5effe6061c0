# SPDX-License-Identifier: MIT
"""The demo with a private responder: the command-line host advertises in namespace A, and an
independent mDNS peer in namespace B shows the service as seen on the network."""
import subprocess
import sys
from pathlib import Path

from netlab import DEMO_TOOLS, STEP_TIMEOUT, Lab, require_namespaces


def main(module_dir, cli, name, regtype, port):
    problem = require_namespaces(DEMO_TOOLS)
    if problem:
        print(f"demo: {problem}", file=sys.stderr)
        return 1
    lab = Lab(250, Path(module_dir))
    host = None
    try:
        lab.up()
        print(lab.responder_note)
        print(f"responder {lab.host_name}.local at {lab.addr_a} (namespace {lab.ns_a}); "
              f"observer at {lab.addr_b} (namespace {lab.ns_b})")
        host = subprocess.Popen(lab.in_a([cli, name, regtype, ".", port, "--verify"]),
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                env=lab.module_env())
        seen = lab.resolve(regtype, name)
        host.terminate()
        out, _ = host.communicate(timeout=STEP_TIMEOUT)
        print("-- the host:")
        print(out.rstrip())
        print("-- the observer namespace, on the wire:")
        if not seen["found"]:
            print(f"NOT SEEN: no peer resolved '{name}' ({regtype})")
            return 1
        print(f"seen '{name}' ({regtype}.local.) at {seen['server']} "
              f"{', '.join(seen['addresses'])} port {seen['port']}, "
              f"{seen['ms']:.0f} ms after the peer started looking")
        return 0 if seen["port"] == int(port) and host.returncode == 0 else 1
    finally:
        if host is not None and host.poll() is None:
            host.kill()
            host.wait(10)
        lab.down()
        print("-- cleaned up: responder stopped, namespaces removed")


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:6]))
