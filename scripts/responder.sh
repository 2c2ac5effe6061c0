#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A private DNS-SD responder: a D-Bus system bus and avahi-daemon in a mount namespace of their
# own (a tmpfs over /run, so the host's /run/dbus and /run/avahi-daemon are never touched) and
# in a network namespace (a new one with only lo, or a named one given with --netns).
#
#   responder.sh start STATE_DIR [--netns NAME] [--host-name NAME] [--no-avahi]
#       Returns once Avahi reports RUNNING (or the bus is up, with --no-avahi).
#   responder.sh exec STATE_DIR COMMAND...   Runs COMMAND inside the responder's namespaces.
#   responder.sh restart-avahi STATE_DIR     Stops avahi-daemon and starts it anew.
#   responder.sh stop-avahi STATE_DIR        Stops avahi-daemon only; the bus stays up.
#   responder.sh restart-bus STATE_DIR       Stops avahi-daemon and the bus, starts both anew.
#   responder.sh stop STATE_DIR              Stops everything it started, by pid.
# Needs root. Every wait is bounded; a daemon that does not come up is an error.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
self="$here/$(basename "$0")"
READY_SECONDS=${QUIVANE_RESPONDER_TIMEOUT:-15}

die() { echo "responder: $*" >&2; exit 1; }
pid_of() { cat "$1/$2.pid" 2>/dev/null || true; }
alive() { [ -n "$1" ] && kill -0 "$1" 2>/dev/null; }

# Runs a command in the namespaces of the supervisor that holds them.
in_ns() {
  local state=$1
  shift
  local anchor
  anchor=$(pid_of "$state" supervisor)
  alive "$anchor" || die "not running (no supervisor in $state)"
  exec nsenter --target "$anchor" --mount --net --wd="$PWD" -- "$@"
}

avahi_state() { # prints Avahi's server state number, or nothing
  in_ns "$1" timeout 3 dbus-send --system --print-reply=literal --dest=org.freedesktop.Avahi / \
    org.freedesktop.Avahi.Server.GetState 2>/dev/null | awk '{print $2}'
}

wait_running() {
  local state=$1 deadline=$((SECONDS + READY_SECONDS)) started=$EPOCHREALTIME
  while [ "$(avahi_state "$state")" != "2" ]; do
    alive "$(pid_of "$state" avahi)" || { cat "$state/avahi.log" >&2; die "avahi-daemon exited"; }
    [ $SECONDS -lt $deadline ] || die "avahi-daemon not RUNNING after ${READY_SECONDS}s"
    sleep 0.05
  done
  awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "responder: RUNNING after %.2f s\n", b - a }'
}

write_config() {
  local state=$1 host=$2
  cat >"$state/avahi-daemon.conf" <<CONF
[server]
host-name=$host
use-ipv4=yes
use-ipv6=no
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000

[wide-area]
enable-wide-area=no

[publish]
publish-workstation=no
publish-hinfo=no
publish-addresses=yes
publish-domain=yes

[reflector]
enable-reflector=no
CONF
}

start_avahi() { # inside the namespaces
  local state=$1
  avahi-daemon -f "$state/avahi-daemon.conf" --no-rlimits --no-chroot --no-proc-title \
    >>"$state/avahi.log" 2>&1 &
  echo $! >"$state/avahi.pid"
}

start_bus() { # inside the namespaces; returns once the bus socket is there
  local state=$1
  rm -f /run/dbus/system_bus_socket
  dbus-daemon --system --nofork --nopidfile >>"$state/dbus.log" 2>&1 &
  echo $! >"$state/dbus.pid"
  local deadline=$((SECONDS + READY_SECONDS))
  until [ -S /run/dbus/system_bus_socket ]; do
    alive "$(pid_of "$state" dbus)" || return 1
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.02
  done
}

supervise() { # runs inside the new namespaces and holds them until stopped
  local state=$1 with_avahi=$2
  mount --make-rprivate / 2>/dev/null || true
  mount -t tmpfs -o mode=0755 quivane-run /run
  mkdir -p /run/dbus /run/avahi-daemon
  ip link set lo up
  start_bus "$state" || exit 1
  [ "$with_avahi" = yes ] && start_avahi "$state"
  echo $$ >"$state/supervisor.pid"
  # Holds the namespaces open; stop() ends this process by its pid, and it ends its own sleep.
  local sleeper=""
  trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM INT
  while :; do
    sleep 3600 &
    sleeper=$!
    wait "$sleeper"
  done
}

