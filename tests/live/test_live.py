# SPDX-License-Identifier: MIT
"""The module against a real Avahi responder, checked by mDNS peers on the other end of a
veth pair. Every step has a bounded wait, so a stuck daemon fails instead of hanging."""
import json
import os
import signal
import subprocess
import time

import pytest

from livehost import WAYS, Host, stand_in_record
from netlab import STEP_TIMEOUT, run, wait_for

PROMPT_MS = 3000  # a refused call must come back well inside D-Bus's own 25 s timeout


@pytest.mark.parametrize("way", WAYS)
def test_an_asymmetric_port_arrives_in_network_order(lab, way):
    host = Host(lab, way=way)
    try:
        assert host.register("Port Check", "_qvport._tcp", ".", 4711)["ok"] is True
        seen = lab.resolve("_qvport._tcp", "Port Check")
        assert seen["found"], "the zeroconf peer never resolved the service"
        assert seen["port"] == 4711
        assert lab.addr_a in seen["addresses"]
        assert seen["server"] == f"{lab.host_name}.local."
        srv = wait_for(lambda: lab.dig_srv("_qvport._tcp", "Port Check"), 5)
        assert srv.splitlines()[0].split()[2:] == ["4711", f"{lab.host_name}.local."], srv
        # The empty TXT record: one zero byte, which dig shows as one empty string.
        assert lab.dig_srv("_qvport._tcp", "Port Check", "TXT") == '""'
    finally:
        host.close()


@pytest.mark.parametrize("way", WAYS)
@pytest.mark.parametrize("domain, after", [(".", ""), ("local.", "local."), ("", "")])
def test_the_default_domain_is_local(lab, domain, after, way):
    name = f"Domain {domain or 'empty'} {way}"
    host = Host(lab, way=way)
    try:
        answer = host.register(name, "_qvdomain._tcp", domain, 5000)
        assert answer["ok"] is True
        assert answer["domain"] == after
        seen = lab.resolve("_qvdomain._tcp.local.", name)
        assert seen["found"] and seen["port"] == 5000
    finally:
        host.close()


def test_a_utf8_name_with_spaces_arrives_intact(lab):
    name = "Caf\u00e9 Z\u00fcrich \u2013 K\u00fcche 2"
    host = Host(lab)
    try:
        assert host.register(name, "_qvutf._tcp", ".", 6000)["ok"] is True
        seen = lab.resolve("_qvutf._tcp", name)
        assert seen["found"] and seen["port"] == 6000
    finally:
        host.close()


@pytest.mark.parametrize("way", WAYS)
def test_a_null_name_is_published_under_the_host_name_and_an_empty_one_refused(lab, way):
    regtype = f"_qvnull{way}._tcp"
    host = Host(lab, way=way)
    try:
        assert host.register(None, regtype, ".", 7300)["ok"] is True
        assert host.register("", regtype, ".", 7301)["ok"] is False
        seen = lab.resolve(regtype, lab.host_name)
        assert seen["found"] and seen["port"] == 7300
    finally:
        host.close()


@pytest.mark.parametrize("way", WAYS)
def test_a_second_registration_does_not_withdraw_the_first(lab, way):
    host = Host(lab, way=way)
    try:
        regtype = f"_qvtwo{way}._tcp"
        assert host.register("First", regtype, ".", 7001)["ok"] is True
        assert host.register("Second", regtype, ".", 7002)["ok"] is True
        first = lab.resolve(regtype, "First")
        second = lab.resolve(regtype, "Second")
        assert (first["found"], first.get("port")) == (True, 7001)
        assert (second["found"], second.get("port")) == (True, 7002)
    finally:
        host.close()


@pytest.mark.parametrize("way", WAYS)
def test_the_service_goes_when_the_host_process_ends(lab, way):
    host = Host(lab, way=way)
    watcher = lab.peer("watch", "_qvbye._tcp", f"Goodbye {way}")
    try:
        assert host.register(f"Goodbye {way}", "_qvbye._tcp", ".", 7100)["ok"] is True
        assert watcher.stdout.readline().strip() == "present"
        ended = time.monotonic()
        host.close()
        out, _ = watcher.communicate(timeout=STEP_TIMEOUT)
        assert out.strip() == "gone", f"peer said {out!r} {time.monotonic() - ended:.1f} s after exit"
    finally:
        host.close()
        if watcher.poll() is None:
            watcher.kill()


