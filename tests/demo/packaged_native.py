# SPDX-License-Identifier: MIT
"""Run inside an older Debian by check_fresh_debian.sh: the packaged module, loaded by that
release's python3, registers through Avahi's client library with that release's own Avahi in a
private responder (the compatibility library installed too), and a python-zeroconf peer in the
other namespace must see it with its port while the host prints nothing. With avahi-daemon
stopped, the call goes to libdns_sd.so.1 (here the recording stand-in), which must receive
every argument. With neither library in reach, or no responder at all, it answers false and
the host process lives on.

  packaged_native.py MODULE_DIR STUB_DIR     prints one line per case; exit 0 when every case held
"""
import os
import platform
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(ROOT / "scripts"), str(ROOT / "tests" / "live")]

from netlab import DEMO_TOOLS, Lab, require_namespaces  # noqa: E402
from livehost import Host, stand_in_record  # noqa: E402

REGTYPE = "_quivane-old._tcp"


def register_once(lab, way, name, port, library_path=()):
    """One registration in a host process of its own: the answer, what the observer resolved
    while the host lived, what the host printed, the stand-in's record of the call when it is
    in reach, and whether the host is alive."""
    host = Host(lab, way=way, library_path=library_path)
    try:
        answer = host.register(name, REGTYPE, ".", port)
        seen = lab.resolve(REGTYPE, name) if answer["ok"] and not library_path else {"found": False}
        call = host.ask({"stand-in": "last"}) if library_path else None
        alive = host.process.poll() is None
        printed = host.errors()
    finally:
        host.close()
    return answer, seen, printed, call, alive


def main(module_dir, stub_dir):
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
        name, port = "Old glibc client", 4801
        answer, seen, printed, _, alive = register_once(lab, "client", name, port)
        where = f"at {', '.join(seen['addresses'])} port {seen['port']}" if seen["found"] else "nothing"
        print(f"Avahi's client library: RegisterService answered {answer['ok']} in {answer['ms']:.0f} ms; "
              f"the observer saw {where}; the host printed {printed!r}")
        if not (answer["ok"] and seen["found"] and seen["port"] == port and alive and printed == ""):
            failures.append(f"client library: the observer did not see '{name}' at port {port}, "
                            "or the host printed something")
        answer, _, _, _, alive = register_once(lab, "none", "Old glibc nowhere", 4800)
        print(f"neither client library: answered {answer['ok']}, host alive: {alive}")
        if answer["ok"] or not alive:
            failures.append("without either client library the call did not answer false, or the host died")
        lab.stop_avahi()
        answer, _, _, _, alive = register_once(lab, "client", "Old glibc unanswered", 4800)
        print(f"no responder: answered {answer['ok']}, host alive: {alive}")
        if answer["ok"] or not alive:
            failures.append("no responder: the call did not answer false, or the host died")
        answer, _, _, call, alive = register_once(lab, "client", "Old glibc stand-in", 4711, [stub_dir])
        expected = stand_in_record(1, "Old glibc stand-in", REGTYPE, "", [0x12, 0x67])
        print(f"no avahi-daemon, libdns_sd.so.1 the stand-in: answered {answer['ok']}, "
              f"it received {call}")
        if not (answer["ok"] and call == expected and alive):
            failures.append(f"the DNS-SD way: the stand-in received {call}, not {expected}")
    finally:
        lab.down()
    for failure in failures:
        print(f"FAIL: {failure}")
    print("packaged module on this release: " + ("FAILED" if failures else "OK"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
