# SPDX-License-Identifier: MIT
"""Advertises the same service (_peer._tcp, port 4760, one fixed name) from a fresh host process
with each peer in turn, on one responder and one observer, and measures what each costs. Run by
scripts/bench-peers.sh as root, which builds and installs the hosts first.

usage: run_peers.py WORK_DIR PAGE IMG_DIR [--short] [--render]
  --render  writes the page block and the plots again from WORK_DIR/results.json

Writes WORK_DIR/results.json, the block between <!-- peers:begin --> and <!-- peers:end --> in
PAGE, and IMG_DIR/peers-visible.svg, peers-load-cpu.svg and peers-memory.svg.
"""
import json
import os
import platform
import re
import selectors
import signal
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
from netlab import PYTHON, STEP_TIMEOUT, Lab, require_namespaces  # noqa: E402

WIRE = Path(__file__).resolve().parent / "wire.py"
TYPE, PORT, NAME = "_peer._tcp", 4760, "Peer Service"
AVAHI_NAME, AVAHI_PORT = "Avahi Own Service", 4761  # what the system's responder publishes itself
LOAD_RATE = 200  # queries a second, both questions together
CONFLICT = re.compile(r"conflict|collision|already in use|NonUniqueName|name-change|renam", re.I)

FULL = {"runs": 7, "quiet": 60.0, "load": 60.0, "kill_cap": 60.0, "exit_cap": 30.0, "settle": 3.0}
SHORT = {"runs": 1, "quiet": 2.0, "load": 2.0, "kill_cap": 3.0, "exit_cap": 10.0, "settle": 0.5}


class Peer:
    def __init__(self, key, label, command, version, through_avahi, call=True, env=None, cwd=None):
        self.key, self.label, self.command, self.version = key, label, command, version
        self.through_avahi, self.call, self.env, self.cwd = through_avahi, call, env, cwd


def peers(work, lab, versions):
    bin_dir, node_app = work / "bin", work / "node"
    node = ["node", str(node_app / "host.cjs")]
    args = [NAME, TYPE, str(PORT)]
    module_env = {**lab.module_env(), "AVAHI_COMPAT_NOWARN": "1"}
    dotnet = lambda app: ["dotnet", str(work / "dotnet" / app / f"{app}.dll")]  # noqa: E731
    return [
        Peer("c", "the module from C", [str(bin_dir / "c-host")] + args, versions["module"], True,
             env=module_env),
        Peer("npm", "the npm package from Node", node + ["quivanedll"] + args, versions["npm"], True,
             env=module_env, cwd=node_app),
        Peer("nuget", "the NuGet package from .NET", dotnet("QuivaneHost") + args, versions["nuget"], True,
             env={**os.environ, "AVAHI_COMPAT_NOWARN": "1", "DOTNET_CLI_TELEMETRY_OPTOUT": "1"}),
        Peer("avahi-publish", "avahi-publish -s", ["avahi-publish", "-s"] + args,
             versions["avahi-publish"], True, call=False),
        Peer("bonjour-service", "bonjour-service", node + ["bonjour-service"] + args,
             versions["bonjour-service"], False, cwd=node_app),
        Peer("ciao", "@homebridge/ciao", node + ["ciao"] + args, versions["ciao"], False, cwd=node_app,
             env={**os.environ, "PEER_INTERFACE": lab.veth_a}),
        # The same with one TXT entry: ciao reads its own announcement of an empty TXT record as
        # a conflicting record and probes again, in a loop; with an entry it settles.
        Peer("ciao-txt", "@homebridge/ciao, one TXT entry", node + ["ciao"] + args, versions["ciao"], False,
             cwd=node_app, env={**os.environ, "PEER_INTERFACE": lab.veth_a, "PEER_TXT": "k=v"}),
        Peer("python-zeroconf", "python-zeroconf", [PYTHON, str(ROOT / "bench/peers/python/host.py")] +
             args + [lab.addr_a], versions["python-zeroconf"], False),
        Peer("makaretu", "Makaretu.Dns.Multicast", dotnet("MakaretuHost") + args, versions["makaretu"], False,
             env={**os.environ, "DOTNET_CLI_TELEMETRY_OPTOUT": "1"}),
    ]


