# SPDX-License-Identifier: MIT
"""The live tests' host process, driven over a pipe."""
import json
import os
import selectors
import subprocess
from pathlib import Path

from netlab import PYTHON, STEP_TIMEOUT

HOST_SCRIPT = Path(__file__).resolve().parent / "host.py"
WITHOUT_CLIENT = Path(__file__).resolve().parents[1] / "unit" / "without_client.sh"

# How a host reaches the responder: through the DNS-SD compatibility library, through Avahi's
# own client library (the compatibility library out of reach), or through neither.
MASKED = {
    "compat": [],
    "client": ["libdns_sd.so.1"],
    "none": ["libdns_sd.so.1", "libavahi-client.so.3"],
}
WAYS = ["compat", "client"]


class Host:
    """A host process inside namespace A that registers through the module on request."""

    def __init__(self, lab, env=None, way="compat"):
        masks = [arg for soname in MASKED[way] for arg in ("--mask", soname)]
        command = ([str(WITHOUT_CLIENT)] + masks if masks else []) + [PYTHON, str(HOST_SCRIPT)]
        self.process = subprocess.Popen(
            lab.in_a(command),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
            env={**lab.module_env(), **(env or {})})
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
        """The host's threads and open sockets, from /proc."""
        pid = self.process.pid
        threads = len(list(Path(f"/proc/{pid}/task").iterdir()))
        sockets = sum(1 for fd in Path(f"/proc/{pid}/fd").iterdir()
                      if os.readlink(fd).startswith("socket:"))
        return threads, sockets

    def close(self):
        """Ends the host by its pid and returns its exit status."""
        if self.process.poll() is None:
            self.process.terminate()
        try:
            return self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait(10)