@pytest.mark.parametrize("way", WAYS)
@pytest.mark.parametrize("label, name, regtype", [
    ("type without labels", "Bad Type", "foo"),
    ("null type", "Null Type", None),
    ("64-byte name", "n" * 64, "_qvbad._tcp"),
])
def test_a_request_the_responder_refuses_returns_false_promptly(lab, label, name, regtype, way):
    host = Host(lab, way=way)
    try:
        answer = host.register(name, regtype, ".", 80)
        assert answer["ok"] is False, label
        assert answer["ms"] < PROMPT_MS
        assert host.process.poll() is None, "the host crashed"
    finally:
        host.close()


@pytest.mark.parametrize("label, name", [("bytes FF FE", "fffe"), ("truncated E2 82", "e282")])
def test_a_malformed_name_is_refused_and_the_host_keeps_its_registrations(lab, label, name):
    regtype = f"_qvbad{name[:2]}._tcp"
    host = Host(lab)
    try:
        assert host.register("Held One", regtype, ".", 7401)["ok"] is True
        assert host.register("Held Two", regtype, ".", 7402)["ok"] is True
        answer = host.register({"hex": name}, regtype, ".", 7403)
        assert answer["ok"] is False, label
        assert answer["domain"] == "", "the dot domain is rewritten before the check"
        # The D-Bus layer under Avahi aborts the process on such text: the host must live on.
        assert host.process.poll() is None, "the host died"
        assert host.register("Held Three", regtype, ".", 7404)["ok"] is True
        for held, port in (("Held One", 7401), ("Held Two", 7402), ("Held Three", 7404)):
            seen = lab.resolve(regtype, held)
            assert (seen["found"], seen.get("port")) == (True, port), held
    finally:
        host.close()


@pytest.mark.parametrize("way", WAYS)
def test_the_same_registration_twice_is_accepted_both_times(lab, way):
    first, second = Host(lab, way=way), Host(lab, way=way)
    regtype = f"_qvsame{way}._tcp"
    try:
        assert first.register("Twice", regtype, ".", 8101)["ok"] is True
        assert second.register("Twice", regtype, ".", 8101)["ok"] is True
        seen = lab.resolve(regtype, "Twice")
        assert seen["found"] and seen["port"] == 8101
    finally:
        first.close()
        second.close()


@pytest.mark.parametrize("way", WAYS)
def test_the_same_name_twice_on_one_responder_is_refused_the_second_time(lab, way):
    first, second = Host(lab, way=way), Host(lab, way=way)
    regtype = f"_qvdup{way}._tcp"
    try:
        assert first.register("Taken", regtype, ".", 8001)["ok"] is True
        answer = second.register("Taken", regtype, ".", 8002)
        assert answer["ok"] is False
        assert answer["ms"] < PROMPT_MS
        seen = lab.resolve(regtype, "Taken")
        assert seen["found"] and seen["port"] == 8001
    finally:
        first.close()
        second.close()