def proc_stat(pid):
    """(CPU seconds, RSS bytes, threads, sockets) of a live process, from /proc."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    rss = next(int(line.split()[1]) * 1024 for line in Path(f"/proc/{pid}/status").read_text().splitlines()
               if line.startswith("VmRSS:"))
    threads = len(os.listdir(f"/proc/{pid}/task"))
    sockets = 0
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            sockets += os.readlink(f"/proc/{pid}/fd/{fd}").startswith("socket:")
        except OSError:
            pass
    return {"cpu": cpu, "rss": rss, "threads": threads, "sockets": sockets}


class Host:
    """One fresh host process in namespace A. Hosts with a call wait for a line on stdin before
    they load the peer; avahi-publish publishes from its launch."""

    def __init__(self, peer, lab, log):
        self.peer, self.log = peer, log
        self.lines = []
        launched = time.monotonic()
        self.process = subprocess.Popen(lab.in_a(peer.command), cwd=peer.cwd, env=peer.env or os.environ,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=open(log, "a"), text=True)
        self.before = None
        if peer.call:
            if self._json(STEP_TIMEOUT) != {"ready": True}:
                raise RuntimeError(f"{peer.label}: the host did not start")
        else:
            self.answer = {"ok": True, "returned_at": launched}
            threading.Thread(target=self._drain, daemon=True).start()

    def _drain(self):
        for line in self.process.stdout:
            self._keep(line)

    def _keep(self, line):
        with open(self.log, "a") as f:
            f.write(line)

    def _json(self, timeout):
        """The next JSON line on stdout; other lines (a peer's own printing) go to the log."""
        deadline = time.monotonic() + timeout
        with selectors.DefaultSelector() as selector:
            selector.register(self.process.stdout, selectors.EVENT_READ)
            while (left := deadline - time.monotonic()) > 0:
                if not selector.select(left):
                    break
                line = self.process.stdout.readline()
                if not line:
                    raise RuntimeError(f"{self.peer.label}: the host ended ({self.process.wait(5)})")
                try:
                    return json.loads(line)
                except ValueError:
                    self._keep(line)
        raise TimeoutError(f"{self.peer.label}: no answer within {timeout} s")

    def go(self):
        if self.peer.call:
            self.before = proc_stat(self.process.pid)
            self.process.stdin.write("go\n")
            self.process.stdin.flush()
            self.answer = self._json(STEP_TIMEOUT)
            threading.Thread(target=self._drain, daemon=True).start()
        return self.answer

    def stat(self):
        return proc_stat(self.process.pid)

    def end(self):
        """Ends the host the way its users' programs end: stdin closes (the host withdraws the
        service its peer's way and exits), or SIGTERM for avahi-publish."""
        if self.peer.call:
            self.process.stdin.close()
        else:
            self.process.terminate()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        self.wait()

    def wait(self):
        try:
            return self.process.wait(STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait(STEP_TIMEOUT)


def in_b(lab, args, **kwargs):
    """A Python helper in the observer's network namespace, started as Lab.peer starts the
    observer."""
    return subprocess.Popen(["ip", "netns", "exec", lab.ns_b, PYTHON] + [str(a) for a in args],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kwargs)


def last_json(process, timeout):
    out, err = process.communicate(timeout=timeout)
    lines = out.strip().splitlines()
    if not lines:
        raise RuntimeError(f"{' '.join(process.args)} answered nothing (exit {process.returncode}): {err}")
    return json.loads(lines[-1])


def avahi_pid(lab):
    return int((lab.state / "avahi.pid").read_text())


def avahi_log(lab):
    return (lab.state / "avahi.log").read_text(errors="replace")


def probes(packets, source, t0):
    """What the peer's side sent for its instance name before its first answer about it."""
    fqdn = f"{NAME}.{TYPE}.local".lower()
    mine = [p for p in packets if p["source"] == source]
    first_answer = next((p["at"] for p in mine if p["response"] and
                         any(r["name"].lower() == fqdn for r in p["records"])), None)
    # A probe asks about the name, or proposes records for it in the authority section
    # (python-zeroconf asks for the type's PTR records with them).
    asked = [p for p in mine if not p["response"] and (first_answer is None or p["at"] <= first_answer)
             and (any(q["name"].lower() == fqdn for q in p["questions"]) or
                  any(r["section"] == "authority" and r["name"].lower() in (fqdn, f"{TYPE}.local")
                      for r in p["records"]))]
    ttls = {}
    for p in mine:
        for r in p["records"]:
            if p["response"] and r["ttl"] and r["type"] in ("PTR", "SRV") and \
                    (r["name"].lower() == fqdn or r["name"].lower() == f"{TYPE}.local"):
                ttls.setdefault(r["type"], r["ttl"])
    return {"probes": len(asked), "with_authority": sum(1 for p in asked if p["authority"]),
            "for_name": sum(1 for p in asked if any(q["name"].lower() == fqdn for q in p["questions"])),
            "announced_after_ms": None if first_answer is None else (first_answer - t0) * 1000.0,
            "ttls": ttls}


def visible_run(peer, lab, log, capture_for=None):
    """One fresh host; returns (host still running, result). Mirrors bench/run_all.py: the
    observer listens first, the clock starts when the call returned (or at launch)."""
    host = Host(peer, lab, log) if peer.call else None
    seer = lab.peer("visible", TYPE, NAME, 15)
    capture = None
    try:
        if seer.stdout.readline().strip() != "listening":
            raise RuntimeError("the observer did not start")
        if capture_for:
            capture = in_b(lab, [WIRE, "capture", lab.veth_b, capture_for])
            capture.stdout.readline()
        time.sleep(0.3)  # the observer's first query goes out before the service exists
        if not peer.call:
            host = Host(peer, lab, log)
        answer = host.go()
        seen = json.loads(seer.stdout.readline())
        result = {"ok": answer.get("ok"), "call_ms": answer.get("call_ms"), "error": answer.get("error"),
                  "visible_ms": None if seen["at"] is None else (seen["at"] - answer["returned_at"]) * 1000.0}
        if capture:
            result["wire"] = probes(last_json(capture, capture_for + STEP_TIMEOUT)["packets"], lab.addr_a,
                                    answer["returned_at"])
        return host, result
    except BaseException:
        if host is not None:
            host.kill()
        raise
    finally:
        if seer.poll() is None:
            seer.kill()
        seer.wait(STEP_TIMEOUT)
        if capture and capture.poll() is None:
            capture.kill()
            capture.wait(STEP_TIMEOUT)


def goodbye(host, lab, cap, how):
    """Seconds from the host's end until the observer's browser drops the service, or None."""
    watch = lab.peer("watch", TYPE, NAME, cap)
    try:
        if watch.stdout.readline().strip() != "present":
            return {"seen": False}
        started = time.monotonic()
        if how == "kill":
            host.kill()
        else:
            host.end()
        line = watch.stdout.readline().strip()
        gone = time.monotonic() - started
        status = host.wait()
        return {"seen": True, "gone_s": gone if line == "gone" else None, "exit": status}
    finally:
        if watch.poll() is None:
            watch.kill()
        watch.wait(STEP_TIMEOUT)


def conflicts(text):
    return sorted({line.strip()[:160] for line in text.splitlines() if CONFLICT.search(line)})


def publish_by_avahi(lab, name, log):
    process = subprocess.Popen(lab.in_a(["avahi-publish", "-s", name, TYPE, str(AVAHI_PORT)]),
                               stdout=open(log, "a"), stderr=subprocess.STDOUT)
    return process


def measure(peer, lab, work, settings):
    log = work / "logs" / f"{peer.key}.log"
    log.parent.mkdir(parents=True, exist_ok=True)
    log.write_text("")
    lab.restart_avahi()  # every peer meets the same fresh responder
    own = publish_by_avahi(lab, AVAHI_NAME, work / "logs" / f"{peer.key}.avahi-publish.log")
    result = {"peer": peer.label, "key": peer.key, "version": peer.version, "runs": []}
    try:
        # 1. Time to visible: fresh processes; the last one goes on to the costs.
        host = None
        for i in range(settings["runs"]):
            if host is not None:
                host.end()
                host.wait()
            host, run = visible_run(peer, lab, log, capture_for=6.0 if i == 0 else None)
            if i == 0:
                result["wire"] = run.pop("wire", None)
            result["runs"].append(run)
        # 2. What it costs the host process, and the responder beside it.
        try:
            time.sleep(settings["settle"])
            daemon = avahi_pid(lab)
            start, d_start = host.stat(), proc_stat(daemon)
            time.sleep(settings["quiet"])
            quiet, d_quiet = host.stat(), proc_stat(daemon)
            load = in_b(lab, [WIRE, "load", lab.addr_b, LOAD_RATE, settings["load"]])
            sent = last_json(load, settings["load"] + STEP_TIMEOUT)
            loaded, d_loaded = host.stat(), proc_stat(daemon)
            result["cost"] = {
                "before": host.before, "after": loaded,
                "cpu_quiet": quiet["cpu"] - start["cpu"], "cpu_load": loaded["cpu"] - quiet["cpu"],
                "avahi_cpu_quiet": d_quiet["cpu"] - d_start["cpu"],
                "avahi_cpu_load": d_loaded["cpu"] - d_quiet["cpu"], "queries": sent["sent"],
                "load_s": sent["seconds"]}
            # 3a. Beside the system's responder, which publishes a service of its own.
            log_mark = len(avahi_log(lab))
            result["beside"] = {"peer_found": lab.resolve(TYPE, NAME)["found"],
                                "avahi_found": lab.resolve(TYPE, AVAHI_NAME)["found"]}
            # 4a. Goodbye on a normal end.
            result["exit"] = goodbye(host, lab, settings["exit_cap"], "end")
        finally:
            host.kill()
        # 4b. Goodbye on SIGKILL.
        host = Host(peer, lab, log)
        try:
            host.go()
            result["kill"] = goodbye(host, lab, settings["kill_cap"], "kill")
        finally:
            host.kill()
        peer_log = log.read_text(errors="replace")
        result["beside"]["conflicts"] = conflicts(avahi_log(lab)[log_mark:]) + conflicts(peer_log)
        # 3b. The system's responder already holds the name the peer wants.
        result["held"] = name_held(peer, lab, work, settings)
    finally:
        own.kill()
        own.wait(STEP_TIMEOUT)
    return result


def name_held(peer, lab, work, settings):
    log = work / "logs" / f"{peer.key}.held.log"
    log.write_text("")
    holder = publish_by_avahi(lab, NAME, work / "logs" / f"{peer.key}.holder.log")
    mark = len(avahi_log(lab))
    host = None
    try:
        if not lab.resolve(TYPE, NAME).get("found"):
            return {"error": "avahi-publish did not take the name"}
        host = Host(peer, lab, log)
        answer = host.go()
        time.sleep(2 * settings["settle"] + 1.0)  # probing, a conflict and a rename take seconds
        found = last_json(in_b(lab, [WIRE, "browse", TYPE, 2.0 + settings["settle"]]), 60)["instances"]
        alive = host.process.poll() is None
    finally:
        if host is not None:
            host.kill()
        holder.kill()
        holder.wait(STEP_TIMEOUT)
    text = log.read_text(errors="replace")
    return {"ok": answer.get("ok"), "error": answer.get("error"), "instances": found, "host_alive": alive,
            "conflicts": conflicts(avahi_log(lab)[mark:]) + conflicts(text)}


# ---------------------------------------------------------------------------------------------
# The page and the plots

def ms(v):
    return f"{v:.0f} ms" if v is not None else "n/a"


def fmt_visible(r):
    seen = [x["visible_ms"] for x in r["runs"] if x["visible_ms"] is not None]
    if not seen:
        return f"never seen (0/{len(r['runs'])})"
    median = statistics.median(seen)
    return (f"{median:.0f} ms ({min(seen):.0f}–{max(seen):.0f}; {len(seen)}/{len(r['runs'])} seen)" +
            (": visible before the call returned" if median < 0 else ""))


def from_start(r):
    """Per run: ms from the call's start (the launch, where there is no call) to visible."""
    return [x["visible_ms"] + (x.get("call_ms") or 0.0) for x in r["runs"] if x["visible_ms"] is not None]


def fmt_from_start(r):
    seen = from_start(r)
    return f"{statistics.median(seen):.0f} ms ({min(seen):.0f}–{max(seen):.0f})" if seen else "never seen"


def fmt_call(r, peer):
    if not peer.call:
        return "no call: clock from launch"
    calls = [x["call_ms"] for x in r["runs"] if x.get("call_ms") is not None]
    return f"{statistics.median(calls):.1f} ms" if calls else "n/a"


def fmt_probe(r, peer):
    w = r.get("wire") or {}
    who = "Avahi probes for it: " if peer.through_avahi else ""
    if not w:
        return "not captured"
    if w["probes"] == 0:
        return who + "no probe: announces (or answers) at once"
    kind = ("with the proposed records in the authority section (§8.1)" if w["with_authority"] == w["probes"]
            else "ANY queries without the authority section" if w["with_authority"] == 0
            else f"{w['with_authority']} with an authority section")
    if w.get("for_name", w["probes"]) < w["probes"]:
        kind += ", asking for the type's PTR records rather than the name"
    return f"{who}{w['probes']} probe{'s' if w['probes'] != 1 else ''}, {kind}"


def mib(b):
    return b / 1048576


def fmt_mem(r, peer):
    c = r["cost"]
    if c["before"] is None:
        return f"{mib(c['after']['rss']):.1f} MiB (the whole process)"
    return f"+{mib(c['after']['rss'] - c['before']['rss']):.1f} MiB (of {mib(c['after']['rss']):.1f})"


def fmt_count(r, key):
    c = r["cost"]
    if c["before"] is None:
        return f"{c['after'][key]} (the whole process)"
    return f"{c['after'][key]} (+{c['after'][key] - c['before'][key]})"


def fmt_beside(r, peer):
    b = r["beside"]
    words = [f"peer's service {'resolves' if b['peer_found'] else 'does NOT resolve'}",
             f"Avahi's {'resolves' if b['avahi_found'] else 'does NOT resolve'}"]
    words.append("conflict logged: " + "; ".join(b["conflicts"]) if b["conflicts"] else "no conflict logged")
    return ", ".join(words) + (" (the registration is Avahi's own)" if peer.through_avahi else "")


def fmt_held(r, peer):
    h = r["held"]
    if "instances" not in h:
        return h.get("error", "not measured")
    ours = [i for i in h["instances"] if i["port"] == PORT]
    theirs = [i for i in h["instances"] if i["port"] == AVAHI_PORT and i["name"] == NAME]
    if h["ok"] is False:
        start = f"call answered false{': ' + h['error'].rstrip(': ') if h.get('error') else ''}"
    else:
        start = "call accepted" if peer.call else "launched"
    if not ours:
        seen = "peer's service not visible"
    elif any(i["name"] == NAME for i in ours):
        seen = f"the observer resolves the name to the peer's port {PORT}"
    else:
        seen = "peer renamed to " + ", ".join(f"\"{i['name']}\"" for i in ours)
    words = [start + ("" if h["host_alive"] else " and the host process ended"), seen,
             "Avahi's service keeps the name" if theirs else "Avahi's service is no longer seen under it"]
    words.append("conflict logged: " + "; ".join(h["conflicts"]) if h["conflicts"] else "no conflict logged")
    return ", ".join(words)


def fmt_goodbye(g, cap, wire):
    if not g.get("seen"):
        return "never seen"
    if g["gone_s"] is not None:
        return f"{g['gone_s'] * 1000:.0f} ms" if g["gone_s"] < 1 else f"{g['gone_s']:.1f} s"
    ttl = (wire or {}).get("ttls", {}).get("PTR")
    return f"not within {cap:.0f} s" + (f" (the observer keeps it until its PTR record's TTL of {ttl} s runs out)"
                                         if ttl else "")


def table(results, by_key, settings):
    head = ["peer", "version", f"time to visible: median (range; seen) over {settings['runs']} runs",
            "the same from the call's start", "call returned after", "probing before announcing", "memory added (RSS)", "threads",
            "sockets", f"CPU over {settings['quiet']:.0f} s quiet",
            f"CPU over {settings['load']:.0f} s of queries ({LOAD_RATE}/s)",
            "avahi-daemon CPU over the same queries", "beside avahi-daemon",
            "avahi-daemon holds the name", "goodbye on exit", "goodbye on SIGKILL"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for r in results:
        p = by_key[r["key"]]
        c = r["cost"]
        cells = [p.label, p.version, fmt_visible(r), fmt_from_start(r), fmt_call(r, p), fmt_probe(r, p), fmt_mem(r, p),
                 fmt_count(r, "threads"), fmt_count(r, "sockets"), f"{c['cpu_quiet']:.2f} s",
                 f"{c['cpu_load']:.2f} s", f"{c['avahi_cpu_load']:.2f} s", fmt_beside(r, p),
                 fmt_held(r, p), fmt_goodbye(r["exit"], settings["exit_cap"], r.get("wire")),
                 fmt_goodbye(r["kill"], settings["kill_cap"], r.get("wire"))]
        lines.append("| " + " | ".join(x.replace("|", "\\|") for x in cells) + " |")
    return "\n".join(lines)


def plots(results, img_dir, settings):
    import matplotlib

    matplotlib.use("svg")
    import matplotlib.pyplot as plt

    matplotlib.rcParams["svg.hashsalt"] = "quivane-peers"  # fixed ids: the same figures, the same file
    matplotlib.rcParams["svg.fonttype"] = "none"  # text stays text, a third of the size
    matplotlib.rcParams["font.size"] = 9
    img_dir.mkdir(parents=True, exist_ok=True)
    labels = [r["peer"] for r in results]
    y = list(range(len(results)))[::-1]

    def legend(ax, entries):
        from matplotlib.patches import Patch

        ax.legend(handles=[Patch(color=c, label=t) for c, t in entries], loc="upper center",
                  bbox_to_anchor=(0.4, -0.16), ncol=1, fontsize=7, frameon=False)

    def save(fig, name):
        fig.tight_layout()
        fig.savefig(img_dir / name, format="svg", metadata={"Date": None})
        plt.close(fig)

    fig, ax = plt.subplots(figsize=(7, 4.6))
    for yi, r in zip(y, results):
        for shift, runs, color in ((0.2, [x["visible_ms"] for x in r["runs"] if x["visible_ms"] is not None],
                                    "#4c72b0"), (-0.2, from_start(r), "#a1c4e8")):
            if not runs:
                ax.text(0, yi + shift, " never seen", va="center")
                continue
            ax.barh(yi + shift, statistics.median(runs), height=0.4, color=color)
            ax.plot([min(runs), max(runs)], [yi + shift] * 2, color="black", linewidth=1)
            ax.plot(runs, [yi + shift] * len(runs), "|", color="black", markersize=6)
    ax.axvline(0, color="black", linewidth=0.5)
    ax.set_yticks(y, labels)
    ax.set_xlabel("ms until the observer in another namespace resolved SRV and address")
    ax.set_title(f"Time to visible: median, range and each of {settings['runs']} runs")
    legend(ax, [("#4c72b0", "from the call's return (launch, for avahi-publish)"),
                ("#a1c4e8", "from the call's start")])
    save(fig, "peers-visible.svg")

    fig, ax = plt.subplots(figsize=(7, 4.4))
    host = [r["cost"]["cpu_load"] for r in results]
    daemon = [r["cost"]["avahi_cpu_load"] for r in results]
    ax.barh([v + 0.2 for v in y], host, height=0.4, color="#c44e52")
    ax.barh([v - 0.2 for v in y], daemon, height=0.4, color="#8c8c8c")
    for yi, h in zip(y, host):
        ax.text(h, yi + 0.2, f" {h:.2f}", va="center", fontsize=7)
    ax.set_yticks(y, labels)
    ax.set_xlabel(f"CPU seconds over {settings['load']:.0f} s of {LOAD_RATE} queries a second")
    ax.set_title("CPU under a query load from another namespace")
    ax.set_xlim(right=max(host + daemon + [0.01]) * 1.2)
    legend(ax, [("#c44e52", "the host process"), ("#8c8c8c", "avahi-daemon beside it (answers for the module, "
                                                             "the packages, avahi-publish and itself)")])
    save(fig, "peers-load-cpu.svg")

    fig, ax = plt.subplots(figsize=(7, 3.6))
    for yi, r in zip(y, results):
        c = r["cost"]
        whole = c["before"] is None
        added = mib(c["after"]["rss"] - (0 if whole else c["before"]["rss"]))
        ax.barh(yi, added, color="#8c8c8c" if whole else "#55a868", hatch="//" if whole else None)
        ax.text(added, yi, f" {added:.1f}" + (" (whole process)" if whole else ""), va="center")
    ax.set_yticks(y, labels)
    ax.set_xlabel("MiB of resident memory the peer added to the host process")
    ax.set_title("Memory added by advertising one service")
    ax.set_xlim(right=ax.get_xlim()[1] * 1.25)
    save(fig, "peers-memory.svg")


def write_page(page, block):
    begin, end = "<!-- peers:begin -->", "<!-- peers:end -->"
    text = page.read_text() if page.exists() else f"{begin}\n{end}\n"
    if begin not in text or end not in text:
        text = text.rstrip("\n") + f"\n\n{begin}\n{end}\n"
    head, rest = text.split(begin, 1)
    _, tail = rest.split(end, 1)
    page.parent.mkdir(parents=True, exist_ok=True)
    page.write_text(f"{head}{begin}\n{block}\n{end}{tail}")


def machine(work, versions):
    """The CPU, and the commit and day of the run whose results these are."""
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                if line.startswith("model name")), platform.processor())
    commit = versions.get("commit") or re.search(r"\((\w+)\)", versions["module"]).group(1)
    day = time.strftime("%Y-%m-%d", time.gmtime((work / "results.json").stat().st_mtime))
    return cpu, commit, day


def block(results, by_key, settings, versions, img_rel, short, work):
    cpu, commit, day = machine(work, versions)
    runtimes = versions["runtimes"]
    lines = [
        "## Side by side with the in-process multicast DNS stacks",
        "",
        f"Written by `scripts/bench-peers.sh`{' --short (a smoke run, not figures to quote)' if short else ''} "
        f"on {day}, commit {commit}, {cpu} ({os.cpu_count()} cores), "
        f"{platform.system()} {platform.release()}; {runtimes}.",
        "",
        f"Every peer advertises `{NAME}`, `{TYPE}`, port {PORT}, from a fresh host process in a network "
        "namespace of its own (A), with avahi-daemon running in the same namespace and publishing a service "
        f"of its own (`{AVAHI_NAME}`, port {AVAHI_PORT}), as on a Linux desktop. The observer is "
        "python-zeroconf in a second namespace (B) joined to A by a veth pair; nothing leaves the two "
        "namespaces. avahi-daemon is restarted before each peer.",
        "",
        "- **Time to visible**: from the call's return (the launch, for avahi-publish, which has no call) "
        "until the observer, listening since before the call, has resolved the SRV record and the "
        "address; negative where the call returns only after announcing. **From the call's start**: the "
        "same plus the call's own time. **Call returned after**: how long the call itself took. **Probing**: read off a packet "
        "capture in B during the first run.",
        "- **Memory, threads, sockets**: the host process after advertising and the query load, against "
        "the same process before it loaded the peer (the runtime already up). avahi-publish is a process "
        "of its own, so its figures are the whole process.",
        f"- **CPU**: user+system seconds of the host process over {settings['quiet']:.0f} s without "
        f"traffic, then over {settings['load']:.0f} s while B sends {LOAD_RATE} multicast PTR queries a "
        "second, in turn for `_peer._tcp.local` and `_services._dns-sd._udp.local`; avahi-daemon's CPU over "
        "the same load is beside it, because that is where the module's, the packages' and "
        "avahi-publish's answering happens (and avahi-daemon answers for its own service in every row).",
        f"- **Beside avahi-daemon**: both services resolved at the observer, and both logs read for "
        f"conflicts. **avahi-daemon holds the name**: avahi-publish holds `{NAME}` (port {AVAHI_PORT}) "
        "first; then what the peer's call answers and what the observer finds.",
        f"- **Goodbye**: from the host's end (stdin closes and the host withdraws the service its peer's "
        f"way and exits; SIGTERM for avahi-publish), or its SIGKILL, until the observer's browser drops "
        f"the service, waited for at most {settings['exit_cap']:.0f} s and {settings['kill_cap']:.0f} s.",
        "",
        table(results, by_key, settings),
        "",
        "How each host calls its peer, as the peer's own documentation shows: the C host loads "
        "`libQuivaneDll.so` and calls `RegisterService`; Node awaits `registerService` from `quivanedll`; "
        ".NET calls `QuivaneDll.RegisterService`; bonjour-service `new Bonjour().publish(...)` and on exit "
        "`unpublishAll` then `destroy`; ciao `getResponder().createService(...).advertise()` and on exit "
        "`end()` then `shutdown()`; python-zeroconf `Zeroconf().register_service(ServiceInfo(...))` and on "
        "exit `unregister_service` then `close`; Makaretu `new ServiceDiscovery().Advertise(profile)` "
        "(which answers queries but sends no announcement of its own) and on exit `Unadvertise` then "
        "`Dispose`. ciao is given the veth interface by name (its `interface` option): on its own it "
        "takes the interface names from `ip -o link show`, where a veth pair's end reads `NAME@ifN`, "
        "matches none and advertises on loopback only. Every service has an empty TXT record, except in "
        "the row with one TXT entry: ciao takes its own announcement of an empty TXT record for a "
        "conflicting record and probes again, over and over.",
        "",
        f"![Time to visible, per peer]({img_rel}/peers-visible.svg)",
        "",
        f"![CPU under the query load, per peer]({img_rel}/peers-load-cpu.svg)",
        "",
        f"![Memory added, per peer]({img_rel}/peers-memory.svg)",
    ]
    return "\n".join(lines)


def main():
    work, page, img_dir = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve(), Path(sys.argv[3]).resolve()
    short = "--short" in sys.argv[4:]
    settings = SHORT if short else FULL
    versions = json.loads((work / "versions.json").read_text())
    lab = Lab(241, Path(versions["module_dir"]))
    all_peers = peers(work, lab, versions)
    if "--render" in sys.argv[4:]:  # the page and plots again, from the last run's results
        saved = json.loads((work / "results.json").read_text())
        settings, short, results = saved["settings"], saved["short"], saved["results"]
    else:
        results = run(lab, all_peers, work, settings, short)
    by_key = {p.key: p for p in all_peers}
    plots(results, img_dir, settings)
    img_rel = os.path.relpath(img_dir, page.parent)
    write_page(page, block(results, by_key, settings, versions, img_rel, short, work))
    print(table(results, by_key, settings))


def run(lab, all_peers, work, settings, short):
    # Stopped by a signal, it still takes its namespaces and daemons down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGINT, signal.default_int_handler)
    problem = require_namespaces()
    if problem:
        sys.exit(f"bench-peers: {problem}")
    results = []
    only = os.environ.get("QUIVANE_PEERS")
    try:
        lab.up()
        for peer in all_peers:
            if only and peer.key not in only.split(","):
                continue
            started = time.monotonic()
            print(f"bench-peers: {peer.label} ...", flush=True)
            try:
                results.append(measure(peer, lab, work, settings))
            except (RuntimeError, TimeoutError, subprocess.SubprocessError, ValueError) as e:
                # Once more from the start: on a shared machine another program's clean-up
                # can end one of the helpers here.
                print(f"bench-peers: {peer.label} failed ({e}); measuring it once more", flush=True)
                results.append(measure(peer, lab, work, settings))
            print(f"bench-peers: {peer.label} done in {time.monotonic() - started:.0f} s: "
                  f"{json.dumps(results[-1])}", flush=True)
    finally:
        lab.down()
    (work / "results.json").write_text(json.dumps({"settings": settings, "short": short, "results": results},
                                                  indent=1))
    return results


if __name__ == "__main__":
    main()
