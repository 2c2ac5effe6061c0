# SPDX-License-Identifier: MIT
"""The live tests' host process, driven over a pipe."""
import json
import os
import selectors
import subprocess
import tempfile
from pathlib import Path

from netlab import PYTHON, STEP_TIMEOUT

HOST_SCRIPT = Path(__file__).resolve().parent / "host.py"
WITHOUT_CLIENT = Path(__file__).resolve().parents[1] / "unit" / "without_client.sh"

# How a host reaches the responder. "client": the shipped module as it meets an Avahi machine,
# with Avahi's compatibility library installed; it takes Avahi's client library. "compat": the
# module's DNS-SD way alone (a test build), which hands every call to the compatibility
# library. "client-only": the shipped module with the compatibility library out of reach.
# "none": neither library in reach.
MASKED = {
    "compat": [],
    "client": [],
    "client-only": ["libdns_sd.so.1"],
    "none": ["libdns_sd.so.1", "libavahi-client.so.3"],
}
WAYS = ["compat", "client"]


def module_dir(lab, way):
    """The folder whose libQuivaneDll.so the host loads."""
    if way != "compat":
        return str(lab.module_dir)
    folder = os.environ.get("QUIVANE_DNSSD_ONLY_DIR")
    assert folder and Path(folder, "libQuivaneDll.so").exists(), \
        "QUIVANE_DNSSD_ONLY_DIR must name the folder of the DNS-SD-only test module"
    return folder


def stand_in_record(calls, name, regtype, domain, port_bytes):
    """What host.py reports of the recording stand-in after a call the module passed on with
    the fixed arguments: flags 0, every interface, no host, an empty TXT record given as a
    pointer to a zero byte, the reply callback, no context, and a reference stored."""
    return {"stand-in": True, "calls": calls, "flags": 0, "interface": 0, "name": name,
            "regtype": regtype, "domain": domain, "domain_is_buffer": True, "host": None,
            "port_bytes": port_bytes, "txt_len": 0, "txt_given": True, "txt_first_byte": 0,
            "callback_given": True, "context": None, "ref_stored": True}


class Host:
    """A host process inside namespace A that registers through the module on request."""

    def __init__(self, lab, env=None, way="client", library_path=()):
        masks = [arg for soname in MASKED[way] for arg in ("--mask", soname)]
        command = ([str(WITHOUT_CLIENT)] + masks if masks else []) + [PYTHON, str(HOST_SCRIPT)]
        # What the host writes to its standard error, kept for the tests to read.
        self.stderr = tempfile.TemporaryFile(mode="w+")
        search = ":".join(list(library_path) + [module_dir(lab, way)])
        self.process = subprocess.Popen(
            lab.in_a(command),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.stderr, text=True,
            env={**lab.module_env(), "LD_LIBRARY_PATH": search, **(env or {})})
        assert json.loads(self._line(STEP_TIMEOUT)) == {"ready": True}

    def _line(self, timeout):
        with selectors.DefaultSelector() as selector:
            selector.register(self.process.stdout, selectors.EVENT_READ)
            if not selector.select(timeout):
                raise TimeoutError(f"host gave no answer within {timeout} s")
        line = self.process.stdout.readline()
        if not line:
            raise RuntimeError(f"host ended (exit {self.process.wait(5)})")
        return line

    def register(self, name, regtype, domain, port, timeout=STEP_TIMEOUT):
        self.process.stdin.write(json.dumps([name, regtype, domain, port]) + "\n")
        self.process.stdin.flush()
        return json.loads(self._line(timeout))

    def resources(self):
        """The host's threads, open sockets and open descriptors, from /proc."""
        pid = self.process.pid
        threads = len(list(Path(f"/proc/{pid}/task").iterdir()))
        fds = [os.readlink(fd) for fd in Path(f"/proc/{pid}/fd").iterdir()]
        return threads, sum(1 for fd in fds if fd.startswith("socket:")), len(fds)

    def errors(self):
        """Everything the host has written to its standard error so far."""
        self.stderr.seek(0)
        return self.stderr.read()

    def ask(self, request):
        """A request other than a registration (see host.py); returns the host's answer."""
        self.process.stdin.write(json.dumps(request) + "\n")
        self.process.stdin.flush()
        return json.loads(self._line(STEP_TIMEOUT))

    def close(self):
        """Ends the host by its pid and returns its exit status."""
        if self.process.poll() is None:
            self.process.terminate()
        try:
            return self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait(10)