@pytest.mark.parametrize("way", WAYS)
def test_a_name_taken_on_another_host_returns_true_but_is_never_published(fresh_lab, way):
    fresh_lab.start_observer_responder()
    other = subprocess.Popen(
        fresh_lab.in_b_responder(["avahi-publish", "-s", "Taken Elsewhere", "_qvelse._tcp", "9100"]),
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    host = Host(fresh_lab, way=way)
    try:
        assert "Established" in other.stdout.readline()
        assert host.register("Taken Elsewhere", "_qvelse._tcp", ".", 9200)["ok"] is True
        assert host.register("Free Name", "_qvelse._tcp", ".", 9300)["ok"] is True
        # Probing finds the conflict after the call has returned; nothing reports it back.
        time.sleep(3)
        seen = fresh_lab.resolve("_qvelse._tcp", "Taken Elsewhere")
        assert seen["found"] and seen["port"] == 9100, "the other host's service is there"
        browsed = run(fresh_lab.in_b_responder(["avahi-browse", "-rpt", "_qvelse._tcp"])).stdout
        ports = {line.split(";")[8] for line in browsed.splitlines() if line.startswith("=")}
        assert ports == {"9100", "9300"}, f"the responder in B resolves {browsed!r}"
    finally:
        host.close()
        other.terminate()
        other.wait(STEP_TIMEOUT)


@pytest.mark.parametrize("way", WAYS + ["none"])
def test_without_any_system_bus_the_call_returns_false(lab, way):
    host = Host(lab, env={"DBUS_SYSTEM_BUS_ADDRESS": "unix:path=/nonexistent/quivane/bus"}, way=way)
    try:
        answer = host.register("No Bus", "_qvnobus._tcp", ".", 80)
        assert answer["ok"] is False
        assert answer["ms"] < PROMPT_MS
        assert answer["domain"] == ""
    finally:
        assert host.close() in (0, -15)


@pytest.mark.parametrize("way", WAYS)
def test_with_the_bus_up_but_no_avahi_the_call_returns_false(fresh_lab, way):
    fresh_lab.stop_avahi()
    host = Host(fresh_lab, way=way)
    try:
        answer = host.register("No Daemon", "_qvnod._tcp", ".", 80)
        assert answer["ok"] is False
        assert answer["ms"] < PROMPT_MS
        assert host.process.poll() is None
    finally:
        host.close()


@pytest.mark.parametrize("way", WAYS)
def test_a_frozen_responder_holds_the_call_until_the_bus_times_out(fresh_lab, way):
    avahi = int((fresh_lab.state / "avahi.pid").read_text())
    host = Host(fresh_lab, way=way)
    try:
        assert host.register("Held", "_qvfrozen._tcp", ".", 81)["ok"] is True
        os.kill(avahi, signal.SIGSTOP)
        answer = host.register("Frozen", "_qvfrozen._tcp", ".", 80, timeout=60)
        assert answer["ok"] is False
        assert 20000 < answer["ms"] < 40000, "D-Bus's reply timeout is about 25 s"
        os.kill(avahi, signal.SIGCONT)
        # A slow daemon is not a lost one: what the host registered before is still there.
        seen = fresh_lab.resolve("_qvfrozen._tcp", "Held")
        assert seen["found"] and seen["port"] == 81
    finally:
        os.kill(avahi, signal.SIGCONT)
        host.close()


def test_a_responder_restart_drops_earlier_registrations(fresh_lab):
    host = Host(fresh_lab)
    try:
        assert host.register("Before Restart", "_qvrst._tcp", ".", 9001)["ok"] is True
        assert fresh_lab.resolve("_qvrst._tcp", "Before Restart")["found"]
        fresh_lab.restart_avahi()
        # The new daemon knows nothing of the old registration and nothing re-files it.
        assert fresh_lab.resolve("_qvrst._tcp", "Before Restart", timeout=3)["found"] is False
        assert host.register("After Restart", "_qvrst._tcp", ".", 9002)["ok"] is True
        seen = fresh_lab.resolve("_qvrst._tcp", "After Restart")
        assert seen["found"] and seen["port"] == 9002
    finally:
        host.close()


def test_the_command_line_host_advertises_until_it_ends(lab):
    cli = os.environ.get("QUIVANE_CLI")
    assert cli and os.path.exists(cli), "QUIVANE_CLI must name the built quivane-advertise"
    host = subprocess.Popen(lab.in_a([cli, "Cli Live", "_qvcli._tcp", ".", "4712", "--verify"]),
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            env=lab.module_env())
    try:
        seen = lab.resolve("_qvcli._tcp", "Cli Live")
        assert seen["found"] and seen["port"] == 4712
        host.terminate()
        out, _ = host.communicate(timeout=STEP_TIMEOUT)
        assert host.returncode == 0, out
        assert '= true' in out and 'domain buffer after the call: ""' in out
        assert "verify: resolved" in out and "port 4712" in out, out
    finally:
        if host.poll() is None:
            host.kill()
            host.wait(10)


def test_avahi_client_serves_many_registrations_over_one_connection_and_no_thread(fresh_lab):
    # More than the system bus's 256 connections per user, which one connection per
    # registration (the compatibility library) would use up for every process of this user.
    count = 300
    host = Host(fresh_lab, way="client")
    try:
        assert host.register("Many 0", "_qvmany._tcp", ".", 9400)["ok"] is True
        first = host.resources()
        started = time.monotonic()
        for i in range(1, count):
            assert host.register(f"Many {i}", "_qvmany._tcp", ".", 9400 + i)["ok"] is True, i
        per_call = (time.monotonic() - started) * 1000.0 / (count - 1)
        after = host.resources()
        print(f"client library, {count} registrations: threads, sockets, descriptors "
              f"{first} -> {after}; {per_call:.2f} ms a call through the host's pipe")
        assert after == first, "threads or descriptors grew with the registrations"
        assert host.errors() == "", f"the host's standard error: {host.errors()!r}"
        other = run(fresh_lab.in_a(["dbus-send", "--system", "--print-reply",
                                    "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus.GetId"]), check=False)
        assert other.returncode == 0, f"another process cannot use the system bus: {other.stderr}"
        fresh_lab.start_observer_responder()
        browsed = run(fresh_lab.in_b_responder(["avahi-browse", "-rpt", "_qvmany._tcp"]),
                      timeout=90).stdout
        ports = {int(line.split(";")[8]) for line in browsed.splitlines() if line.startswith("=")}
        assert ports == set(range(9400, 9400 + count)), f"{len(ports)} of {count} resolved"
    finally:
        host.close()


@pytest.mark.parametrize("way", WAYS)
def test_subtypes_are_published_under_sub(lab, way):
    regtype = f"_qvst{way[:3]}._tcp"
    host = Host(lab, way=way)
    try:
        answer = host.register("Sub Check", f"{regtype},_qvprint,_qvscan", ".", 7600)
        assert answer["ok"] is True
        for subtype in ("_qvprint", "_qvscan"):
            # dig in B: an mDNS client independent of Avahi and of the module.
            pointer = wait_for(lambda: run(
                ["ip", "netns", "exec", lab.ns_b, "dig", "-p", "5353", f"@{lab.addr_a}", "+short",
                 "+time=2", "+tries=2", f"{subtype}._sub.{regtype}.local", "PTR"],
                check=False).stdout.strip(), 5)
            assert pointer == f"Sub\\032Check.{regtype}.local.", subtype
        seen = lab.resolve(regtype, "Sub Check")
        assert seen["found"] and seen["port"] == 7600
    finally:
        host.close()


def test_without_avahi_daemon_the_dns_sd_library_gets_every_argument(fresh_lab):
    """Where the responder is not Avahi: the client library finds no avahi-daemon, and the call
    goes to libdns_sd.so.1, here the recording stand-in, exactly as the interface describes."""
    stub_dir = os.environ.get("QUIVANE_STUB_DIR")
    assert stub_dir and os.path.exists(os.path.join(stub_dir, "libdns_sd.so.1")), \
        "QUIVANE_STUB_DIR must name the folder of the recording stand-in"
    fresh_lab.stop_avahi()
    host = Host(fresh_lab, way="client", library_path=[stub_dir])
    try:
        for i, (domain, passed, port, port_bytes) in enumerate(
                [(".", "", 4711, [0x12, 0x67]), ("local.", "local.", 0x12345, [0x23, 0x45])]):
            answer = host.register("Stand-in", "_qvstand._tcp", domain, port)
            assert (answer["ok"], answer["domain"]) == (True, passed)
            call = host.ask({"stand-in": "last"})
            assert call == stand_in_record(i + 1, "Stand-in", "_qvstand._tcp", passed, port_bytes), call
        assert host.errors() == ""
    finally:
        host.close()


def test_avahi_client_reconnects_after_the_daemon_and_then_the_bus_restart(fresh_lab):
    host = Host(fresh_lab, way="client")
    try:
        assert host.register("Before", "_qvagain._tcp", ".", 9501)["ok"] is True
        for restart, name, port in ((fresh_lab.restart_avahi, "After Daemon", 9502),
                                    (fresh_lab.restart_bus, "After Bus", 9503)):
            restart()
            answer = host.register(name, "_qvagain._tcp", ".", port)
            assert answer["ok"] is True, name
            seen = fresh_lab.resolve("_qvagain._tcp", name)
            assert seen["found"] and seen["port"] == port, name
        # Registrations made before a restart went with the old daemon.
        assert fresh_lab.resolve("_qvagain._tcp", "Before", timeout=3)["found"] is False
    finally:
        host.close()


def test_without_either_client_library_the_call_returns_false_promptly(lab):
    host = Host(lab, way="none")
    try:
        answers = [host.register("Nowhere", "_qvnone._tcp", ".", 80) for _ in range(3)]
        print("neither library: " + ", ".join(f"{a['ms']:.2f} ms" for a in answers))
        assert [a["ok"] for a in answers] == [False] * 3
        assert all(a["ms"] < PROMPT_MS for a in answers)
        assert answers[0]["domain"] == ""
    finally:
        host.close()


def conformance_cases():
    dumper = os.environ.get("QUIVANE_CASES")
    assert dumper and os.path.exists(dumper), "QUIVANE_CASES must name the built dump_cases"
    return json.loads(run([dumper]).stdout)["conformance"]


@pytest.mark.parametrize("way", WAYS)
def test_each_way_answers_the_conformance_table(lab, way):
    def text(value):
        return None if value is None else {"hex": value}
    host = Host(lab, way=way)
    try:
        wrong = []
        for case in conformance_cases():
            answer = host.register(text(case["name"]), text(case["regtype"]),
                                   text(case["domain"]), case["port"])
            if answer["ok"] is not case[way]:
                wrong.append(f"{case['label']}: {answer['ok']}")
        assert host.process.poll() is None, "the host crashed"
        assert not wrong, f"answers that differ from the table: {wrong}"
        if way == "client":
            assert host.errors() == "", f"the host's standard error: {host.errors()!r}"
    finally:
        host.close()
