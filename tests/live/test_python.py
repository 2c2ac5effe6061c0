# SPDX-License-Identifier: MIT
"""The installed Python package registers on the private avahi-daemon through Avahi's client
library, with and without the compatibility library installed, with the call and the async
call; a python-zeroconf peer in the other namespace resolves both services and sees the goodbye
when the host ends, and the host prints nothing. QUIVANE_VENV names the virtual
environment that installed the wheel (tests/python/install_venv.sh)."""
import json
import os
import subprocess
from pathlib import Path

import pytest

from livehost import MASKED, WITHOUT_CLIENT
from netlab import STEP_TIMEOUT

HOST = Path(__file__).resolve().parents[1] / "python" / "live_host.py"


@pytest.mark.parametrize("way", ["client", "client-only"])
def test_the_python_package_is_seen_on_the_wire_and_says_goodbye(lab, way):
    python = Path(os.environ.get("QUIVANE_VENV", "")) / "bin" / "python"
    if not python.exists():
        pytest.fail(f"QUIVANE_VENV must name the virtual environment that installed quivanedll, not '{python}'")
    name = f"Python K\u00fcche {way}"
    peer = lab.peer("watch", "_qvpy._tcp", f"{name} async", timeout=20)
    masks = [arg for soname in MASKED[way] for arg in ("--mask", soname)]
    command = ([str(WITHOUT_CLIENT)] + masks if masks else []) + [str(python), str(HOST), name, "_qvpy._tcp", "4714"]
    host = subprocess.Popen(lab.in_a(command), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    try:
        assert json.loads(host.stdout.readline()) == {"ok": True, "ok_async": True}
        for instance in (name, f"{name} async"):
            seen = lab.resolve("_qvpy._tcp", instance)
            assert seen["found"], f"the python-zeroconf peer never resolved {instance}"
            assert seen["port"] == 4714
            assert seen["addresses"] == [lab.addr_a]
        assert peer.stdout.readline().strip() == "present"
        host.stdin.close()
        assert host.wait(STEP_TIMEOUT) == 0
        assert host.stderr.read() == "", "the host printed to its standard error"
        assert peer.stdout.readline().strip() == "gone", "the peer saw no goodbye"
        assert peer.wait(STEP_TIMEOUT) == 0
    finally:
        for process in (host, peer):
            if process.poll() is None:
                process.kill()
                process.wait(10)
