#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# start PREFIX: a persistent wineserver and an initialised prefix; stop PREFIX: ends it.
# All output goes to a log so that no Wine process keeps ctest's pipes open.
set -u
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
log=$WINEPREFIX/../wineserver.log
case "$action" in
  start)
    [ -x /usr/lib/wine/wine64 ] || { echo "wine64 is not installed (Debian package wine64)"; exit 1; }
    /usr/lib/wine/wineserver -p </dev/null >>"$log" 2>&1
    WINEDLLOVERRIDES=mscoree,mshtml= timeout 110 /usr/lib/wine/wine64 wineboot --init \
      </dev/null >>"$log" 2>&1 || { echo "wineboot failed"; tail -20 "$log"; exit 1; }
    echo "wine prefix ready: $WINEPREFIX"
    ;;
  stop)
    /usr/lib/wine/wineserver -k </dev/null >>"$log" 2>&1
    echo "wineserver stopped"
    ;;
  *) echo "usage: wine_server.sh start|stop PREFIX"; exit 2 ;;
esac
