# SPDX-License-Identifier: MIT
"""The live tests' host process, driven over a pipe."""
import json
import selectors
import subprocess
from pathlib import Path

from netlab import PYTHON, STEP_TIMEOUT

HOST_SCRIPT = Path(__file__).resolve().parent / "host.py"


class Host:
    """A host process inside namespace A that registers through the module on request."""

    def __init__(self, lab, env=None):
        self.process = subprocess.Popen(
            lab.in_a([PYTHON, str(HOST_SCRIPT)]),
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

    def close(self):
        """Ends the host by its pid and returns its exit status."""
        if self.process.poll() is None:
            self.process.terminate()
        try:
            return self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait(10)
