# SPDX-License-Identifier: MIT
"""The installed package against the recording stand-in: the bytes that reach
DNSServiceRegister for the shared cases, sync and async; every refused input refused before any
call; held calls that leave the event loop and its default executor free; threads, fork, and
the errors of a platform without a native or a native that cannot be loaded."""
import json
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

import pytest


def text(hex_text):
    return None if hex_text is None else bytes.fromhex(hex_text).decode("utf-8")


def logged(name, regtype, domain, port):
    """The stand-in's line for one call; None stands for a null pointer."""
    def shown(value):
        return b"(null)" if value is None else value.encode("utf-8")
    return (b"name=" + shown(name) + b" regtype=" + shown(regtype) + b" domain=" + shown(domain) +
            b" port=%04x flags=0 if=0 host=(null) txtLen=0" % port)


def call(kwargs, passed_domain=None):
    """A call's keyword arguments and the line it must leave at the stand-in."""
    domain = kwargs.get("domain") if passed_domain is None else passed_domain
    return kwargs, logged(kwargs.get("name"), kwargs["type"], domain, kwargs["port"])


def shared_calls(cases):
    """The shared tables' cases that Python can express and the native must be handed."""
    calls = []
    for label, port, _, _ in cases["ports"]:
        if 0 <= port <= 65535:
            calls.append(call({"name": f"port {label}", "type": "_qvpy._tcp", "port": port}))
    for label, given, passed in cases["domains"]:
        calls.append(call({"name": f"domain {label}", "type": "_qvpy._tcp", "port": 80,
                           "domain": text(given)}, text(passed)))
    for label, name, regtype, domain, well_formed in cases["utf8"]:
        if well_formed:
            calls.append(call({"name": text(name), "type": text(regtype), "port": 80,
                               "domain": text(domain)}))
    calls.append(call({"name": None, "type": "_qvpy._tcp", "port": 80}))
    calls.append(call({"type": "_qvpy._tcp", "port": 80, "domain": None}))
    return calls


def refusals(cases):
    """Inputs refused before any call: (keyword arguments, error class, the argument named)."""
    wrong = []
    for label, port, _, _ in cases["ports"]:
        if not 0 <= port <= 65535:  # what the native would cut to 16 bits
            wrong.append(({"type": "_qvpy._tcp", "port": port}, "ValueError", "port"))
    for label, name, regtype, domain, well_formed in cases["utf8"]:
        if not well_formed:
            # Bytes that are not UTF-8 reach Python as lone surrogates (os.fsdecode, sys.argv).
            slot = label.rsplit(" ", 1)[1]
            field = {"name": "name", "regtype": "type", "domain": "domain"}[slot]
            raw = {"name": name, "type": regtype, "domain": domain}
            kwargs = {key: bytes.fromhex(value).decode("utf-8", "surrogateescape")
                      for key, value in raw.items()}
            wrong.append((dict(kwargs, port=80), "ValueError", field))
    svc = {"type": "_qvpy._tcp", "port": 80}
    wrong += [
        ({**svc, "port": 2**32 + 80}, "ValueError", "port"),
        ({**svc, "port": True}, "TypeError", "port"),
        ({**svc, "port": 80.0}, "TypeError", "port"),
        ({**svc, "port": "80"}, "TypeError", "port"),
        ({**svc, "port": None}, "TypeError", "port"),
        ({**svc, "type": None}, "TypeError", "type"),
        ({**svc, "type": 80}, "TypeError", "type"),
        ({**svc, "type": {"bytes": "5f717670792e5f746370"}}, "TypeError", "type"),
        ({**svc, "name": {"bytes": "737663"}}, "TypeError", "name"),
        ({**svc, "name": 7}, "TypeError", "name"),
        ({**svc, "domain": {}}, "TypeError", "domain"),
        ({**svc, "domain": {"bytes": "2e"}}, "TypeError", "domain"),
        ({**svc, "name": "a\0b"}, "ValueError", "name"),
        ({**svc, "type": "_qvpy._tcp\0x"}, "ValueError", "type"),
        ({**svc, "domain": "local.\0"}, "ValueError", "domain"),
        ({**svc, "name": "a\ud800"}, "ValueError", "name"),
    ]
    return wrong


def test_the_stand_in_gets_the_bytes_and_bad_input_never_reaches_it(run_app, shared_cases, tmp_path):
    calls = shared_calls(shared_cases)
    wrong = refusals(shared_cases)
    table = tmp_path / "cases.json"
    table.write_text(json.dumps({"calls": [kwargs for kwargs, _ in calls],
                                 "refusals": [kwargs for kwargs, _, _ in wrong]}))
    answers, log = run_app("cases", table)
    assert answers["answers"] == [[True, True]] * len(calls)
    # Each call once sync, once async; nothing from the refusals.
    assert log == [line for _, line in calls for _ in (0, 1)]
    assert len(answers["refused"]) == len(wrong) and len(wrong) > 3 + 15 * 3
    for (kwargs, error, field), got in zip(wrong, answers["refused"]):
        for form, (name, message) in (("sync", got[0:2]), ("async", got[2:4])):
            assert name == error, f"{kwargs} ({form}): {name} {message}"
            assert message.startswith(f"quivanedll: {field} "), f"{kwargs} ({form}): {message}"


