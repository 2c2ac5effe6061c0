#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The main job, in one command (as root on Debian): install what is missing, build, and
# advertise a demo service through the library with the command-line host.
#   - With the machine's own avahi-daemon running, it registers there and shows browsers
#     resolving it.
#   - Otherwise it starts a private responder in a network namespace with an observer
#     namespace beside it, shows the observer seeing the service on the wire, and cleans up.
# Usage: scripts/demo.sh [NAME] [TYPE] [PORT]
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:-Quivane Demo}
type=${2:-_quivane-demo._tcp}
port=${3:-4711}

scripts/install-deps.sh demo
echo "== building"
cmake --preset demo >/dev/null
cmake --build --preset demo -j "$(nproc)" >/dev/null
module_dir=$PWD/build/demo
cli=$module_dir/examples/quivane-advertise

if [ -S /run/dbus/system_bus_socket ] && avahi-daemon --check 2>/dev/null; then
  echo "== using this machine's running avahi-daemon"
  LD_LIBRARY_PATH=$module_dir "$cli" "$name" "$type" . "$port" --seconds 5 --verify
  exit $?
fi

echo "== no avahi-daemon runs here: starting a private responder and an observer namespace"
exec /usr/bin/python3 scripts/demo.py "$module_dir" "$cli" "$name" "$type" "$port"