stop_pid() { # stop_pid STATE NAME: TERM, then KILL after a bounded wait
  local pid
  pid=$(pid_of "$1" "$2")
  alive "$pid" || { rm -f "$1/$2.pid"; return 0; }
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 50); do alive "$pid" || break; sleep 0.05; done
  alive "$pid" && kill -KILL "$pid" 2>/dev/null || true
  rm -f "$1/$2.pid"
}

# Every process still in the responder's private mount namespace was started inside it by
# this script or through exec: end them all, so that stop leaves nothing behind. Only while the
# supervisor still holds that namespace: once it is gone the kernel may give its number to a
# new namespace, whose processes are somebody else's.
sweep() {
  local state=$1 ns pid supervisor
  ns=$(cat "$state/mntns" 2>/dev/null) || return 0
  rm -f "$state/mntns"
  [ -n "$ns" ] && [ "$ns" != "$(readlink /proc/self/ns/mnt)" ] || return 0
  supervisor=$(pid_of "$state" supervisor)
  [ "$(readlink "/proc/$supervisor/ns/mnt" 2>/dev/null)" = "$ns" ] || return 0
  for _ in 1 2 3; do
    local left=()
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
      [ "$pid" != "$supervisor" ] && [ "$(readlink "/proc/$pid/ns/mnt" 2>/dev/null)" = "$ns" ] &&
        left+=("$pid")
    done
    [ ${#left[@]} -eq 0 ] && return 0
    kill -KILL "${left[@]}" 2>/dev/null || true
    sleep 0.1
  done
}

cmd=${1:-}
[ $# -ge 2 ] || die "usage: responder.sh start|exec|restart-avahi|restart-bus|stop-avahi|stop STATE_DIR ..."
state=$2
shift 2
case "$cmd" in
  start)
    netns="" host="quivane-responder" with_avahi=yes
    while [ $# -gt 0 ]; do
      case "$1" in
        --netns) netns=$2; shift 2 ;;
        --host-name) host=$2; shift 2 ;;
        --no-avahi) with_avahi=no; shift ;;
        *) die "unknown option $1" ;;
      esac
    done
    [ "$(id -u)" -eq 0 ] || die "needs root (namespaces and a system bus)"
    for tool in dbus-daemon avahi-daemon dbus-send nsenter unshare; do
      command -v "$tool" >/dev/null || die "$tool is missing (dbus, avahi-daemon, util-linux)"
    done
    mkdir -p "$state"
    state=$(cd "$state" && pwd)
    rm -f "$state"/*.pid
    write_config "$state" "$host"
    if [ -n "$netns" ]; then
      ip netns exec "$netns" unshare --mount "$self" _supervise "$state" "$with_avahi" \
        </dev/null >"$state/supervisor.log" 2>&1 &
    else
      unshare --mount --net "$self" _supervise "$state" "$with_avahi" \
        </dev/null >"$state/supervisor.log" 2>&1 &
    fi
    deadline=$((SECONDS + READY_SECONDS))
    until alive "$(pid_of "$state" supervisor)"; do
      [ $SECONDS -lt $deadline ] || { cat "$state"/*.log >&2; die "bus did not come up"; }
      sleep 0.02
    done
    readlink "/proc/$(pid_of "$state" supervisor)/ns/mnt" >"$state/mntns"
    [ "$with_avahi" = no ] || wait_running "$state"
    ;;
  _supervise) supervise "$state" "$1" ;;
  exec) in_ns "$state" "$@" ;;
  stop-avahi) stop_pid "$state" avahi ;;
  restart-avahi)
    stop_pid "$state" avahi
    ( in_ns "$state" "$self" _start-avahi "$state" )
    wait_running "$state"
    ;;
  _start-avahi) start_avahi "$state" ;;
  restart-bus)
    stop_pid "$state" avahi
    stop_pid "$state" dbus
    ( in_ns "$state" "$self" _start-bus "$state" ) || die "the bus did not come back"
    ( in_ns "$state" "$self" _start-avahi "$state" )
    wait_running "$state"
    ;;
  _start-bus) start_bus "$state" ;;
  stop)
    stop_pid "$state" avahi
    stop_pid "$state" dbus
    sweep "$state"
    stop_pid "$state" supervisor
    ;;
  *) die "unknown command $cmd" ;;
esac