def test_the_responders_answer_passes_through(run_app, shared_cases, tmp_path):
    table = tmp_path / "cases.json"
    table.write_text(json.dumps({"calls": [{"type": "_qvpy._tcp", "port": 80}], "refusals": []}))
    for code, accepted in shared_cases["results"]:
        answers, log = run_app("cases", table, env={"QUIVANE_STUB_RESULT": str(code)})
        assert answers["answers"] == [[accepted, accepted]], code
        assert len(log) == 2


HELD_MS = 500


def test_held_calls_leave_the_loop_and_its_default_executor_free(run_app):
    result, log = run_app("held", env={"QUIVANE_STUB_DELAY_MS": str(HELD_MS)})
    assert result["answers"] == [True] * 4
    assert len(log) == 4
    # One after another on the package's own thread: four holds in a row.
    assert 4 * HELD_MS <= result["total_ms"] < 4 * HELD_MS + 1500, result
    assert result["getaddrinfo_ms"] < 250, f"getaddrinfo waited beside the held calls: {result}"
    assert result["max_tick_gap_ms"] < 150, f"the event loop stalled: {result}"
    assert result["ticks"] >= 100, result


def test_threads_and_a_loop_at_once_and_a_forked_child(run_app):
    result, log = run_app("threads")
    assert result["answers"] == [True] * 50
    assert len(log) == 50
    assert sorted(set(log)) == sorted({logged(f"Thread {i} {j}", "_qvpy._tcp", None, 80)
                                       for i in range(8) for j in range(5)} |
                                      {logged(f"Loop {i}", "_qvpy._tcp", None, 80) for i in range(10)})
    assert "quivanedll" in result["threads_named"]

    result, log = run_app("fork", env={"QUIVANE_STUB_DELAY_MS": "300"})
    assert result["child_status"] == 0, f"the forked child's calls failed or hung: {result}"
    assert result["held"] is True and result["parent_after"] is True
    # The fork waited for the call in progress, so no lock was copied held into the child.
    assert result["held_done_when_fork_returned"] is False and result["fork_ms"] >= 150, result
    assert sorted(log) == sorted(logged(n, "_qvpy._tcp", None, 80)
                                 for n in ("Before Fork", "Child Sync", "Child Async", "Parent After"))


def test_errors_name_what_is_missing_and_never_crash(run_app, venv_python, tmp_path):
    result, log = run_app("errors")
    assert result["positional"][0] == "TypeError"
    assert result["type missing"][0] == "TypeError" and "'type'" in result["type missing"][1]
    assert result["unknown keyword"][0] == "TypeError" and "'host'" in result["unknown keyword"][1]
    for form in ("unsupported", "unsupported async"):
        name, message = result[form]
        assert name == "UnsupportedPlatformError", result[form]
        assert message.startswith("quivanedll: no native module for freebsd14-"), message
        assert "carries linux-x86_64" in message, message
    assert result["is OSError"] is True
    assert result["then"] is True, "the call after a refused first one loads the native"
    assert len(log) == 1

    # A native the loader refuses: named with its path, as an OSError, and tried again.
    site = Path(subprocess.run([str(venv_python), "-c", "import quivanedll; print(quivanedll.__file__)"],
                               capture_output=True, text=True, check=True, cwd=tmp_path).stdout.strip()).parent
    assert site.is_relative_to(venv_python.parents[1]), f"imported {site}, not the installed package"
    copy = tmp_path / "broken" / "quivanedll"
    shutil.copytree(site, copy)
    native = copy / "native" / "linux-x86_64" / "libQuivaneDll.so"
    native.write_bytes(b"not a shared object")
    probe = ("import quivanedll\n"
             "for _ in range(2):\n"
             "    try:\n"
             "        quivanedll.register_service(type='_qvpy._tcp', port=80)\n"
             "    except quivanedll.NativeLoadError as error:\n"
             "        print(isinstance(error, OSError), error)\n")
    out = subprocess.run([str(venv_python), "-c", probe], capture_output=True, text=True, cwd=tmp_path,
                         env={**os.environ, "PYTHONPATH": str(copy.parent)}, check=True).stdout.splitlines()
    assert len(out) == 2
    for line in out:
        assert line.startswith(f"True quivanedll: cannot load the native module {native}: "), line


def test_the_pyinstaller_hook_is_found_through_its_entry_point(venv_python):
    probe = ("import importlib.metadata as m, os\n"
             "points = m.entry_points()\n"  # a dict of groups before Python 3.10
             "group = points.select(group='pyinstaller40') if hasattr(points, 'select') else points['pyinstaller40']\n"
             "(point,) = [e for e in group if e.name == 'hook-dirs']\n"
             "(folder,) = point.load()()\n"
             "print(sorted(os.listdir(folder)))\n"
             "print(open(os.path.join(folder, 'hook-quivanedll.py')).read())\n")
    out = subprocess.run([str(venv_python), "-c", probe], capture_output=True, text=True, check=True,
                         cwd=tempfile.gettempdir()).stdout
    assert "'hook-quivanedll.py'" in out.splitlines()[0]
    compile(out.split("\n", 1)[1], "hook-quivanedll.py", "exec")
