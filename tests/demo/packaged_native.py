# SPDX-License-Identifier: MIT
"""Run inside an older Debian by check_fresh_debian.sh: the packaged module, loaded by that
release's python3, registers through each Linux way to that release's own Avahi in a private
responder, and a python-zeroconf peer in the other namespace must see it with its port. With
neither client library in reach, and with the responder stopped, it answers false and the host
process lives on.

  packaged_native.py MODULE_DIR     prints one line per case; exit 0 when every case held
"""
import os
import platform
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "scripts"), str(ROOT / "tests" / "live")]

from netlab import DEMO_TOOLS, Lab, require_namespaces  # noqa: E402
from livehost import WAYS, Host  # noqa: E402

REGTYPE = "_quivane-old._tcp"


def register_once(lab, way, name, port):
    """One registration in a host process of its own; the answer, and whether the host is alive."""
    host = Host(lab, way=way)
    try:
        answer = host.register(name, REGTYPE, ".", port)
        seen = lab.resolve(REGTYPE, name) if answer["ok"] else None
        alive = host.process.poll() is None
    finally:
        host.close()
    return answer, seen, alive


def main(module_dir):
    release = dict(line.rstrip("\n").split("=", 1) for line in open("/etc/os-release") if "=" in line)
    pretty = release.get("PRETTY_NAME", "?").strip('"')
    print(f"{pretty}: {os.confstr('CS_GNU_LIBC_VERSION')}, "
          f"python {platform.python_version()}")
    problem = require_namespaces(DEMO_TOOLS)
    if problem:
        print(f"FAIL: {problem}")
        return 1
    failures = []
    lab = Lab(1, Path(module_dir))
    try:
        lab.up()
        print(lab.responder_note)
        for i, way in enumerate(WAYS):
            name, port = f"Old glibc {way}", 4801 + i
            answer, seen, alive = register_once(lab, way, name, port)
            where = (f"at {', '.join(seen['addresses'])} port {seen['port']}" if seen and seen["found"]
                     else "nothing")
            print(f"way {way}: RegisterService answered {answer['ok']} in {answer['ms']:.0f} ms; "
                  f"the observer saw {where}")
            if not (answer["ok"] and seen and seen["found"] and seen["port"] == port and alive):
                failures.append(f"way {way}: the observer did not see '{name}' at port {port}")
        answer, _, alive = register_once(lab, "none", "Old glibc nowhere", 4800)
        print(f"neither client library: answered {answer['ok']}, host alive: {alive}")
        if answer["ok"] or not alive:
            failures.append("without either client library the call did not answer false, or the host died")
        lab.stop_avahi()
        for way in WAYS:
            answer, _, alive = register_once(lab, way, "Old glibc unanswered", 4800)
            print(f"no responder, way {way}: answered {answer['ok']}, host alive: {alive}")
            if answer["ok"] or not alive:
                failures.append(f"no responder, way {way}: the call did not answer false, or the host died")
    finally:
        lab.down()
    for failure in failures:
        print(f"FAIL: {failure}")
    print("packaged module on this release: " + ("FAILED" if failures else "OK"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
