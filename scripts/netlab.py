# SPDX-License-Identifier: MIT
"""Two network namespaces joined by a veth pair: A holds a private responder and the hosts
that load the module, B holds independent peers that look at what reaches the wire. The
addresses exist only inside the two namespaces. Used by the live tests and the demo."""
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
RESPONDER = HERE / "responder.sh"
PYTHON = "/usr/bin/python3"  # the interpreter that Debian's python3-zeroconf belongs to
STEP_TIMEOUT = 30


def run(args, timeout=STEP_TIMEOUT, check=True, **kwargs):
    result = subprocess.run(args, capture_output=True, text=True, timeout=timeout, **kwargs)
    if check and result.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, args))} failed ({result.returncode}):\n"
                           f"{result.stdout}{result.stderr}")
    return result


class Lab:
    def __init__(self, index, module_dir):
        tag = f"{os.getpid() % 100000}{index}"
        self.ns_a, self.ns_b = f"quivane-{tag}-a", f"quivane-{tag}-b"
        self.veth_a, self.veth_b = f"qv{tag}a", f"qv{tag}b"
        self.addr_a, self.addr_b = f"10.213.{index}.1", f"10.213.{index}.2"
        self.host_name = f"quivane-lab{index}"
        self.state = Path(f"/tmp/quivane-lab-{tag}")
        self.module_dir = module_dir
        self.responder_up = False
        self.state_b = None
        self.responder_note = ""

    def up(self):
        for ns in (self.ns_a, self.ns_b):
            run(["ip", "netns", "add", ns])
        run(["ip", "netns", "exec", self.ns_a, "ip", "link", "add", self.veth_a, "type", "veth",
             "peer", "name", self.veth_b, "netns", self.ns_b])
        for ns, dev, addr in ((self.ns_a, self.veth_a, self.addr_a),
                              (self.ns_b, self.veth_b, self.addr_b)):
            for cmd in (["ip", "link", "set", "lo", "up"],
                        ["ip", "addr", "add", f"{addr}/24", "dev", dev],
                        ["ip", "link", "set", dev, "up", "multicast", "on"],
                        ["ip", "route", "add", "224.0.0.0/4", "dev", dev]):
                run(["ip", "netns", "exec", ns] + cmd)
        self.start_responder()
        return self

    def start_responder(self):
        # Marked first, so that down() stops whatever a failed start left running.
        self.responder_up = True
        self.responder_note = self._start(self.state, self.ns_a, self.host_name)

    def start_observer_responder(self):
        """A second responder, in B, as another host on the link would have."""
        self.state_b = Path(f"{self.state}-b")
        self._start(self.state_b, self.ns_b, f"{self.host_name}-b")

    @staticmethod
    def _start(state, ns, host_name):
        return run([str(RESPONDER), "start", str(state), "--netns", ns, "--host-name", host_name],
                   timeout=60).stdout.strip()

    @staticmethod
    def _in(state, command):
        """Prefix that runs command in a responder's namespaces, with its private /run."""
        return [str(RESPONDER), "exec", str(state)] + list(command)

    def in_b_responder(self, command):
        return self._in(self.state_b, command)

    def restart_avahi(self):
        run([str(RESPONDER), "restart-avahi", str(self.state)], timeout=60)

    def restart_bus(self):
        run([str(RESPONDER), "restart-bus", str(self.state)], timeout=60)

    def stop_avahi(self):
        run([str(RESPONDER), "stop-avahi", str(self.state)])

    def down(self):
        if self.responder_up:
            run([str(RESPONDER), "stop", str(self.state)], check=False)
        if self.state_b is not None:
            run([str(RESPONDER), "stop", str(self.state_b)], check=False)
            shutil.rmtree(self.state_b, ignore_errors=True)
        for ns in (self.ns_a, self.ns_b):
            run(["ip", "netns", "del", ns], check=False)
        shutil.rmtree(self.state, ignore_errors=True)

    def module_env(self):
        return {**os.environ, "LD_LIBRARY_PATH": str(self.module_dir)}

    def in_a(self, command):
        return self._in(self.state, command)

    def resolve(self, regtype, name, timeout=8.0):
        """Asks the python-zeroconf peer in B; returns its JSON answer."""
        result = run(["ip", "netns", "exec", self.ns_b, PYTHON, str(HERE / "mdns_peer.py"), "resolve",
                      regtype, name, str(timeout)], timeout=timeout + STEP_TIMEOUT, check=False)
        lines = result.stdout.strip().splitlines()
        if not lines:
            raise RuntimeError(f"the peer in B answered nothing about {name!r} (exit "
                               f"{result.returncode}): {result.stderr.strip()}")
        return json.loads(lines[-1])

    def dig_srv(self, regtype, name, rtype="SRV"):
        """A one-shot DNS query (SRV unless told) from B to the responder in A on port 5353: a
        second, unrelated mDNS client."""
        label = name.replace("\\", "\\\\").replace(".", "\\.").replace(" ", "\\032")
        result = run(["ip", "netns", "exec", self.ns_b, "dig", "-p", "5353", f"@{self.addr_a}",
                      "+short", "+time=2", "+tries=2", f"{label}.{regtype}.local", rtype],
                     check=False)
        return result.stdout.strip()

    def peer(self, mode, regtype, name, timeout=8.0):
        """Starts the zeroconf peer in B in the background ("watch" or "visible" mode)."""
        return subprocess.Popen(
            ["ip", "netns", "exec", self.ns_b, PYTHON, str(HERE / "mdns_peer.py"), mode, regtype,
             name, str(timeout)], stdout=subprocess.PIPE, text=True)


DEMO_TOOLS = ("dbus-daemon", "avahi-daemon", "nsenter")


def require_namespaces(tools=DEMO_TOOLS + ("dig",)):
    """Returns an error text when this machine cannot create network namespaces or lacks one of
    the tools (the tests' peers also use dig; the demo does not)."""
    if os.geteuid() != 0:
        return "live tests need root: they create network namespaces and a private system bus"
    probe = f"quivane-probe-{os.getpid()}"
    result = subprocess.run(["ip", "netns", "add", probe], capture_output=True, text=True)
    if result.returncode != 0:
        return f"cannot create a network namespace: {result.stderr.strip()}"
    subprocess.run(["ip", "netns", "del", probe], capture_output=True)
    for tool in tools:
        if subprocess.run(["which", tool], capture_output=True).returncode != 0:
            return f"{tool} is not installed"
    if subprocess.run([PYTHON, "-c", "import zeroconf"], capture_output=True).returncode != 0:
        return f"python3-zeroconf is not installed for {PYTHON}"
    return None


def wait_for(predicate, timeout, interval=0.2):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return predicate()


if __name__ == "__main__":
    sys.exit("a helper module for the live tests and the demo")
