#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows program under Wine: quiet, no display, the build tree's own prefix
# (WINEPREFIX, set by the tests; a prefix beside the program otherwise).
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$(dirname "$(readlink -f "$1")")/wineprefix}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY WAYLAND_DISPLAY
exec /usr/lib/wine/wine64 "$@"
