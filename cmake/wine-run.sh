#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows program under Wine: quiet, no display, the build tree's own prefix
# (WINEPREFIX, set by the tests; a prefix beside the program otherwise). 32-bit programs run
# under 32-bit Wine (Debian's wine32) in the same prefix.
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$(dirname "$(readlink -f "$1")")/wineprefix}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY WAYLAND_DISPLAY
case "$(file -b "$1")" in
  PE32\ executable*) exec /usr/lib/wine/wine "$@" ;;
  *) exec /usr/lib/wine/wine64 "$@" ;;
esac
