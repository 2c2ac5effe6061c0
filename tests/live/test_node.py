# SPDX-License-Identifier: MIT
"""The installed npm package registers on the private avahi-daemon through Avahi's client
library, with and without the compatibility library installed, and an independent mDNS peer
from npm (multicast-dns) in the other namespace sees it and its goodbye. QUIVANE_APP names the
app that installed the package (tests/node/install_app.sh)."""
import json
import os
import shutil
import subprocess
from pathlib import Path

import pytest

from livehost import MASKED, WITHOUT_CLIENT
from netlab import STEP_TIMEOUT

HERE = Path(__file__).resolve().parents[1] / "node"


@pytest.mark.parametrize("way", ["client", "client-only"])
def test_the_npm_package_is_seen_on_the_wire_and_says_goodbye(lab, way):
    app = Path(os.environ.get("QUIVANE_APP", ""))
    if not (app / "node_modules" / "quivanedll").is_dir():
        pytest.fail(f"QUIVANE_APP must name the app that installed quivanedll, not '{app}'")
    for script in ("live-host.cjs", "live-peer.cjs"):
        shutil.copy(HERE / script, app / script)
    name = f"Node Host {way}"
    instance = f"{name}._qvnpm._tcp.local"
    node = shutil.which("node")
    peer = subprocess.Popen(["ip", "netns", "exec", lab.ns_b, node, "live-peer.cjs", instance, "20"],
                            cwd=app, stdout=subprocess.PIPE, text=True)
    masks = [arg for soname in MASKED[way] for arg in ("--mask", soname)]
    command = ([str(WITHOUT_CLIENT)] + masks if masks else []) + [node, "live-host.cjs", name, "_qvnpm._tcp", "4713"]
    host = subprocess.Popen(lab.in_a(command), cwd=app, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True)
    try:
        assert json.loads(host.stdout.readline()) == {"ok": True}
        seen = json.loads(peer.stdout.readline())
        assert seen["found"], "the multicast-dns peer never saw the service"
        assert seen["srv"] == {"port": 4713, "target": f"{lab.host_name}.local"}
        assert seen["address"] == lab.addr_a
        assert seen["txt"] == [""], "the empty TXT record is one zero byte: one empty string"
        host.stdin.close()
        assert host.wait(STEP_TIMEOUT) == 0
        assert peer.stdout.readline().strip() == "gone"
    finally:
        for process in (host, peer):
            if process.poll() is None:
                process.kill()
                process.wait(10)
