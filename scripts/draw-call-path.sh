#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Draws docs/call-path.dot as SVG on stdout, or into FILE. Graphviz runs with only its core
# renderer and dot layout loaded, so text is measured with its built-in font metrics rather
# than with whatever fonts this machine has: the same source gives the same bytes anywhere.
#   draw-call-path.sh [FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
command -v dot >/dev/null || { echo "draw-call-path.sh: dot not found (apt-get install graphviz)" >&2; exit 1; }
plugins=$(dirname "$(ls /usr/lib/*/graphviz/libgvplugin_core.so.6 2>/dev/null | head -n 1)")
[ -e "$plugins/libgvplugin_dot_layout.so.6" ] || { echo "draw-call-path.sh: Graphviz plugins not found" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
ln -s "$plugins/libgvplugin_core.so.6" "$plugins/libgvplugin_dot_layout.so.6" "$scratch/"
GVBINDIR=$scratch dot -c
GVBINDIR=$scratch dot -Tsvg docs/call-path.dot -o "$scratch/out.svg"
if [ $# -gt 0 ]; then cp "$scratch/out.svg" "$1"; else cat "$scratch/out.svg"; fi
