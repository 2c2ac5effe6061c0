#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The short form of scripts/bench-peers.sh (one run per peer, a few seconds of quiet and of
# load) into a scratch page and image folder, never the committed ones; then checks that every
# peer was measured and that the table and the three plots were written.
# Usage: check_peers_short.sh SOURCE_DIR SCRATCH_DIR
set -uo pipefail
source=$(cd "$1" && pwd)
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
page=$scratch/performance.md
printf '# scratch page\n\n<!-- peers:begin -->\n<!-- peers:end -->\n\nafter the block\n' >"$page"
"$source/scripts/bench-peers.sh" --short --page "$page" --img "$scratch/img" --work "$scratch/work" \
  || { echo "FAIL: bench-peers.sh --short failed"; exit 1; }
exec /usr/bin/python3 - "$scratch" <<'PY'
import json, sys
from pathlib import Path

scratch = Path(sys.argv[1])
peers = ["c", "npm", "nuget", "avahi-publish", "bonjour-service", "ciao", "ciao-txt", "python-zeroconf",
         "makaretu"]
results = {r["key"]: r for r in json.loads((scratch / "work" / "results.json").read_text())["results"]}
failures = []
for key in peers:
    r = results.get(key)
    if r is None:
        failures.append(f"{key}: not measured")
        continue
    if not any(run["visible_ms"] is not None for run in r["runs"]):
        failures.append(f"{key}: never visible at the observer")
    if not r["beside"]["peer_found"] or not r["beside"]["avahi_found"]:
        failures.append(f"{key}: beside avahi-daemon, not both services resolved: {r['beside']}")
    cost = r["cost"]
    if cost["after"]["rss"] <= 0 or cost["queries"] <= 0:
        failures.append(f"{key}: no memory figure or no query load: {cost}")
    for goodbye in ("exit", "kill"):
        if not r[goodbye].get("seen"):
            failures.append(f"{key}: the goodbye-on-{goodbye} run never saw the service")
    if r.get("wire") is None:
        failures.append(f"{key}: no packet capture")
    if "instances" not in r["held"]:
        failures.append(f"{key}: the held-name run did not finish: {r['held']}")
page = (scratch / "performance.md").read_text()
block = page.split("<!-- peers:begin -->", 1)[1].split("<!-- peers:end -->", 1)[0]
rows = [line for line in block.splitlines() if line.startswith("| ") and not line.startswith("| peer |")]
if len(rows) != len(peers):
    failures.append(f"the table has {len(rows)} rows, not {len(peers)}")
if not page.startswith("# scratch page") or "after the block" not in page:
    failures.append("the page outside the block was not kept")
for name in ("peers-visible.svg", "peers-load-cpu.svg", "peers-memory.svg"):
    svg = scratch / "img" / name
    if not svg.is_file() or "<svg" not in svg.read_text():
        failures.append(f"{name} was not written")
    elif f"img/{name}" not in block:
        failures.append(f"the block does not show {name}")
for f in failures:
    print(f"FAIL: {f}")
print(f"bench-peers short form: {len(peers) - len([1 for k in peers if k not in results])} peers measured, "
      f"{len(failures)} problem(s)")
sys.exit(1 if failures else 0)
PY
