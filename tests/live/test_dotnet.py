# SPDX-License-Identifier: MIT
"""A C# host built on the packed .NET package registers on the real avahi-daemon, and the peer
on the other end of the veth pair sees it. QUIVANE_DOTNET_APP names the published App.dll."""
import os
import subprocess
from pathlib import Path

import pytest

from netlab import STEP_TIMEOUT


def test_a_dotnet_host_is_seen_on_the_wire(lab):
    app = os.environ.get("QUIVANE_DOTNET_APP", "")
    if not Path(app).is_file():
        pytest.fail(f"QUIVANE_DOTNET_APP must name the published App.dll, not '{app}'")
    name = "K\u00fcche \u2615 .NET"
    host = subprocess.Popen(lab.in_a(["dotnet", app, name, "_qvdotnet._tcp", ".", "4712", "60"]),
                            stdout=subprocess.PIPE, text=True)
    try:
        assert host.stdout.readline().strip() == "RegisterService = True"
        seen = lab.resolve("_qvdotnet._tcp", name)
        assert seen["found"], "the peer never resolved the .NET host's service"
        assert seen["port"] == 4712
        assert lab.addr_a in seen["addresses"]
    finally:
        host.terminate()
        host.wait(STEP_TIMEOUT)
