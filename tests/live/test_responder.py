# SPDX-License-Identifier: MIT
"""The private responder helper itself: stop must leave none of its processes behind."""
import os
import shutil
import subprocess
from pathlib import Path

from netlab import RESPONDER, run


def processes_in_mount_namespace(ns):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if os.readlink(f"/proc/{entry}/ns/mnt") == ns:
                    found.append(int(entry))
            except OSError:
                pass
    return found


def test_stop_ends_every_process_the_responder_started():
    state = Path(f"/tmp/quivane-stop-{os.getpid()}")
    try:
        run([str(RESPONDER), "start", str(state)], timeout=60)
        supervisor = int((state / "supervisor.pid").read_text())
        ns = os.readlink(f"/proc/{supervisor}/ns/mnt")
        assert ns != os.readlink("/proc/self/ns/mnt")
        # A process started through exec and left running, as a crashed test would leave it.
        straggler = subprocess.Popen([str(RESPONDER), "exec", str(state), "sleep", "600"])
        inside = processes_in_mount_namespace(ns)
        names = {Path(f"/proc/{pid}/comm").read_text().strip() for pid in inside}
        assert {"dbus-daemon", "avahi-daemon", "sleep"} <= names, names

        run([str(RESPONDER), "stop", str(state)])
        assert straggler.wait(10) is not None
        assert processes_in_mount_namespace(ns) == []
    finally:
        run([str(RESPONDER), "stop", str(state)], check=False)
        shutil.rmtree(state, ignore_errors=True)
